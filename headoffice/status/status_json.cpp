#include <cstdio>

#include "headoffice/status/status_page.h"

namespace pos::headoffice {
namespace {

std::string json_string(const std::string& s) {
  std::string out = "\"";
  for (const char ch : s) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += ch;
    } else if (c < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
    } else {
      out += ch;
    }
  }
  return out + "\"";
}

std::string json_text_or_null(const std::string& s) { return s.empty() ? "null" : json_string(s); }

std::string json_number(const std::optional<std::int64_t>& n) { return n ? std::to_string(*n) : "null"; }

// ISO 8601: "2024-05-31T08:00:00Z".
std::string json_time(std::string utc) {
  if (utc.empty()) return "null";
  if (utc.size() > 10 && utc[10] == ' ') utc[10] = 'T';
  return json_string(utc + "Z");
}

std::string json_update(const UpdateRecord& u) {
  if (u.began.empty()) return "null";
  return "{\"began\":" + json_time(u.began) + ",\"reached_last_job\":" + (u.reached_last_job ? "true" : "false") +
         ",\"seconds\":" + json_number(u.seconds) + "}";
}

std::string json_run(const TerminalStatus& t) {
  const char* progress = t.run == RunProgress::Running   ? "running"
                         : t.run == RunProgress::Stopped ? "stopped"
                                                         : "ended";
  if (t.run == RunProgress::None) return "null";
  return "{\"began\":" + json_time(t.run_began) + ",\"ended\":" + json_time(t.run_ended) + ",\"progress\":\"" +
         progress + "\"}";
}

std::string json_sign_ins(const FailedSignIns& f) {
  if (f.count == 0) return "null";
  return "{\"count\":" + std::to_string(f.count) + ",\"last\":" + json_time(f.last) +
         ",\"from\":" + json_string(f.from) + "}";
}

}  // namespace

std::string status_json(const FleetStatus& fleet) {
  std::string out = "{\"generated\":" + json_time(fleet.generated) +
                    ",\"threshold_seconds\":" + std::to_string(fleet.threshold.count()) +
                    ",\"summary\":{\"terminals\":" + std::to_string(fleet.fleet_size);
  std::string advice;
  for (std::size_t i = 0; i < kTerminalStates; ++i) {
    const auto state = static_cast<TerminalState>(i);
    out += ",\"" + std::string(state_name(state)) + "\":" + std::to_string(fleet.count_of[i]);
    advice +=
        std::string(i ? "," : "") + "\"" + state_name(state) + "\":" + json_string(what_to_do(state, fleet.threshold));
  }
  out += "},\"what_to_do\":{" + advice + "},\"page\":" + std::to_string(fleet.page) +
         ",\"pages\":" + std::to_string(fleet.pages) + ",\"terminals\":[";
  bool first = true;
  for (const TerminalStatus& t : fleet.terminals) {
    if (!first) out += ',';
    first = false;
    out += "\n{\"machine\":" + json_string(t.machine) + ",\"name\":" + json_string(t.name) +
           ",\"store\":" + json_string(t.store) + ",\"registered\":" + (t.registered ? "true" : "false") +
           ",\"state\":\"" + state_name(t.state) + "\",\"reason\":" + json_text_or_null(t.reason) +
           ",\"last_seen\":" + json_time(t.last_seen) + ",\"run\":" + json_run(t) +
           ",\"last_changes_update\":" + json_update(t.changes) + ",\"last_full_update\":" + json_update(t.full) +
           ",\"last_run_requests\":" + json_number(t.last_run_requests) +
           ",\"last_run_error\":" + json_text_or_null(t.last_run_error) +
           ",\"last_error\":" + json_text_or_null(t.last_error) + ",\"last_error_at\":" + json_time(t.last_error_at) +
           ",\"failed_sign_ins\":" + json_sign_ins(t.failed_sign_ins) + ",\"backlog\":{";
    for (std::size_t i = 0; i < t.backlog.size(); ++i) {
      const Backlog& b = t.backlog[i];
      out += std::string(i ? "," : "") + json_string(b.log) + ":{\"entries\":" + std::to_string(b.entries) +
             ",\"oldest\":" + json_time(b.oldest) + "}";
    }
    out += "}}";
  }
  return out + "\n]}\n";
}

}  // namespace pos::headoffice

#include "headoffice/status/status_page.h"

#include <algorithm>
#include <cstdio>

#include "headoffice/status/utc_time.h"
#include "packet/xml_text.h"

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

// ISO 8601: "2024-05-31T08:00:00Z".
std::string json_time(std::string utc) {
  if (utc.empty()) return "null";
  if (utc.size() > 10 && utc[10] == ' ') utc[10] = 'T';
  return json_string(utc + "Z");
}

std::string json_update(const UpdateRecord& u) {
  if (u.began.empty()) return "null";
  return "{\"began\":" + json_time(u.began) + ",\"reached_last_job\":" + (u.reached_last_job ? "true" : "false") + "}";
}

std::string html(const std::string& s) {
  std::string out;
  xml::append_escaped(out, s);
  return out;
}

// "3 h 5 min".
std::string duration_text(long long s) {
  char buf[48];
  if (s < 120)
    std::snprintf(buf, sizeof buf, "%lld s", s);
  else if (s < 7200)
    std::snprintf(buf, sizeof buf, "%lld min", s / 60);
  else if (s < 172800)
    std::snprintf(buf, sizeof buf, "%lld h %lld min", s / 3600, s / 60 % 60);
  else
    std::snprintf(buf, sizeof buf, "%lld days", s / 86400);
  return buf;
}

// The time since `utc` as of `now`; "never" for none.
std::string age(const std::string& utc, const std::string& now) {
  const auto t = parse_utc_text(utc), n = parse_utc_text(now);
  if (!t || !n) return "never";
  return duration_text(std::max<long long>(0, *n - *t));
}

long long seconds_between(const std::string& from, const std::string& to) {
  const auto a = parse_utc_text(from), b = parse_utc_text(to);
  return a && b ? std::max<long long>(0, *b - *a) : 0;
}

// A bar `fraction` (0..1) of its track wide.
std::string bar(double fraction, const char* kind) {
  char buf[96];
  std::snprintf(buf, sizeof buf, "<span class=\"track\"><span class=\"bar %s\" style=\"width:%.0f%%\"></span></span>",
                kind, std::clamp(fraction, 0.0, 1.0) * 100);
  return buf;
}

std::string update_cell(const UpdateRecord& u, const std::string& now) {
  if (u.began.empty()) return "never";
  return html(age(u.began, now)) + " ago" + (u.reached_last_job ? "" : " <b>(stopped early)</b>");
}

constexpr const char* kStyle = R"(
body{font-family:"Noto Sans CJK TC","AR PL UKai TW",sans-serif;margin:1em;color:#222}
h1{font-size:1.3em;margin:0 0 .3em}
p.note{color:#555;margin:0 0 1em;font-size:.9em}
.wrap{overflow-x:auto}
table{border-collapse:collapse;font-size:.9em}
th,td{padding:.35em .6em;border-bottom:1px solid #ddd;text-align:left;vertical-align:top;white-space:nowrap}
th{background:#f3f3f3}
.state{font-weight:bold;text-transform:uppercase;font-size:.8em;padding:.2em .5em;border-radius:.3em;color:#fff}
.silent{background:#6c6c6c}.behind{background:#c0392b}.failing{background:#d68910}.current{background:#1e8449}
.track{display:inline-block;width:6em;height:.7em;background:#eee;margin-right:.4em;vertical-align:middle}
.bar{display:block;height:100%}.bar.count{background:#2e86c1}.bar.age{background:#c0392b}
td.error{white-space:normal;max-width:22em;color:#922}
p.summary .state{margin-left:.4em}
p.pages a,p.pages b{margin:0 .25em}
)";

constexpr TerminalState kStates[] = {TerminalState::Silent, TerminalState::Behind, TerminalState::Failing,
                                     TerminalState::Current};

std::int64_t in_state(const FleetStatus& fleet, TerminalState state) {
  return fleet.summary.in_state[static_cast<std::size_t>(state)];
}

// "3,000 terminals: 2 silent, 0 behind, 1 failing, 2,997 current", each state a badge.
std::string summary_line(const FleetStatus& fleet) {
  std::string out = std::to_string(fleet.summary.terminals) + " terminals:";
  for (const auto state : kStates)
    out += std::string(" <span class=\"state ") + state_name(state) + "\">" + std::to_string(in_state(fleet, state)) +
           " " + state_name(state) + "</span>";
  return out;
}

// Links to the other pages, when there are any.
std::string page_links(const FleetStatus& fleet) {
  if (fleet.pages <= 1) return {};
  std::string out = "<p class=\"pages\">Page";
  for (int p = 1; p <= fleet.pages; ++p)
    out += p == fleet.page ? " <b>" + std::to_string(p) + "</b>"
                           : " <a href=\"/status?page=" + std::to_string(p) + "\">" + std::to_string(p) + "</a>";
  return out + "</p>\n";
}

}  // namespace

std::string status_json(const FleetStatus& fleet) {
  std::string out = "{\"generated\":" + json_time(fleet.generated) +
                    ",\"threshold_seconds\":" + std::to_string(fleet.threshold.count()) +
                    ",\"summary\":{\"terminals\":" + std::to_string(fleet.summary.terminals);
  for (const auto state : kStates)
    out += ",\"" + std::string(state_name(state)) + "\":" + std::to_string(in_state(fleet, state));
  out += "},\"page\":" + std::to_string(fleet.page) + ",\"pages\":" + std::to_string(fleet.pages) + ",\"terminals\":[";
  bool first = true;
  for (const TerminalStatus& t : fleet.terminals) {
    if (!first) out += ',';
    first = false;
    out += "\n{\"machine\":" + json_string(t.machine) + ",\"name\":" + json_string(t.name) + ",\"state\":\"" +
           state_name(t.state) + "\",\"last_seen\":" + json_time(t.last_seen) +
           ",\"last_changes_update\":" + json_update(t.changes) + ",\"last_full_update\":" + json_update(t.full) +
           ",\"last_run_requests\":" + (t.last_run_requests ? std::to_string(*t.last_run_requests) : "null") +
           ",\"last_run_error\":" + (t.last_run_error.empty() ? "null" : json_string(t.last_run_error)) +
           ",\"last_error\":" + (t.last_error.empty() ? "null" : json_string(t.last_error)) +
           ",\"last_error_at\":" + json_time(t.last_error_at) + ",\"backlog\":{";
    for (std::size_t i = 0; i < t.backlog.size(); ++i) {
      const Backlog& b = t.backlog[i];
      out += std::string(i ? "," : "") + json_string(b.log) + ":{\"entries\":" + std::to_string(b.entries) +
             ",\"oldest\":" + json_time(b.oldest) + "}";
    }
    out += "}}";
  }
  return out + "\n]}\n";
}

std::string status_html(const FleetStatus& fleet) {
  // Bars are scaled to the largest backlog in the fleet and to twice the threshold of age.
  std::int64_t most = 1;
  for (const auto& t : fleet.terminals)
    for (const auto& b : t.backlog) most = std::max(most, b.entries);
  const double age_scale = 2.0 * static_cast<double>(std::max<long long>(fleet.threshold.count(), 1));

  std::string out =
      "<!DOCTYPE html>\n<html lang=\"zh-Hant\"><head><meta charset=\"utf-8\">"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
      "<meta http-equiv=\"refresh\" content=\"60\"><title>Terminals: head-office status</title><style>";
  out += kStyle;
  out += "</style></head><body>\n<h1>Terminals</h1>\n<p class=\"summary\">" + summary_line(fleet) +
         "</p>\n<p class=\"note\">" + html(fleet.generated) + " UTC; worst first. Silent: asked nothing for " +
         duration_text(fleet.threshold.count()) +
         "; behind: an entry waits longer than that; failing: the last run got an error answer or stopped early. "
         "This page refreshes every minute.</p>\n" +
         page_links(fleet) +
         "<div class=\"wrap\"><table>\n<thead><tr><th>State</th><th>Terminal</th>"
         "<th>Last asked</th><th>Last changes update</th><th>Last full update</th><th>Requests</th>"
         "<th>Waiting entries</th><th>Oldest entry</th><th>Last error</th></tr></thead>\n<tbody>\n";
  for (const TerminalStatus& t : fleet.terminals) {
    std::string waiting, oldest_cell, oldest;
    std::int64_t total = 0;
    for (const Backlog& b : t.backlog) {
      total += b.entries;
      if (b.entries > 0 && (oldest.empty() || b.oldest < oldest)) oldest = b.oldest;
      if (b.entries == 0) continue;
      waiting += "<div>" + bar(static_cast<double>(b.entries) / static_cast<double>(most), "count") +
                 std::to_string(b.entries) + " " + b.label + "</div>";
    }
    if (total == 0) waiting = "none";
    oldest_cell = oldest.empty()
                      ? "-"
                      : bar(static_cast<double>(seconds_between(oldest, fleet.generated)) / age_scale, "age") +
                            html(age(oldest, fleet.generated));
    const std::string error = !t.last_run_error.empty() ? t.last_run_error : t.last_error;
    out += "<tr class=\"terminal\"><td><span class=\"state " + std::string(state_name(t.state)) + "\">" +
           state_name(t.state) + "</span></td><td><b>" + html(t.machine) + "</b> " + html(t.name) + "</td><td>" +
           (t.last_seen.empty() ? std::string("never") : html(age(t.last_seen, fleet.generated)) + " ago") +
           "</td><td>" + update_cell(t.changes, fleet.generated) + "</td><td>" + update_cell(t.full, fleet.generated) +
           "</td><td>" + (t.last_run_requests ? std::to_string(*t.last_run_requests) : std::string("-")) + "</td><td>" +
           waiting + "</td><td>" + oldest_cell + "</td><td class=\"error\">" + html(error) + "</td></tr>\n";
  }
  return out + "</tbody></table></div>\n" + page_links(fleet) + "</body></html>\n";
}

}  // namespace pos::headoffice

#include <algorithm>
#include <cstdio>

#include "headoffice/status/status_page.h"
#include "headoffice/status/status_style.h"
#include "headoffice/status/utc_time.h"
#include "packet/xml_text.h"

namespace pos::headoffice {
namespace {

std::string html(const std::string& s) {
  std::string out;
  xml::append_escaped(out, s);
  return out;
}

// The time since `utc` as of `now`, e.g. "5 min ago"; `never` for none.
std::string ago(const std::string& utc, const std::string& now, const char* never = "never") {
  const auto s = seconds_between(utc, now);
  return s ? duration_text(*s) + " ago" : never;
}

// "14:02 UTC", with the date when it is not the day of `now`.
std::string clock(const std::string& utc, const std::string& now) {
  if (utc.size() < 16) return html(utc);
  const bool today = utc.compare(0, 10, now, 0, 10) == 0;
  return html(today ? utc.substr(11, 5) : utc.substr(0, 16)) + " UTC";
}

// A bar `fraction` (0..1) of its track wide.
std::string bar(double fraction, const char* kind) {
  char buf[96];
  std::snprintf(buf, sizeof buf, "<span class=\"track\"><span class=\"bar %s\" style=\"width:%.0f%%\"></span></span>",
                kind, std::clamp(fraction, 0.0, 1.0) * 100);
  return buf;
}

std::string badge(TerminalState state, const std::string& text) {
  return "<span class=\"state " + std::string(state_name(state)) + "\">" + text + "</span>";
}

std::string update_line(const char* what, const UpdateRecord& u, const std::string& now) {
  std::string line = std::string("<div>") + what + ": ";
  if (u.began.empty()) return line + "<span class=\"muted\">never</span></div>";
  line += ago(u.began, now);
  if (!u.reached_last_job)
    line += " <b>(stopped early)</b>";
  else if (u.seconds)
    line += ", took " + duration_text(*u.seconds);
  return line + "</div>";
}

std::string runs_cell(const TerminalStatus& t, const std::string& now) {
  std::string cell;
  if (t.run == RunProgress::Running && !t.last_run_error.empty())
    cell += "<div>its run of " + clock(t.run_began, now) + " <b>got an error answer</b></div>";
  else if (t.run == RunProgress::Running)
    cell += "<div><b>running</b> since " + clock(t.run_began, now) + " (" + ago(t.run_began, now) + ")</div>";
  else if (t.run == RunProgress::Stopped)
    cell += "<div><b>stopped</b>: began " + clock(t.run_began, now) + ", asked nothing since " + ago(t.last_seen, now) +
            "</div>";
  cell += update_line("changes update", t.changes, now) + update_line("full update", t.full, now);
  if (t.last_run_requests) cell += "<div>" + std::to_string(*t.last_run_requests) + " requests in its last run</div>";
  return cell;
}

// The last error answer with its time, and the sign-ins refused since the terminal last signed in.
std::string trouble_cell(const TerminalStatus& t, const std::string& now) {
  std::string cell;
  if (!t.last_error.empty())
    cell += "<div class=\"error\">" + html(t.last_error) + " <span class=\"muted\">(" + clock(t.last_error_at, now) +
            ", " + ago(t.last_error_at, now) + ")</span></div>";
  const FailedSignIns& f = t.failed_sign_ins;
  if (f.count > 0)
    cell += "<div>" + std::to_string(f.count) + " failed sign-in" + (f.count == 1 ? "" : "s") + ", the last " +
            ago(f.last, now) + " from " + html(f.from) + "</div>";
  return cell.empty() ? "<span class=\"muted\">none</span>" : cell;
}

std::string summary(const FleetStatus& fleet) {
  std::string out = "<p class=\"summary\"><b>" + std::to_string(fleet.fleet_size) + " terminals</b>: ";
  for (std::size_t i = 0; i < kTerminalStates; ++i) {
    const auto state = static_cast<TerminalState>(i);
    const int n = fleet.count_of[i];
    out += std::string(i ? " " : "") + "<span class=\"state " + state_name(state) + (n ? "" : " none") + "\">" +
           std::to_string(n) + " " + state_name(state) + "</span>";
  }
  return out + "</p>\n";
}

std::string advice(const FleetStatus& fleet) {
  std::string out = "<dl class=\"todo\">\n";
  for (std::size_t i = 0; i < kTerminalStates; ++i) {
    const auto state = static_cast<TerminalState>(i);
    out +=
        "<dt>" + badge(state, state_name(state)) + "</dt><dd>" + html(what_to_do(state, fleet.threshold)) + "</dd>\n";
  }
  return out + "</dl>\n";
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

std::string cell(const char* label, const std::string& content, const char* css = nullptr) {
  return std::string("<td data-label=\"") + label + "\"" + (css ? std::string(" class=\"") + css + "\"" : "") + ">" +
         content + "</td>";
}

}  // namespace

std::string status_html(const FleetStatus& fleet) {
  const std::string& now = fleet.generated;
  // Bars are scaled to the largest backlog in the fleet and to twice the threshold of age.
  std::int64_t most = 1;
  for (const auto& t : fleet.terminals)
    for (const auto& b : t.backlog) most = std::max(most, b.entries);
  const double age_scale = 2.0 * static_cast<double>(std::max<long long>(fleet.threshold.count(), 1));

  std::string out =
      "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
      "<meta http-equiv=\"refresh\" content=\"60\"><title>Terminals: head-office status</title><style>";
  out += kStatusStyle;
  out += "</style></head><body>\n<h1>Terminals</h1>\n" + summary(fleet) + "<p class=\"note\">As of " + html(now) +
         " UTC, worst first; this page refreshes every minute. What to do about each state: below the "
         "terminals.</p>\n" +
         page_links(fleet) +
         "<table>\n<thead><tr><th>State</th><th>Terminal</th><th>Store</th><th>Last asked</th><th>Runs</th>"
         "<th>Waiting entries</th><th>Last error, failed sign-ins</th></tr></thead>\n<tbody>\n";
  for (const TerminalStatus& t : fleet.terminals) {
    std::string waiting, oldest;
    for (const Backlog& b : t.backlog) {
      if (b.entries == 0) continue;
      if (!b.oldest.empty() && (oldest.empty() || b.oldest < oldest)) oldest = b.oldest;
      waiting += "<div>" + bar(static_cast<double>(b.entries) / static_cast<double>(most), "count") +
                 std::to_string(b.entries) + " " + b.label + "</div>";
    }
    if (!oldest.empty())
      waiting += "<div>" + bar(static_cast<double>(seconds_between(oldest, now).value_or(0)) / age_scale, "age") +
                 "the oldest " + html(duration_text(seconds_between(oldest, now).value_or(0))) + "</div>";
    const std::string name = t.registered ? "<span lang=\"zh-Hant\">" + html(t.name) + "</span>"
                                          : std::string("<i>not registered (no MCH_ITEM row)</i>");
    const std::string state = badge(t.state, state_name(t.state)) +
                              (t.reason.empty() ? "" : "<div class=\"reason\">" + html(t.reason) + "</div>");
    out += std::string("<tr class=\"terminal\" data-state=\"") + state_name(t.state) + "\">" + cell("State", state) +
           cell("Terminal", "<b>" + html(t.machine) + "</b> " + name) +
           cell("Store", t.store.empty() ? "<span class=\"muted\">-</span>" : html(t.store)) +
           cell("Last asked", ago(t.last_seen, now), "short") + cell("Runs", runs_cell(t, now)) +
           cell("Waiting entries", waiting.empty() ? "<span class=\"muted\">none</span>" : waiting) +
           cell("Errors", trouble_cell(t, now)) + "</tr>\n";
  }
  return out + "</tbody></table>\n" + page_links(fleet) + "<h2>What to do</h2>\n" + advice(fleet) + "</body></html>\n";
}

}  // namespace pos::headoffice

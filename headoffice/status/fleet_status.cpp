#include "headoffice/status/fleet_status.h"

#include <algorithm>
#include <map>

#include "headoffice/status/utc_time.h"

namespace pos::headoffice {
namespace {

constexpr std::array<std::pair<const char*, const char*>, 5> kLogs{{{"PRODUCT_TEMP", "products"},
                                                                    {"MEMBER_TEMP", "members"},
                                                                    {"PSALE_TEMP", "sales promotions"},
                                                                    {"PTSALE_TEMP", "any-choice promotions"},
                                                                    {"GSALE_TEMP", "gift promotions"}}};

std::string text_of(const Value& v) { return v.is_null() ? std::string() : v.as_text(); }

bool older_than(const std::string& when, std::time_t now, std::chrono::seconds limit) {
  const auto t = parse_utc_text(when);
  return t && now - *t > limit.count();
}

TerminalStatus& terminal(std::map<std::string, TerminalStatus>& all, const std::string& machine) {
  TerminalStatus& t = all[machine];
  if (t.machine.empty()) {
    t.machine = machine;
    for (std::size_t i = 0; i < kLogs.size(); ++i) t.backlog[i] = Backlog{kLogs[i].first, kLogs[i].second, 0, {}};
  }
  return t;
}

}  // namespace

const char* state_name(TerminalState state) {
  switch (state) {
    case TerminalState::Silent:
      return "silent";
    case TerminalState::Behind:
      return "behind";
    case TerminalState::Failing:
      return "failing";
    case TerminalState::Current:
      break;
  }
  return "current";
}

FleetStatus read_fleet_status(Connection& c, std::chrono::seconds threshold, std::time_t now) {
  std::map<std::string, TerminalStatus> all;
  RowCollector machines;
  c.execute("SELECT MCH_NO, MCH_NAME FROM MCH_ITEM", &machines);
  for (const auto& row : machines.rows()) terminal(all, text_of(row[0])).name = text_of(row[1]);

  for (std::size_t i = 0; i < kLogs.size(); ++i) {
    RowCollector counts;
    const std::string from = std::string(" FROM ") + kLogs[i].first + " GROUP BY MCH_NO";
    try {
      c.execute("SELECT MCH_NO, COUNT(*), MIN(LOGGED_AT)" + from, &counts);
    } catch (const DatabaseError&) {
      c.execute("SELECT MCH_NO, COUNT(*), NULL" + from, &counts);  // a change log made before LOGGED_AT
    }
    for (const auto& row : counts.rows()) {
      Backlog& b = terminal(all, text_of(row[0])).backlog[i];
      b.entries = row[1].integer();
      b.oldest = text_of(row[2]).substr(0, 19);
    }
  }

  RowCollector runs;
  c.execute(
      "SELECT MCH_NO, LAST_SEEN, RUN_STARTED, RUN_ENDED, RUN_REQUESTS, RUN_ERROR, CHANGES_STARTED, CHANGES_ENDED, "
      "FULL_STARTED, FULL_ENDED, LAST_ERROR, LAST_ERROR_AT FROM TERMINAL_STATUS",
      &runs);
  for (const auto& r : runs.rows()) {
    TerminalStatus& t = terminal(all, text_of(r[0]));
    t.last_seen = text_of(r[1]);
    const std::string run_started = text_of(r[2]), run_ended = text_of(r[3]);
    if (!r[4].is_null()) t.last_run_requests = r[4].integer();
    t.last_run_error = text_of(r[5]);
    t.changes = {text_of(r[6]), !r[7].is_null() && r[7].integer() == 1};
    t.full = {text_of(r[8]), !r[9].is_null() && r[9].integer() == 1};
    t.last_error = text_of(r[10]);
    t.last_error_at = text_of(r[11]);
    // A run that began long enough ago and has not reached its last job stopped early.
    if (t.last_run_error.empty() && !run_started.empty() && run_ended.empty() &&
        older_than(run_started, now, threshold))
      t.last_run_error = "stopped before its last job";
  }

  FleetStatus fleet{utc_text(now), threshold, {}};
  for (auto& [machine, t] : all) {
    const bool behind = std::any_of(t.backlog.begin(), t.backlog.end(), [&](const Backlog& b) {
      return b.entries > 0 && older_than(b.oldest, now, threshold);
    });
    if (t.last_seen.empty() || older_than(t.last_seen, now, threshold))
      t.state = TerminalState::Silent;
    else if (behind)
      t.state = TerminalState::Behind;
    else if (!t.last_run_error.empty())
      t.state = TerminalState::Failing;
    else
      t.state = TerminalState::Current;
    fleet.terminals.push_back(std::move(t));
  }
  std::stable_sort(fleet.terminals.begin(), fleet.terminals.end(),
                   [](const TerminalStatus& a, const TerminalStatus& b) { return a.state < b.state; });
  return fleet;
}

}  // namespace pos::headoffice

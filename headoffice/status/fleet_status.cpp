#include "headoffice/status/fleet_status.h"

#include <algorithm>
#include <map>
#include <set>

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

namespace {

// Each log's waiting entries and the oldest one's time for `terminals`, asking only for theirs
// unless `every_terminal` (then the logs are read whole).
void count_backlogs(Connection& c, std::vector<TerminalStatus>& terminals, bool every_terminal) {
  std::map<std::string, TerminalStatus*> by_machine;
  for (auto& t : terminals) by_machine[t.machine] = &t;
  std::string where;
  std::vector<Value> params;
  if (!every_terminal) {
    where = " WHERE MCH_NO IN (";
    for (const auto& t : terminals) {
      where += params.empty() ? "?" : ", ?";
      params.emplace_back(t.machine);
    }
    where += ")";
  }
  for (std::size_t i = 0; i < kLogs.size(); ++i) {
    RowCollector counts;
    const std::string from = std::string(" FROM ") + kLogs[i].first + where + " GROUP BY MCH_NO";
    try {
      c.execute("SELECT MCH_NO, COUNT(*), MIN(LOGGED_AT)" + from, params, &counts);
    } catch (const DatabaseError&) {
      c.execute("SELECT MCH_NO, COUNT(*), NULL" + from, params, &counts);  // a change log made before LOGGED_AT
    }
    for (const auto& row : counts.rows()) {
      const auto t = by_machine.find(text_of(row[0]));
      if (t == by_machine.end()) continue;
      Backlog& b = t->second->backlog[i];
      b.entries = row[1].integer();
      b.oldest = text_of(row[2]).substr(0, 19);
    }
  }
}

}  // namespace

FleetStatus read_fleet_status(Connection& c, std::chrono::seconds threshold, std::time_t now, int page, int per_page) {
  std::map<std::string, TerminalStatus> all;
  RowCollector machines;
  c.execute("SELECT MCH_NO, MCH_NAME FROM MCH_ITEM", &machines);
  for (const auto& row : machines.rows()) terminal(all, text_of(row[0])).name = text_of(row[1]);

  std::set<std::string> behind;
  const Value cutoff[] = {Value(utc_text(now - threshold.count()))};
  for (const auto& [log, label] : kLogs) {
    // Entries older than the threshold (found by the log's index on LOGGED_AT): their terminals are
    // behind, and a machine that only a change log names is known from then on.
    RowCollector old;
    try {
      c.execute(std::string("SELECT DISTINCT MCH_NO FROM ") + log + " WHERE LOGGED_AT < ?", cutoff, &old);
    } catch (const DatabaseError&) {
      continue;  // a change log made before LOGGED_AT: its entries have no age
    }
    for (const auto& row : old.rows()) {
      terminal(all, text_of(row[0]));
      behind.insert(text_of(row[0]));
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

  FleetStatus fleet{utc_text(now), threshold, {}, 1, 1, {}};
  for (auto& [machine, t] : all) {
    if (t.last_seen.empty() || older_than(t.last_seen, now, threshold))
      t.state = TerminalState::Silent;
    else if (behind.count(machine))
      t.state = TerminalState::Behind;
    else if (!t.last_run_error.empty())
      t.state = TerminalState::Failing;
    else
      t.state = TerminalState::Current;
    ++fleet.summary.in_state[static_cast<std::size_t>(t.state)];
    fleet.terminals.push_back(std::move(t));
  }
  fleet.summary.terminals = static_cast<std::int64_t>(fleet.terminals.size());
  std::stable_sort(fleet.terminals.begin(), fleet.terminals.end(),
                   [](const TerminalStatus& a, const TerminalStatus& b) { return a.state < b.state; });

  if (per_page > 0) {
    const auto size = static_cast<std::size_t>(per_page);
    fleet.pages = std::max<int>(1, static_cast<int>((fleet.terminals.size() + size - 1) / size));
    fleet.page = std::clamp(page, 1, fleet.pages);
    const std::size_t first = static_cast<std::size_t>(fleet.page - 1) * size;
    std::vector<TerminalStatus> on_page;
    for (std::size_t i = first; i < fleet.terminals.size() && i < first + size; ++i)
      on_page.push_back(std::move(fleet.terminals[i]));
    fleet.terminals = std::move(on_page);
  }
  if (!fleet.terminals.empty()) count_backlogs(c, fleet.terminals, per_page <= 0);
  return fleet;
}

}  // namespace pos::headoffice

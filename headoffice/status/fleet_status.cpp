#include "headoffice/status/fleet_status.h"

#include <algorithm>
#include <map>

#include "headoffice/status/error_text.h"
#include "headoffice/status/judge_terminal.h"
#include "headoffice/status/utc_time.h"

namespace pos::headoffice {
namespace {

constexpr std::array<std::pair<const char*, const char*>, 5> kLogs{{{"PRODUCT_TEMP", "products"},
                                                                    {"MEMBER_TEMP", "members"},
                                                                    {"PSALE_TEMP", "sales promotions"},
                                                                    {"PTSALE_TEMP", "any-choice promotions"},
                                                                    {"GSALE_TEMP", "gift promotions"}}};

std::string text_of(const Value& v) { return v.is_null() ? std::string() : v.as_text(); }

std::optional<std::int64_t> integer_of(const Value& v) {
  if (v.is_null()) return std::nullopt;
  return v.integer();
}

TerminalStatus& terminal(std::map<std::string, TerminalStatus>& all, const std::string& machine) {
  TerminalStatus& t = all[machine];
  if (t.machine.empty()) {
    t.machine = machine;
    for (std::size_t i = 0; i < kLogs.size(); ++i) t.backlog[i] = Backlog{kLogs[i].first, kLogs[i].second, 0, {}};
  }
  return t;
}

void read_machines(Connection& c, std::map<std::string, TerminalStatus>& all) {
  RowCollector machines;
  c.execute("SELECT MCH_NO, MCH_NAME, STOCK_ID FROM MCH_ITEM", &machines);
  for (const auto& row : machines.rows()) {
    TerminalStatus& t = terminal(all, text_of(row[0]));
    t.name = text_of(row[1]);
    t.store = text_of(row[2]);
    t.registered = true;
  }
}

void read_backlogs(Connection& c, std::map<std::string, TerminalStatus>& all) {
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
}

void read_runs(Connection& c, std::map<std::string, TerminalStatus>& all) {
  RowCollector runs;
  c.execute(
      "SELECT MCH_NO, LAST_SEEN, RUN_STARTED, RUN_ENDED, RUN_REQUESTS, RUN_ERROR, CHANGES_STARTED, CHANGES_ENDED, "
      "CHANGES_SECONDS, FULL_STARTED, FULL_ENDED, FULL_SECONDS, LAST_ERROR, LAST_ERROR_AT, FAILED_SIGN_INS, "
      "LAST_FAILED_SIGN_IN, FAILED_SIGN_IN_FROM FROM TERMINAL_STATUS",
      &runs);
  for (const auto& r : runs.rows()) {
    TerminalStatus& t = terminal(all, text_of(r[0]));
    t.last_seen = text_of(r[1]);
    t.run_began = text_of(r[2]);
    t.run_ended = text_of(r[3]);
    t.last_run_requests = integer_of(r[4]);
    t.last_run_error = readable_error(text_of(r[5]));
    t.changes = {text_of(r[6]), integer_of(r[7]) == 1, integer_of(r[8])};
    t.full = {text_of(r[9]), integer_of(r[10]) == 1, integer_of(r[11])};
    t.last_error = readable_error(text_of(r[12]));
    t.last_error_at = text_of(r[13]);
    t.failed_sign_ins = {integer_of(r[14]).value_or(0), text_of(r[15]), text_of(r[16])};
  }
}

}  // namespace

FleetStatus read_fleet_status(Connection& c, std::chrono::seconds threshold, std::time_t now) {
  std::map<std::string, TerminalStatus> all;
  read_machines(c, all);
  read_backlogs(c, all);
  read_runs(c, all);

  FleetStatus fleet{utc_text(now), threshold, {}, {}};
  for (auto& [machine, t] : all) {
    judge_terminal(t, threshold, fleet.generated);
    ++fleet.count_of[static_cast<std::size_t>(t.state)];
    fleet.terminals.push_back(std::move(t));
  }
  std::stable_sort(fleet.terminals.begin(), fleet.terminals.end(),
                   [](const TerminalStatus& a, const TerminalStatus& b) { return a.state < b.state; });
  return fleet;
}

}  // namespace pos::headoffice

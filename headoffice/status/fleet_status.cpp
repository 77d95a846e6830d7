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

// Each log's entries older than the threshold, found by its index on LOGGED_AT: their terminals
// are behind (and a machine only a change log names is known from then on). The entries are
// counted for the page's terminals alone, by count_backlogs.
void read_old_entries(Connection& c, std::map<std::string, TerminalStatus>& all, std::time_t cutoff) {
  const Value before[] = {Value(utc_text(cutoff))};
  for (std::size_t i = 0; i < kLogs.size(); ++i) {
    RowCollector old;
    try {
      c.execute(
          std::string("SELECT MCH_NO, MIN(LOGGED_AT) FROM ") + kLogs[i].first + " WHERE LOGGED_AT < ? GROUP BY MCH_NO",
          before, &old);
    } catch (const DatabaseError&) {
      continue;  // a change log made before LOGGED_AT: its entries have no age
    }
    for (const auto& row : old.rows()) {
      Backlog& b = terminal(all, text_of(row[0])).backlog[i];
      b.entries = 1;  // at least; count_backlogs counts them
      b.oldest = text_of(row[1]).substr(0, 19);
    }
  }
}

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
    for (auto& t : terminals) t.backlog[i].entries = 0, t.backlog[i].oldest.clear();
    for (const auto& row : counts.rows()) {
      const auto t = by_machine.find(text_of(row[0]));
      if (t == by_machine.end()) continue;
      Backlog& b = t->second->backlog[i];
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

FleetStatus read_fleet_status(Connection& c, std::chrono::seconds threshold, std::time_t now, int page, int per_page) {
  std::map<std::string, TerminalStatus> all;
  read_machines(c, all);
  read_old_entries(c, all, now - threshold.count());
  read_runs(c, all);

  FleetStatus fleet{utc_text(now), threshold, {}, 1, 1, static_cast<int>(all.size()), {}};
  for (auto& [machine, t] : all) {
    judge_terminal(t, threshold, fleet.generated);
    ++fleet.count_of[static_cast<std::size_t>(t.state)];
    fleet.terminals.push_back(std::move(t));
  }
  std::stable_sort(fleet.terminals.begin(), fleet.terminals.end(),
                   [](const TerminalStatus& a, const TerminalStatus& b) { return a.state < b.state; });

  if (per_page > 0) {
    const auto size = static_cast<std::size_t>(per_page);
    fleet.pages = std::max(1, static_cast<int>((fleet.terminals.size() + size - 1) / size));
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

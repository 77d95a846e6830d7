#pragma once
// Every terminal head office knows (each MCH_ITEM row, any machine number in the run records, and
// any for which a change-log entry has waited longer than the threshold), with what the service
// recorded of its runs and what waits for it in the change logs, judged against a threshold and
// ordered worst first.

#include <array>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "headoffice/storage/database.h"

namespace pos::headoffice {

// Worst first.
enum class TerminalState { Silent, Behind, Failing, Current };
const char* state_name(TerminalState state);  // "silent", "behind", "failing", "current"

struct Backlog {
  const char* log = "";    // the change-log table
  const char* label = "";  // how the page names it
  std::int64_t entries = 0;
  std::string oldest;  // UTC time of the oldest entry; empty when none or unknown
};

struct UpdateRecord {
  std::string began;  // UTC; empty: never seen
  bool reached_last_job = false;
};

struct TerminalStatus {
  std::string machine;
  std::string name;       // UTF-8
  std::string last_seen;  // UTC; empty: never asked anything
  UpdateRecord changes, full;
  std::optional<std::int64_t> last_run_requests;
  std::string last_run_error;             // the last run's first error answer; empty when none
  std::string last_error, last_error_at;  // the last error answer ever
  std::array<Backlog, 5> backlog;
  TerminalState state = TerminalState::Current;
};

// How many terminals there are in each state, by TerminalState.
struct FleetSummary {
  std::int64_t terminals = 0;
  std::array<std::int64_t, 4> in_state{};
};

inline constexpr int kTerminalsPerPage = 100;

struct FleetStatus {
  std::string generated;  // UTC
  std::chrono::seconds threshold{};
  FleetSummary summary;                   // the whole fleet
  int page = 1, pages = 1;                // which page of the fleet `terminals` is, of how many
  std::vector<TerminalStatus> terminals;  // worst first, then by machine number
};

// Reads and judges the fleet as of `now`: silent when it asked nothing for longer than
// `threshold` (or never), behind when an entry waiting for it is older than that, failing when its
// last run got an error answer or stopped before its last job, current otherwise. `terminals` holds
// page `page` (from 1) of `per_page` terminals, worst first; per_page 0: every terminal. Only the
// page's terminals have their waiting entries counted, so a page costs the same however large the
// fleet's change logs are.
FleetStatus read_fleet_status(Connection& c, std::chrono::seconds threshold, std::time_t now, int page = 1,
                              int per_page = kTerminalsPerPage);

}  // namespace pos::headoffice

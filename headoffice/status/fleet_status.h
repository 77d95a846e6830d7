#pragma once
// Every terminal head office knows (each MCH_ITEM row, any machine number in the run records, and
// any for which a change-log entry has waited longer than the threshold), with what the service
// recorded of its runs and sign-ins and what waits for it in the change logs, judged against a
// threshold and ordered worst first, a page at a time.

#include <array>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "headoffice/status/terminal_state.h"
#include "headoffice/storage/database.h"

namespace pos::headoffice {

struct Backlog {
  const char* log = "";    // the change-log table
  const char* label = "";  // how the page names it
  std::int64_t entries = 0;
  std::string oldest;  // UTC time of the oldest entry; empty when none or unknown
};

struct UpdateRecord {
  std::string began;  // UTC; empty: never seen
  bool reached_last_job = false;
  std::optional<std::int64_t> seconds;  // how long it took, when it reached its last job
};

struct FailedSignIns {
  std::int64_t count = 0;  // since the terminal's last run began
  std::string last;        // UTC
  std::string from;        // the client address of the last one
};

struct TerminalStatus {
  std::string machine;
  std::string name;         // UTF-8
  std::string store;        // MCH_ITEM.STOCK_ID
  bool registered = false;  // head office has its MCH_ITEM row
  std::string last_seen;    // UTC; empty: never asked anything signed in
  std::string run_began;    // UTC; the run last begun
  std::string run_ended;    // UTC; empty while it goes or when it stopped before its last job
  RunProgress run = RunProgress::None;
  UpdateRecord changes, full;
  std::optional<std::int64_t> last_run_requests;
  std::string last_run_error;             // the last run's first error answer; empty when none
  std::string last_error, last_error_at;  // the last error answer; cleared by a run without one
  FailedSignIns failed_sign_ins;
  std::array<Backlog, 5> backlog;
  TerminalState state = TerminalState::Current;
  std::string reason;  // why it is in its state, when the state alone does not say it
};

inline constexpr int kTerminalsPerPage = 100;

struct FleetStatus {
  std::string generated;  // UTC
  std::chrono::seconds threshold{};
  std::vector<TerminalStatus> terminals;        // page `page` of the fleet, worst first, then by machine number
  int page = 1, pages = 1;                      // from 1
  int fleet_size = 0;                           // terminals on every page
  std::array<int, kTerminalStates> count_of{};  // terminals on every page in each state, by TerminalState
};

// Reads and judges the fleet as of `now` (terminal_state.h has the rules). `terminals` holds page
// `page` (from 1; past the last: the last) of `per_page` terminals; per_page 0: every terminal.
// Only the page's terminals have their waiting entries counted, so a page costs the same however
// large the fleet's change logs are.
FleetStatus read_fleet_status(Connection& c, std::chrono::seconds threshold, std::time_t now, int page = 1,
                              int per_page = kTerminalsPerPage);

}  // namespace pos::headoffice

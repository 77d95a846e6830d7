#pragma once
// Every terminal head office knows (each MCH_ITEM row, and any machine number in a change log or
// in the run records), with what the service recorded of its runs and what waits for it in the
// change logs, judged against a threshold and ordered worst first.

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

struct FleetStatus {
  std::string generated;  // UTC
  std::chrono::seconds threshold{};
  std::vector<TerminalStatus> terminals;  // worst first, then by machine number
};

// Reads and judges the fleet as of `now`: silent when it asked nothing for longer than
// `threshold` (or never), behind when an entry waiting for it is older than that, failing when its
// last run got an error answer or stopped before its last job, current otherwise.
FleetStatus read_fleet_status(Connection& c, std::chrono::seconds threshold, std::time_t now);

}  // namespace pos::headoffice

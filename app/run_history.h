#pragma once
// runs.jsonl in the terminal folder: one JSON line per run (its times, mode, the jobs that ran with
// their counters, the outcome and the headless exit status), the last 1,000 runs kept. Beside the
// log panel, never in it.

#include <array>
#include <ctime>
#include <filesystem>
#include <string>

#include "jobs/kit/run_context.h"

namespace pos {

struct RunRecord {
  std::time_t start = 0, end = 0;
  int mode = 0;  // 0 changes update, 1 full update, -1 none
  std::array<JobCounters, 15> jobs{};
  std::string outcome;  // "completed", "completed with row errors", "stopped", "ended early"
  int exit_status = 0;
  int retries = 0;  // requests sent again after a failed connection or a time-out
};

constexpr std::size_t kRunsKept = 1000;

std::string run_json_line(const RunRecord& run);

// Appends the run; older lines beyond `keep` go. A file that cannot be written is reported on
// stderr and the run is not affected.
void append_run(const std::filesystem::path& terminal_folder, const RunRecord& run, std::size_t keep = kRunsKept);

class TFormTollmere;
// Records the form's last run, started at `start`, that ended with headless exit status `status`
// (0 completed, 3 completed with row errors, 1 ended early); `stopped`: by a stop signal.
void record_run(const TFormTollmere& form, std::time_t start, int status, bool stopped, int retries);

// The last `count` runs as a table, newest last ("no runs recorded" when there are none).
std::string history_table(const std::filesystem::path& terminal_folder, std::size_t count = 20);

}  // namespace pos

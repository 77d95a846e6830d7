#pragma once
// runs.jsonl in the terminal folder: one JSON line per run (its times, mode, the jobs that ran with
// their counters, the outcome, the headless exit status and a note), the last 1,000 runs kept, the
// runs that did not start included. Beside the log panel, never in it.

#include <array>
#include <ctime>
#include <filesystem>
#include <string>

#include "jobs/job_table.h"

namespace pos {

struct RunRecord {
  std::time_t start = 0, end = 0;
  int mode = 0;            // 0 changes update, 1 full update, -1 none
  std::string mode_given;  // the mode argument when it was not a mode as it stands ("5", "abc")
  JobCounts jobs{};
  // "completed", "completed with row errors", "completed with unconfirmed statements", "stopped",
  // "ended early", "did not start"
  std::string outcome;
  int exit_status = 0;
  int retries = 0;   // requests sent again after a failed connection or a time-out
  std::string note;  // UTF-8: why it ended early or did not start, or what it warned of
};

constexpr std::size_t kRunsKept = 1000;

std::string run_json_line(const RunRecord& run);

// Appends the run; older lines beyond `keep` go. A file that cannot be read or written is reported
// on stderr, leaves no half-written file behind, and gives false.
bool append_run(const std::filesystem::path& terminal_folder, const RunRecord& run, std::size_t keep = kRunsKept);

// The last `count` runs as a table, newest last: start, duration, mode, counters, exit, outcome and
// the note's first line. Throws std::runtime_error when the folder holds no terminal (neither
// runs.jsonl nor MCH_NO.TXT) or runs.jsonl cannot be read.
std::string history_table(const std::filesystem::path& terminal_folder, std::size_t count = 20);

}  // namespace pos

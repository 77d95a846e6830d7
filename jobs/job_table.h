#pragma once
// The fifteen entries of the job list: caption, the first log line, and the job that runs.

#include <array>
#include <functional>
#include <string>

#include "jobs/run_context.h"

namespace pos {

struct JobEntry {
  std::string caption;                   // Big5
  std::string first_line;                // Big5; empty for an entry without a job
  std::function<void(RunContext&)> run;  // empty for an entry without a job
};

// The entries in list order (index = job number).
const std::array<JobEntry, 15>& job_table();

}  // namespace pos

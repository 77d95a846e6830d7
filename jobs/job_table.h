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

// Runs `entry`: its first log line, then its job with a batch of its own and `counters`. What the
// job wrote is committed when it returns and also when it fails, unless the local connection is
// gone; the failure then goes on. An entry without a job does nothing.
void run_job(const JobEntry& entry, RunContext& ctx, JobCounters& counters);

}  // namespace pos

#pragma once
// One entry of the job list and how the run runs it.

#include <functional>
#include <string>

#include "jobs/kit/run_context.h"

namespace pos {

struct JobEntry {
  std::string caption;                   // Big5
  std::string first_line;                // Big5; empty for an entry without a job
  std::function<void(RunContext&)> run;  // empty for an entry without a job
};

// Runs `entry`: its first log line, then its job with a batch of its own and `counters`. What the
// job wrote is committed when it returns and also when it fails, unless the local connection is
// gone; the failure then goes on. An entry without a job does nothing.
void run_job(const JobEntry& entry, RunContext& ctx, JobCounters& counters);

}  // namespace pos

#pragma once
// The fifteen entries of the job list: caption, the first log line, and the job that runs.

#include <array>

#include "jobs/kit/run_job.h"

namespace pos {

// The entries in list order (index = job number).
const std::array<JobEntry, 15>& job_table();

}  // namespace pos

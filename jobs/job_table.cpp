#include "jobs/job_table.h"

#include "text/big5.h"

namespace pos {

const std::array<JobEntry, kJobCount>& job_table() {
  static const std::array<JobEntry, kJobCount> table = [] {
    std::array<JobEntry, kJobCount> t;
    for (std::size_t i = 0; i < kJobCount; ++i) {
      const JobSource& s = kJobList[i];
      t[i] = JobEntry{big5(s.caption), s.first_line ? big5(s.first_line) : std::string(), s.run};
    }
    return t;
  }();
  return table;
}

}  // namespace pos

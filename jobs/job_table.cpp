#include "jobs/job_table.h"

#include "jobs/changes_update_texts.h"
#include "text/big5.h"
#include "text/sql_text.h"

namespace pos {

QueryLines opening_check_query(const std::string& machine) {
  return {"SELECT * FROM MCH_ITEM WHERE MCH_NO = '" + sql_escape(machine) + "'"};
}

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

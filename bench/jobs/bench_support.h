#pragma once
// What the job benchmarks share: a clock, the peak memory, raw requests through the data
// module's HTTP client, and a scratch terminal database for the floors, upgraded and indexed as
// the jobs leave it, so that the job's own database never sees the floors' writes.

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "app/form_tollmere.h"
#include "jobs/job_table.h"
#include "localdb/connection.h"
#include "localdb/local_query.h"
#include "localdb/schema_upkeep.h"
#include "packet/row_set.h"
#include "service/data_mod_http.h"
#include "tests/support/temp_folder.h"
#include "tools/terminal_folder.h"

namespace pos::bench {

using Clock = std::chrono::steady_clock;

inline double since(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

// The process's peak resident memory so far, in MiB.
inline double peak_mib() {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6) / 1024.0;
  return 0;
}

// A query as the module sends it, without the module: one bare round trip.
inline std::string raw_query(TDataModHttp& dm, const std::string& sql) {
  const std::string url =
      dm.QueryEndpoint() + "?user_name=" + dm.ServiceUserName() + "&password=" + dm.ServicePassword();
  return dm.http().post(url, {{"user_name", dm.ServiceUserName()}, {"password", dm.ServicePassword()}, {"sql", sql}});
}

// One job run as the form runs it, in `mode`, timed.
struct TimedJob {
  JobCounters counts;
  double seconds = 0;
};
inline TimedJob time_job(TFormTollmere& form, int mode, std::size_t job) {
  form.RadioGroup1 = mode;
  RunContext ctx = form.context();
  TimedJob t;
  const auto t0 = Clock::now();
  run_job(job_table()[job], ctx, t.counts);
  t.seconds = since(t0);
  return t;
}

struct ScratchDatabase {
  testing::TempFolder home{"posfloor"};
  LocalConnection con;
  ScratchDatabase() {
    make_terminal_folder(TerminalSpec{home.string(), "001", "127.0.0.1", "1"});
    con.open(ConnectionParams{(home / "Data" / "POS_LOC.GDB").string()});
    LocalQuery q(con);
    upgrade_local_schema(q);
    for (const char* statement :
         {"CREATE INDEX LOC_PDC1 ON LOC_PDC(PROD_ID)", "CREATE INDEX LOC_PDC2 ON LOC_PDC(BAR_CODE)",
          "CREATE INDEX LOC_PDC3 ON LOC_PDC(PROD_ID,BAR_CODE)", "CREATE INDEX LOC_PDC4 ON LOC_PDC(PDC_NO)"})
      con.execute(statement);
  }
  ~ScratchDatabase() { con.close(); }

  // A bare prepared insert of the answer's `fields` into `table`'s `columns`, values as the packet
  // has them, every row in one committed transaction; `before_each` (with the row's values) runs
  // first for every row when given. Returns the seconds.
  double insert(const std::string& table, const std::vector<std::string>& columns,
                const std::vector<std::string>& fields, const RowSet& rs, const std::string& before_each = "",
                const std::vector<std::size_t>& before_args = {}) {
    std::string names, marks;
    for (const auto& c : columns) {
      names += (names.empty() ? "" : ",") + c;
      marks += marks.empty() ? "?" : ",?";
    }
    std::vector<std::size_t> idx;
    for (const auto& f : fields) idx.push_back(rs.field_index(f));
    auto ins = con.prepare("INSERT INTO " + table + " (" + names + ") VALUES (" + marks + ")");
    auto pre = before_each.empty() ? nullptr : con.prepare(before_each);
    std::vector<Value> args(idx.size()), pre_args(before_args.size());
    const auto t0 = Clock::now();
    con.begin();
    con.run([&](Firebird::ITransaction* t) {
      for (std::size_t r = 0; r < rs.row_count(); ++r) {
        for (std::size_t i = 0; i < idx.size(); ++i) args[i] = rs.value_at(r, idx[i]);
        if (pre) {
          for (std::size_t i = 0; i < before_args.size(); ++i) pre_args[i] = args[before_args[i]];
          pre->execute(t, pre_args);
        }
        ins->execute(t, args);
      }
    });
    con.commit();
    return since(t0);
  }
};

}  // namespace pos::bench

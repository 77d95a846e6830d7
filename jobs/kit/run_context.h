#pragma once
// What a job works with during a run: the update mode and today's date, this terminal's number,
// the shared script buffer, the log and the progress bar, the answer row sets, the local statement
// object and cursors, the data module, and the job's batch and counters. The form owns the parts;
// a job only borrows them.

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

#include "jobs/kit/run_log.h"
#include "localdb/connection.h"
#include "localdb/local_query.h"
#include "localdb/table_cursor.h"
#include "packet/row_set.h"

namespace pos {

class TDataModHttp;
class CommitBatcher;

enum class UpdateMode { None = -1, Changes = 0, Full = 1 };

// The mode that RadioGroup1's item index stands for: 0 changes update, 1 full update, else none.
UpdateMode update_mode(int item_index);

// What one job did, counted where the work happens.
struct JobCounters {
  std::size_t fetched = 0;  // answer rows the job's row loops took
  std::size_t written = 0;  // rows written to the local database
  std::size_t refused = 0;  // rows the local database refused when they were applied
  std::size_t failed = 0;   // rows that failed otherwise and were logged
  double seconds = 0;
  bool ran = false;             // the job was run
  std::size_t unconfirmed = 0;  // change-log statements head office did not confirm ("success", "OK")

  bool clean() const { return refused == 0 && failed == 0; }
  // True when a row failed or was refused since the counters stood at `before`.
  bool faults_since(const JobCounters& before) const { return failed != before.failed || refused != before.refused; }
};

// A change-log statement of a run that head office did not confirm: the last one whose answer a
// file keeps, else the last one.
struct UnconfirmedStatement {
  std::string answer;  // what head office answered, or the script call's "Connection problem!"
  std::string file;    // the diagnostic file that keeps the answer; empty when none does
};

struct RunContext {
  UpdateMode mode;
  std::string today;  // "YYYY/MM/DD", the run's date
  const std::string& MachineNo;
  std::vector<std::string>& ScriptBuffer;
  RunLog& log;
  ProgressBar& progress;
  RowSet& ClientDataSet1;
  RowSet& ClientDataSet2;
  RowSet& ClientDataSet4;
  RowSet& aCDS;
  LocalConnection& SQLCon_Loc;
  LocalQuery& SQLQuery3;
  TableCursor& CDS_Query1;
  TableCursor& CDS_Query4;
  TDataModHttp& DataModHttp;
  std::filesystem::path terminal_folder;  // where 123.txt and ptpromotion.cds go

  UnconfirmedStatement* unconfirmed = nullptr;  // noted by the run's statements

  // Set by run_job for the job that runs.
  CommitBatcher* batch = nullptr;
  JobCounters* counters = nullptr;

  bool changes_update() const { return mode == UpdateMode::Changes; }
  bool full_update() const { return mode == UpdateMode::Full; }
  CommitBatcher& batcher() { return *batch; }
  JobCounters& count() { return *counters; }
};

}  // namespace pos

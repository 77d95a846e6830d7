#pragma once
// What a job works with during a run, by role: the update mode and today's date, this terminal's
// number, the lines being sent, the log and the progress bar, the answers, the local statement and
// cursors, head office's endpoints, and the job's batch and counters. The form owns the parts
// (under the window's names); a job only borrows them.

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
  std::string today;                 // "YYYY/MM/DD", the run's date
  const std::string& machine;        // this terminal's number (MCH_NO.TXT)
  std::vector<std::string>& script;  // the lines of the query or statement being sent
  RunLog& log;
  ProgressBar& progress;
  RowSet& answer;                         // the answer of most queries
  RowSet& entries;                        // a change log's listed entries (members, promotions)
  RowSet& sub_cards;                      // a member's sub-cards
  RowSet& product_changes;                // the products' listed changes
  LocalConnection& local;                 // the local database
  LocalQuery& statement;                  // the local statement object
  TableCursor& row_cursor;                // the cursor the job writes its rows through
  TableCursor& card_cursor;               // the sub-cards' cursor
  TDataModHttp& service;                  // head office's endpoints
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

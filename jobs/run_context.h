#pragma once
// What a job works with during a run: the mode, this terminal's number, the shared script
// buffer, the log and progress bar, the answer row sets, the local statement object and cursors,
// and the data module. Owned by the form; a job only borrows it.

#include <string>
#include <vector>

#include "jobs/run_log.h"
#include "localdb/connection.h"
#include "localdb/local_query.h"
#include "localdb/table_cursor.h"
#include "packet/row_set.h"

namespace pos {

class TDataModHttp;

struct RunContext {
  int mode;  // 0 changes update, 1 full update, -1 none
  const std::string& MachineNo;
  std::vector<std::string>& ScriptBuffer;
  RunLog& Memo1;
  ProgressBar& ProgressBar1;
  RowSet& ClientDataSet1;
  RowSet& ClientDataSet2;
  RowSet& ClientDataSet4;
  RowSet& aCDS;
  LocalConnection& SQLCon_Loc;
  LocalQuery& SQLQuery3;
  TableCursor& CDS_Query1;
  TableCursor& CDS_Query4;
  TDataModHttp& DataModHttp;
};

}  // namespace pos

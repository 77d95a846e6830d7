#pragma once
// The two ways jobs follow a per-terminal change log of the service.
//
// Read, apply, remove (products, members): the job lists its entries, applies them, and removes
// them with one statement. Mark, read, apply, remove (the promotion kinds): entries are first
// marked with TRAN_CODE = 'W', only marked entries are read and removed, so an entry logged
// meanwhile waits for the next run and one left marked by an interrupted run is taken again.
//
// In both, the statements are the job's own texts over the transport its job names; what they
// confirm is committed locally before a removal is sent, and nothing is removed when the apply
// ended by an error or one of its rows failed or was refused: the entries are taken again next run.

#include <functional>
#include <string>
#include <vector>

#include "jobs/conventions.h"
#include "jobs/row_loop.h"
#include "jobs/run_context.h"

namespace pos {

struct ChangeLogStep {
  RowSet& list;                         // receives the entries
  std::vector<std::string> list_query;  // the query that lists them
  RowLoop loop;                         // how each entry's work is done
  std::function<void()> apply;          // the work of the list's current entry
  ServiceStatement remove;              // removes the entries taken
};

// Lists the entries, applies each (when there are any), commits, and sends `remove` when every
// entry was applied.
void take_change_log(RunContext& ctx, const ChangeLogStep& step);

struct MarkedChangeLog {
  Transport transport;
  const char* key;             // the entries' key field, naming them in the log
  std::string mark_deleted;    // marks the entries of removed rows
  std::string list_deleted;    // lists every marked entry (of any state)
  std::string remove_deleted;  // removes the marked entries of removed rows
  std::string mark_changed;    // marks the remaining entries
  std::string list_changed;    // lists the marked entries
  std::string remove_changed;  // removes the marked entries of added and changed rows
};

class MarkedChangeLogRun {
 public:
  MarkedChangeLogRun(RunContext& ctx, MarkedChangeLog statements) : ctx_(ctx), s_(std::move(statements)) {}

  // Marks the removals, lists every marked entry into `list`, runs `drop_local` for each (a local
  // statement), commits and removes the marked removals.
  void take_removals(RowSet& list, const std::function<void()>& drop_local);

  // Marks the additions and changes and lists the marked entries into `list`.
  void mark_changes(RowSet& list);

  // Applies each entry of `list` (when there are any) with `loop`, commits, and removes the marked
  // additions and changes when every entry was applied.
  void take_changes(RowSet& list, const RowLoop& loop, const std::function<void()>& apply);

 private:
  RunContext& ctx_;
  const MarkedChangeLog s_;
};

}  // namespace pos

#pragma once
// Mark, read, apply, remove: how the promotion kinds follow their change logs. Entries are first
// marked with TRAN_CODE = 'W'; only marked entries are read and removed, so an entry logged
// meanwhile waits for the next run and one left marked by an interrupted run is taken again. Local
// rows go only for a marked deletion; a marked change replaces its rows only by a rewrite written
// whole. What a removal confirms is committed locally before it is sent; when the apply ended by
// an error nothing is removed, and the entries of rows that failed or were refused stay marked
// while the others are removed by name.

#include <functional>
#include <string>
#include <vector>

#include "jobs/kit/row_loop.h"
#include "jobs/kit/run_context.h"
#include "jobs/kit/service_steps.h"

namespace pos {

struct MarkedChangeLog {
  Transport transport;
  const char* key;             // the entries' key field, naming them in the log
  std::string mark_deleted;    // marks the entries of removed rows
  std::string list_deleted;    // lists the marked entries (the kit keeps those of removed rows)
  std::string remove_deleted;  // removes the marked entries of removed rows
  std::string mark_changed;    // marks the remaining entries
  std::string list_changed;    // lists the marked entries
  std::string remove_changed;  // removes the marked entries of added and changed rows

  // What the kit lists of the marked entries: only those of removed rows, so that a marked change
  // whose rewrite was held back keeps its rows until a rewrite is written whole.
  std::string list_marked_removals() const { return list_deleted + " AND STATE = 'DELETE'"; }
};

// The statements of the marked change log `log` of the terminal `machine`, sent as single
// statements: the query endpoint upper-cases them, so that one text serves every such log.
MarkedChangeLog single_statement_log(const std::string& log, const std::string& machine);

class MarkedChangeLogRun {
 public:
  MarkedChangeLogRun(RunContext& ctx, MarkedChangeLog statements) : ctx_(ctx), s_(std::move(statements)) {}

  // Marks the removals, lists the marked removals into `list`, runs `drop_local` for each (a local
  // statement), commits and removes the marked removals.
  void take_removals(RowSet& list, const std::function<void()>& drop_local);

  // Marks the additions and changes and lists the marked entries into `list`.
  void mark_changes(RowSet& list);

  // Applies each entry of `list` (when there are any) with `loop`, chunk by chunk (`before_chunk`
  // gets each chunk's keys first), commits, and removes the marked additions and changes: all of
  // them when every entry was applied, else those of the entries applied, by name.
  void take_changes(RowSet& list, const RowLoop& loop, const std::function<void()>& apply,
                    const std::function<void(const std::vector<std::string>&)>& before_chunk = nullptr);

 private:
  RunContext& ctx_;
  const MarkedChangeLog s_;
};

}  // namespace pos

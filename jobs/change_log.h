#pragma once
// The two ways jobs follow a per-terminal change log of the service.
//
// Read, remove, apply (products, members): the log has no mark, so each chunk of at most 250
// entries is handled as: its keys are remembered locally (committed), their entries are removed at
// head office by a removal that names them (" AND <key> IN (...)"), their rows are applied, and the
// keys whose rows were applied are forgotten. An entry logged meanwhile, even for a key being
// taken, stays for the next run or is covered by the fetch that follows its removal; keys a run
// remembered but did not apply (it ended, or their rows failed) are taken first by the next run.
// Mark, read, apply, remove (the promotion kinds): entries are first
// marked with TRAN_CODE = 'W', only marked entries are read and removed, so an entry logged
// meanwhile waits for the next run and one left marked by an interrupted run is taken again.
//
// In both, the statements are the job's own texts over the transport its job names. With a mark,
// what a removal confirms is committed locally before it is sent, and nothing is removed when the
// apply ended by an error or one of its rows failed or was refused: the entries are taken again.

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
  ServiceStatement remove;              // removes the entries of a state; the kit names the keys
  const char* key;                      // the list's key field
  const char* taken_as;                 // names the step's remembered keys locally
};

// Takes the keys remembered by an earlier run, then lists the entries and takes them, chunk by chunk.
void take_change_log(RunContext& ctx, const ChangeLogStep& step);

// For a job that fetches everything after listing the log: remembers every listed key and removes
// its entries, chunk by chunk. forget_taken ends the step once everything was written.
void take_before_fetch(RunContext& ctx, RowSet& list, const char* key, const char* taken_as,
                       const ServiceStatement& remove);
void forget_taken(RunContext& ctx, const char* taken_as);

// `remove` limited to `keys`: " AND <key> IN ('k1', ...)" before its closing ";", or at its end.
std::string naming_keys(const std::string& remove, const char* key, const std::vector<std::string>& keys);

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

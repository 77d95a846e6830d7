#pragma once
// The two ways jobs follow a per-terminal change log of the service.
//
// Read, remove, apply (products, members): the log has no mark, so each chunk of at most 250
// entries is handled as: its keys are remembered locally (committed), their entries are removed at
// head office by a removal that names them (" AND <key> IN (...)"), their rows are applied, and the
// keys whose rows were applied are forgotten. An entry logged meanwhile, even for a key being
// taken, stays for the next run or is covered by the fetch that follows its removal; keys a run
// remembered but did not apply (it ended, or their rows failed) are taken first by the next run.
// A key too long to be remembered fails its row, and its entry stays at head office.
// Mark, read, apply, remove (the promotion kinds): entries are first marked with TRAN_CODE = 'W',
// only marked entries are read and removed, so an entry logged meanwhile waits for the next run
// and one left marked by an interrupted run is taken again. Local rows go only for a marked
// deletion; a marked change replaces its rows only by a rewrite written whole.
//
// In both, the statements are the job's own texts over the transport its job names; a removal
// that names keys with small letters goes as a script (the statement transport would upper-case
// them). With a mark, what a removal confirms is committed locally before it is sent; when the
// apply ended by an error nothing is removed, and the entries of rows that failed or were refused
// stay marked while the others are removed by name.

#include <functional>
#include <string>
#include <vector>

#include "jobs/kit/row_loop.h"
#include "jobs/kit/run_context.h"
#include "jobs/kit/service_steps.h"

namespace pos {

// A change log's texts as a job sends them.
struct LoggedKeys {
  std::vector<std::string> list;  // the query that lists the entries
  const char* key;                // the list's key field
  const char* taken_as;           // names the step's remembered keys locally
  ServiceStatement remove;        // removes the entries of a state; the kit names the keys
};

struct ChangeLogStep {
  RowSet& list;                 // receives the entries
  LoggedKeys log;               // lists and removes them
  RowLoop loop;                 // how each entry's work is done
  std::function<void()> apply;  // the work of the list's current entry
  // Runs before a chunk's entries are applied, with its keys (e.g. to fetch their rows at once).
  std::function<void(const std::vector<std::string>& keys)> before_chunk = nullptr;
};

// Takes the keys remembered by an earlier run, then lists the entries and takes them, chunk by chunk.
void take_change_log(RunContext& ctx, const ChangeLogStep& step);

// For a job that fetches everything after listing the log: remembers every listed key and removes
// its entries, chunk by chunk. forget_taken ends the step once everything was written.
void take_before_fetch(RunContext& ctx, RowSet& list, const char* key, const char* taken_as,
                       const ServiceStatement& remove);
void forget_taken(RunContext& ctx, const char* taken_as);

// Lists, with `log.list`, entries that no step applies and removes exactly them: `log.remove`
// naming the listed keys, chunk by chunk. An empty list sends nothing.
void remove_listed(RunContext& ctx, RowSet& list, const LoggedKeys& log);

// `remove` limited to `keys`: " AND <key> IN ('k1', ...)" before its closing ";", or at its end.
std::string naming_keys(const std::string& remove, const char* key, const std::vector<std::string>& keys);

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

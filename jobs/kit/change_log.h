#pragma once
// Read, remove, apply: how products and members follow a per-terminal change log that has no mark.
// Each chunk of at most 250 entries is handled as: its keys are remembered locally (committed),
// their entries are removed at head office by a removal that names them (" AND <key> IN (...)"),
// their rows are applied, and the keys whose rows were applied are forgotten. An entry logged
// meanwhile, even for a key being taken, stays for the next run or is covered by the fetch that
// follows its removal; keys a run remembered but did not apply (it ended, or their rows failed) are
// taken first by the next run. A key too long to be remembered fails its row, and its entry stays
// at head office. The statements are the job's own texts over the transport its job names
// (log_keys.h says when a removal goes as a script instead). The promotions' log, which has a
// mark, is marked_change_log.h.

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

// Takes the log's deleted entries: each deletes the local row of `local_table` whose key column
// (named as the log's key) holds the entry's key; a failed deletion ends the run.
void take_deletions(RunContext& ctx, const LoggedKeys& log, const char* local_table);

// For a job that fetches everything after listing the log: remembers every listed key and removes
// its entries, chunk by chunk. forget_taken ends the step once everything was written.
void take_before_fetch(RunContext& ctx, RowSet& list, const char* key, const char* taken_as,
                       const ServiceStatement& remove);
void forget_taken(RunContext& ctx, const char* taken_as);

// Lists, with `log.list`, entries that no step applies and removes exactly them: `log.remove`
// naming the listed keys, chunk by chunk. An empty list sends nothing.
void remove_listed(RunContext& ctx, RowSet& list, const LoggedKeys& log);

}  // namespace pos

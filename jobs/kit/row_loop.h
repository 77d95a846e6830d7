#pragma once
// The loop over an answer's rows that brings them into the local database: the progress bar,
// the batch, the counters, and what a failed row does.

#include <cstddef>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "jobs/kit/run_context.h"

namespace pos {

// What an error in a row's work does. A row that the local database refuses when it is applied
// is reported in every case and the loop goes on.
enum class OnRowError {
  LogDataError,   // the row's key directly followed by "Data Error...!", then the message; go on
  ReportAndGoOn,  // one report line with the table, the key and the message; go on
  EndRun,         // the error ends the run; the rows done before it stay
};

// A row that cannot be taken, thrown by a row's work: counted as failed and reported as its
// loop reports failures, and the loop goes on whatever its policy.
class RowFailed : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct RowLoop {
  const char* key;    // the answer field that names a row in the log
  const char* table;  // the local table written, named in report lines
  OnRowError on_error;
  bool progress = true;      // drive the progress bar: maximum = row count, position = row number
  std::size_t max_rows = 0;  // stop after this many rows, leaving the answer at the next; 0: all
};

// Rows a chunk holds: keys named in one removal, or fetched in one request.
inline constexpr std::size_t kChunkRows = 250;

// Sets the progress bar for a loop over `answer`: maximum = its row count, minimum = 0.
void start_progress(RunContext& ctx, const RowSet& answer);

// Walks `answer` from its current row to the end and runs `body` for each row. The rows' work is
// committed in batches. Whatever the policy, a lost service (its message already shown) and a lost
// local connection end the loop at once, keeping what was written; nothing is acknowledged after.
void for_each_row(RunContext& ctx, RowSet& answer, const RowLoop& loop, const std::function<void()>& body);

// for_each_row in chunks of kChunkRows rows; before each chunk, `before_chunk` gets the chunk's
// values of the field `key`, each once (e.g. to fetch what the rows need at once).
void for_each_row_in_chunks(RunContext& ctx, RowSet& answer, const RowLoop& loop, const char* key,
                            const std::function<void(const std::vector<std::string>&)>& before_chunk,
                            const std::function<void()>& body);

}  // namespace pos

#pragma once
// The local statements jobs run besides their cursors: through the local statement object as the job's lines, or
// prepared once with keys that compare whole; and the schema changes some jobs make.

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "jobs/kit/run_context.h"

namespace pos {

// Runs `lines` as one local statement through the local statement object (close, clear, add, execute).
void run_local(RunContext& ctx, std::initializer_list<std::string> lines);

// Runs `sql`, with '?' for `keys` that columns are compared with (compared whole), as one local
// statement; prepared once for all its uses.
void run_local(RunContext& ctx, const std::string& sql, std::vector<Value> keys);

// A key to compare local rows with: a blank one (empty or blanks only) matches nothing, so that
// rows with no such key are never taken for one another.
Value matching_key(const std::string& text);

// The current row's `field` as text with its apostrophes doubled, to stand between apostrophes.
std::string escaped_text(const RowSet& answer, const char* field);

// Makes a schema change (`change`: tables, columns, indexes) after committing the job's batch, as
// a schema change takes effect only when committed.
void change_schema(RunContext& ctx, const std::function<void()>& change);

}  // namespace pos

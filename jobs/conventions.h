#pragma once
// The steps every job repeats: log lines, service queries through the script buffer, posted
// statements, local statements, the row loop's progress bar and guarded sections.

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "jobs/run_context.h"

namespace pos {

// The buffer's text as a query: each line followed by a carriage return and line feed.
std::string script_text(const std::vector<std::string>& lines);

// Clears the script buffer, adds `lines` and loads the answer into `answer` (OpenRemoteQuery).
void service_query(RunContext& ctx, RowSet& answer, std::vector<std::string> lines);

// Clears the script buffer, adds `statement` as its one line and posts it (PostSqlScript).
bool post_statement(RunContext& ctx, const std::string& statement);

// Runs `lines` as one local statement through SQLQuery3 (close, clear, add, execute).
void run_local(RunContext& ctx, std::initializer_list<std::string> lines);

// Before a row loop: progress maximum := the answer's row count, minimum := 0.
void progress_start(RunContext& ctx, const RowSet& answer);
// At the start of each pass: position := the current row's number.
void progress_step(RunContext& ctx, const RowSet& answer);

// Runs `body`; when it completes, posts `acknowledgement` (a statement of the service's change
// log). When `body` throws, nothing is posted and the error goes on: the entries stay in the change
// log and are taken again by the next run.
void guarded_section(RunContext& ctx, const std::string& acknowledgement, const std::function<void()>& body);

}  // namespace pos

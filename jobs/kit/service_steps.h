#pragma once
// The service steps every job repeats: queries through the script buffer, and statements sent to
// the service by the transport their job names.

#include <string>
#include <vector>

#include "jobs/kit/run_context.h"

namespace pos {

// The buffer's text as a query: each line followed by a carriage return and line feed.
std::string script_text(const std::vector<std::string>& lines);

// Clears the script buffer, adds `lines` and loads the answer into `answer` (OpenRemoteQuery),
// which then stands on its first row. A batch old enough is committed before the wait.
void service_query(RunContext& ctx, RowSet& answer, std::vector<std::string> lines);

// How a job sends a statement that changes the service's tables.
enum class Transport {
  Script,     // as a script with PostSqlScript; a failure shows its message and goes on
  Statement,  // the buffer's text with ExecRemoteStatement; a failure ends the run
};

struct ServiceStatement {
  Transport transport;
  std::string text;
};

// Clears the script buffer, adds the statement as its one line and sends it; the job goes on
// whatever the answer, which is only counted when it lacks the confirmation. The job's batch is
// committed first: what the statement confirms is stored.
void send(RunContext& ctx, const ServiceStatement& statement);

}  // namespace pos

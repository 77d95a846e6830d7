#include "jobs/conventions.h"

#include "service/data_mod_http.h"

namespace pos {

std::string script_text(const std::vector<std::string>& lines) {
  std::string out;
  for (const auto& l : lines) out += l + "\r\n";
  return out;
}

void service_query(RunContext& ctx, RowSet& answer, std::vector<std::string> lines) {
  ctx.ScriptBuffer = std::move(lines);
  ctx.DataModHttp.OpenRemoteQuery(answer, script_text(ctx.ScriptBuffer));
}

bool post_statement(RunContext& ctx, const std::string& statement) {
  ctx.ScriptBuffer.clear();
  ctx.ScriptBuffer.push_back(statement);
  return ctx.DataModHttp.PostSqlScript(ctx.ScriptBuffer);
}

void run_local(RunContext& ctx, std::initializer_list<std::string> lines) {
  ctx.SQLQuery3.close();
  ctx.SQLQuery3.clear();
  for (const auto& l : lines) ctx.SQLQuery3.add(l);
  ctx.SQLQuery3.execute();
}

void progress_start(RunContext& ctx, const RowSet& answer) {
  ctx.ProgressBar1.set_max(static_cast<int>(answer.row_count()));
  ctx.ProgressBar1.set_min(0);
}

void progress_step(RunContext& ctx, const RowSet& answer) {
  ctx.ProgressBar1.set_position(static_cast<int>(answer.recno()));
}

void guarded_section(RunContext& ctx, const std::string& acknowledgement, const std::function<void()>& body) {
  body();
  post_statement(ctx, acknowledgement);
}

}  // namespace pos

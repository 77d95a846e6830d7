#include "jobs/kit/service_steps.h"

#include "jobs/kit/commit_batcher.h"
#include "service/data_mod_http.h"
#include "service/run_stop.h"

namespace pos {

std::string script_text(const std::vector<std::string>& lines) {
  std::string out;
  for (const auto& l : lines) out += l + "\r\n";
  return out;
}

void service_query(RunContext& ctx, RowSet& answer, std::vector<std::string> lines) {
  stop_point();
  if (ctx.batch) ctx.batch->commit_if_due();
  ctx.script = std::move(lines);
  ctx.service.OpenRemoteQuery(answer, script_text(ctx.script));
}

void send(RunContext& ctx, const ServiceStatement& statement) {
  if (ctx.batch) ctx.batch->commit();
  stop_point();
  ctx.script.clear();
  ctx.script.push_back(statement.text);
  const bool confirmed = statement.transport == Transport::Script
                             ? ctx.service.PostSqlScript(ctx.script)
                             : ctx.service.ExecRemoteStatement(script_text(ctx.script));
  if (confirmed) return;
  if (ctx.counters) ++ctx.counters->unconfirmed;
  if (!ctx.unconfirmed) return;
  const TDataModHttp& http = ctx.service;
  std::string file;
  if (statement.transport == Transport::Script) file = http.last_post_failed() ? "messageerr.txt" : "message.txt";
  // The note keeps the last one whose answer a file keeps, for the log to point to; else the last.
  if (file.empty() && !ctx.unconfirmed->file.empty()) return;
  *ctx.unconfirmed = {http.LastServiceMessage(), file};
}

}  // namespace pos

#include "jobs/kit/local_statements.h"

#include "jobs/kit/commit_batcher.h"
#include "text/number_format.h"
#include "text/sql_text.h"

namespace pos {

void run_local(RunContext& ctx, std::initializer_list<std::string> lines) {
  ctx.statement.close();
  ctx.statement.clear();
  for (const auto& l : lines) ctx.statement.add(l);
  ctx.statement.execute();
}

void run_local(RunContext& ctx, const std::string& sql, std::vector<Value> keys) {
  ctx.local.execute(sql, ctx.local.whole_keys(sql, std::move(keys)));
}

Value matching_key(const std::string& text) { return trim_blanks(text).empty() ? Value() : Value(text); }

std::string escaped_text(const RowSet& answer, const char* field) { return sql_escape(answer.text(field)); }

void change_schema(RunContext& ctx, const std::function<void()>& change) {
  ctx.batcher().commit();
  change();
}

}  // namespace pos

#include "jobs/kit/local_statements.h"

#include "jobs/kit/commit_batcher.h"
#include "text/number_format.h"
#include "text/sql_text.h"

namespace pos {

void run_local(RunContext& ctx, std::initializer_list<std::string> lines) {
  ctx.SQLQuery3.close();
  ctx.SQLQuery3.clear();
  for (const auto& l : lines) ctx.SQLQuery3.add(l);
  ctx.SQLQuery3.execute();
}

void run_local(RunContext& ctx, const std::string& sql, std::vector<Value> keys) {
  ctx.SQLCon_Loc.execute(sql, ctx.SQLCon_Loc.whole_keys(sql, std::move(keys)));
}

Value matching_key(const std::string& text) { return trim_blanks(text).empty() ? Value() : Value(text); }

std::string escaped_text(const RowSet& answer, const char* field) { return sql_escape(answer.text(field)); }

void change_schema(RunContext& ctx, const std::function<void()>& change) {
  ctx.batcher().commit();
  change();
}

}  // namespace pos

#include "jobs/local_writes.h"

#include "jobs/conventions.h"
#include "jobs/report_lines.h"
#include "localdb/local_work.h"

namespace pos {

void apply_row(RunContext& ctx, TableCursor& cursor) {
  cursor.post();
  auto refused = cursor.apply();
  if (!refused.empty()) throw RowRefused(cursor.table_name(), refused.front().message);
  ++ctx.count().written;
}

void open_cursor(TableCursor& cursor, const std::string& command_text, std::vector<Value> keys) {
  cursor.close();
  cursor.set_command_text(command_text);
  cursor.set_params(std::move(keys));
  cursor.open();
}

void upsert(RunContext& ctx, TableCursor& cursor, const std::string& lookup, std::span<const ColumnMap> mapping,
            const RowSet& answer, std::vector<Value> keys) {
  open_cursor(cursor, lookup, std::move(keys));
  if (cursor.row_count() == 0) {
    cursor.append();
  } else {
    cursor.first();
    cursor.edit();
  }
  fill_row(cursor, answer, mapping, scope_of(ctx));
  apply_row(ctx, cursor);
}

void append_row(RunContext& ctx, TableCursor& cursor, std::span<const ColumnMap> mapping, const RowSet& answer) {
  cursor.append();
  fill_row(cursor, answer, mapping, scope_of(ctx));
  apply_row(ctx, cursor);
}

void insert_each_row(RunContext& ctx, RowSet& answer, const RowLoop& loop, std::initializer_list<std::string> lines,
                     std::span<const ColumnMap> parameters) {
  LocalQuery& insert = ctx.SQLQuery3;
  insert.close();
  insert.clear();
  for (const auto& l : lines) insert.add(l);
  for_each_row(ctx, answer, loop, [&] {
    bind_row(insert, answer, parameters, scope_of(ctx));
    insert.execute();
    ++ctx.count().written;
  });
}

void refill(RunContext& ctx, const std::string& table, std::initializer_list<std::string> empty,
            const std::function<void()>& fill) {
  refill(
      ctx, table, [&] { run_local(ctx, empty); }, fill);
}

void refill(RunContext& ctx, const std::string& table, const std::function<void()>& empty,
            const std::function<void()>& fill) {
  JobCounters& n = ctx.count();
  const JobCounters before = n;
  LocalWork unit(ctx.SQLCon_Loc);
  try {
    empty();
    fill();
  } catch (...) {
    n.written = before.written;  // undone with the rest
    ctx.log.append(kept_rows_line(table));
    throw;
  }
  unit.commit();
}

bool replace_whole(RunContext& ctx, const std::string& table, const std::string& id, const std::function<void()>& drop,
                   const std::function<void()>& fill) {
  JobCounters& n = ctx.count();
  const JobCounters before = n;
  LocalWork unit(ctx.SQLCon_Loc);
  try {
    drop();
    fill();
  } catch (...) {
    n.written = before.written;
    throw;
  }
  if (n.refused > before.refused) {
    n.written = before.written;
    ctx.log.append(rewrite_kept_line(table, id, n.refused - before.refused));
    return false;
  }
  unit.commit();
  return true;
}

}  // namespace pos

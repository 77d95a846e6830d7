#include "jobs/kit/local_writes.h"

#include "jobs/kit/local_statements.h"
#include "jobs/kit/report_lines.h"
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

void upsert(RunContext& ctx, const std::string& lookup, std::span<const ColumnMap> mapping, const RowSet& answer,
            std::vector<Value> keys) {
  upsert(ctx, ctx.row_cursor, lookup, mapping, answer, std::move(keys));
}

void append_row(RunContext& ctx, std::span<const ColumnMap> mapping, const RowSet& answer) {
  append_row(ctx, ctx.row_cursor, mapping, answer);
}

void append_row(RunContext& ctx, TableCursor& cursor, std::span<const ColumnMap> mapping, const RowSet& answer) {
  cursor.append();
  fill_row(cursor, answer, mapping, scope_of(ctx));
  apply_row(ctx, cursor);
}

void insert_each_row(RunContext& ctx, RowSet& answer, const RowLoop& loop, std::initializer_list<std::string> lines,
                     std::span<const ColumnMap> parameters) {
  LocalQuery& insert = ctx.statement;
  insert.close();
  insert.clear();
  for (const auto& l : lines) insert.add(l);
  for_each_row(ctx, answer, loop, [&] {
    bind_row(insert, answer, parameters, scope_of(ctx));
    insert.execute();
    ++ctx.count().written;
  });
}

namespace {

// `drop` and then `fill` as one unit of local work. An error undoes it, with the rows it counted
// as written, and runs `undone`; so does a refused row when the unit must be `whole`.
bool write_unit(RunContext& ctx, const std::function<void()>& drop, const std::function<void()>& fill, bool whole,
                const std::function<void(std::size_t refused)>& undone) {
  JobCounters& n = ctx.count();
  const JobCounters before = n;
  LocalWork unit(ctx.local);
  try {
    drop();
    fill();
    if (whole && n.refused > before.refused) {
      n.written = before.written;
      undone(n.refused - before.refused);
      return false;
    }
    unit.commit();
  } catch (...) {
    n.written = before.written;
    undone(0);
    throw;
  }
  return true;
}

}  // namespace

void refill(RunContext& ctx, const std::string& table, std::initializer_list<std::string> empty,
            const std::function<void()>& fill) {
  refill(
      ctx, table, [&] { run_local(ctx, empty); }, fill);
}

void refill(RunContext& ctx, const std::string& table, const std::function<void()>& empty,
            const std::function<void()>& fill) {
  write_unit(ctx, empty, fill, false, [&](std::size_t) { ctx.log.append(kept_rows_line(table)); });
}

bool replace_whole(RunContext& ctx, const std::string& table, const std::string& id, const std::function<void()>& drop,
                   const std::function<void()>& fill) {
  return write_unit(ctx, drop, fill, true, [&](std::size_t refused) {
    if (refused > 0) ctx.log.append(rewrite_kept_line(table, id, refused));
  });
}

}  // namespace pos

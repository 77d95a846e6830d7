#include "jobs/change_log.h"

#include <algorithm>
#include <set>
#include <utility>

#include "jobs/commit_batcher.h"
#include "localdb/catalogue.h"
#include "text/sql_text.h"

namespace pos {

namespace {

// Applies every row of `list` from its first, then sends `remove` unless a row failed.
void apply_then_remove(RunContext& ctx, RowSet& list, const RowLoop& loop, const std::function<void()>& apply,
                       const ServiceStatement& remove) {
  const JobCounters before = ctx.count();
  if (list.row_count() > 0) for_each_row(ctx, list, loop, apply);
  const JobCounters& after = ctx.count();
  ctx.batcher().commit();
  if (after.failed == before.failed && after.refused == before.refused) send(ctx, remove);
}

constexpr std::size_t kKeysPerRemoval = 250;

// Keys whose entries were removed at head office before their rows were applied.
void ensure_taken_table(RunContext& ctx) {
  if (!TableMissing(ctx.SQLQuery3, "POS_TAKEN_KEYS")) return;
  ctx.batcher().commit();
  release_next_relation_slot(ctx.SQLCon_Loc);
  ctx.SQLCon_Loc.execute("CREATE TABLE POS_TAKEN_KEYS (TAKEN_AS VARCHAR(40) NOT NULL, KEY_VALUE VARCHAR(80) NOT NULL)");
  ctx.batcher().commit();
}

// Runs `statement` once per key in one transaction of its own, after the batch's commit.
void for_each_key(RunContext& ctx, const char* statement, const char* taken_as, const std::vector<std::string>& keys) {
  ctx.batcher().commit();
  if (keys.empty()) return;
  LocalConnection& con = ctx.SQLCon_Loc;
  con.begin();
  try {
    for (const auto& k : keys) {
      const Value args[] = {Value(std::string(taken_as)), Value(k)};
      con.execute(statement, args);
    }
    con.commit();
  } catch (...) {
    if (con.in_transaction()) con.rollback();
    throw;
  }
}

void remember(RunContext& ctx, const char* taken_as, const std::vector<std::string>& keys) {
  for_each_key(ctx, "INSERT INTO POS_TAKEN_KEYS (TAKEN_AS, KEY_VALUE) VALUES (?, ?)", taken_as, keys);
}

void forget(RunContext& ctx, const char* taken_as, const std::vector<std::string>& keys) {
  for_each_key(ctx, "DELETE FROM POS_TAKEN_KEYS WHERE TAKEN_AS = ? AND KEY_VALUE = ?", taken_as, keys);
}

// The keys of the list's next chunk (from its current row), each once, the list not moved.
std::vector<std::string> next_chunk_keys(const RowSet& list, const char* key) {
  const std::size_t col = list.field_index(key);
  std::vector<std::string> keys;
  for (std::size_t r = list.recno() - 1; r < list.row_count() && r < list.recno() - 1 + kKeysPerRemoval; ++r)
    keys.push_back(list.value_at(r, col).as_text());
  std::sort(keys.begin(), keys.end());
  keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
  return keys;
}

void remember_and_remove(RunContext& ctx, const std::vector<std::string>& keys, const char* key, const char* taken_as,
                         const ServiceStatement& remove) {
  if (keys.empty()) return;
  remember(ctx, taken_as, keys);
  send(ctx, {remove.transport, naming_keys(remove.text, key, keys)});
}

void take_in_chunks(RunContext& ctx, const ChangeLogStep& step) {
  RowLoop chunk = step.loop;
  chunk.max_rows = kKeysPerRemoval;
  while (!step.list.eof()) {
    std::vector<std::string> keys = next_chunk_keys(step.list, step.key);
    remember_and_remove(ctx, keys, step.key, step.taken_as, step.remove);
    std::set<std::string> failed;
    for_each_row(ctx, step.list, chunk, [&] {
      const std::string key = step.list.text(step.key);
      const JobCounters before = ctx.count();
      try {
        step.apply();
      } catch (...) {
        failed.insert(key);
        throw;
      }
      if (ctx.count().failed != before.failed || ctx.count().refused != before.refused) failed.insert(key);
    });
    ctx.batcher().commit();
    std::erase_if(keys, [&](const std::string& k) { return failed.count(k) > 0; });
    forget(ctx, step.taken_as, keys);
  }
}

}  // namespace

std::string naming_keys(const std::string& remove, const char* key, const std::vector<std::string>& keys) {
  std::string in = std::string("AND ") + key + " IN (";
  for (std::size_t i = 0; i < keys.size(); ++i) in += (i ? ", " : "") + sql_quoted(keys[i]);
  in += ") ";
  std::string out = remove;
  const auto semicolon = out.find_last_not_of(" \r\n");
  if (semicolon != std::string::npos && out[semicolon] == ';') {
    out.insert(semicolon, in);
  } else {
    if (!out.ends_with(' ')) out += ' ';
    out += in;
  }
  return out;
}

void take_change_log(RunContext& ctx, const ChangeLogStep& step) {
  ensure_taken_table(ctx);
  const Value args[] = {Value(std::string(step.taken_as))};
  const auto remembered =
      ctx.SQLCon_Loc.query("SELECT DISTINCT KEY_VALUE FROM POS_TAKEN_KEYS WHERE TAKEN_AS = ?", args);
  if (!remembered.empty()) {
    step.list.reset({PacketField{step.key}});
    for (const auto& row : remembered) {
      step.list.begin_row();
      step.list.set_raw(0, row[0].as_text());
      step.list.end_row();
    }
    step.list.first();
    take_in_chunks(ctx, step);
  }
  service_query(ctx, step.list, step.list_query);
  take_in_chunks(ctx, step);
}

void take_before_fetch(RunContext& ctx, RowSet& list, const char* key, const char* taken_as,
                       const ServiceStatement& remove) {
  ensure_taken_table(ctx);
  ctx.batcher().commit();
  for (list.first(); !list.eof();) {
    const std::vector<std::string> keys = next_chunk_keys(list, key);
    remember_and_remove(ctx, keys, key, taken_as, remove);
    for (std::size_t i = 0; i < kKeysPerRemoval && !list.eof(); ++i) list.next();
  }
}

void forget_taken(RunContext& ctx, const char* taken_as) {
  const Value args[] = {Value(std::string(taken_as))};
  ctx.SQLCon_Loc.execute("DELETE FROM POS_TAKEN_KEYS WHERE TAKEN_AS = ?", args);
  ctx.batcher().commit();
}

void MarkedChangeLogRun::take_removals(RowSet& list, const std::function<void()>& drop_local) {
  send(ctx_, {s_.transport, s_.mark_deleted});
  service_query(ctx_, list, {s_.list_deleted});
  const RowLoop loop{s_.key, "", OnRowError::EndRun, false};
  apply_then_remove(ctx_, list, loop, drop_local, {s_.transport, s_.remove_deleted});
}

void MarkedChangeLogRun::mark_changes(RowSet& list) {
  send(ctx_, {s_.transport, s_.mark_changed});
  service_query(ctx_, list, {s_.list_changed});
}

void MarkedChangeLogRun::take_changes(RowSet& list, const RowLoop& loop, const std::function<void()>& apply) {
  apply_then_remove(ctx_, list, loop, apply, {s_.transport, s_.remove_changed});
}

}  // namespace pos

#include "jobs/kit/change_log.h"

#include <algorithm>
#include <set>
#include <utility>

#include "jobs/kit/commit_batcher.h"
#include "jobs/kit/local_statements.h"
#include "jobs/kit/report_lines.h"
#include "localdb/catalogue.h"
#include "localdb/table_upkeep.h"
#include "text/sql_text.h"

namespace pos {

namespace {

constexpr std::size_t kKeysPerRemoval = kChunkRows;
constexpr std::size_t kMostKeyBytes = 80;  // POS_TAKEN_KEYS.KEY_VALUE

bool fits(const std::string& key) { return key.size() <= kMostKeyBytes; }

// Keys whose entries were removed at head office before their rows were applied.
void ensure_taken_table(RunContext& ctx) {
  if (!TableMissing(ctx.SQLQuery3, "POS_TAKEN_KEYS")) return;
  change_schema(ctx, [&] {
    release_next_relation_slot(ctx.SQLCon_Loc);
    ctx.SQLCon_Loc.execute(
        "CREATE TABLE POS_TAKEN_KEYS (TAKEN_AS VARCHAR(40) NOT NULL, KEY_VALUE VARCHAR(80) NOT NULL)");
  });
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

// The keys of the list's next chunk (from its current row) that can be remembered, each once,
// the list not moved. A longer key is left to its row, which fails.
std::vector<std::string> next_chunk_keys(const RowSet& list, const char* key) {
  const std::size_t col = list.field_index(key);
  std::vector<std::string> keys;
  for (std::size_t r = list.recno() - 1; r < list.row_count() && r < list.recno() - 1 + kKeysPerRemoval; ++r) {
    std::string k = list.value_at(r, col).as_text();
    if (fits(k)) keys.push_back(std::move(k));
  }
  std::sort(keys.begin(), keys.end());
  keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
  return keys;
}

// Sends `remove` limited to `keys`. The statement transport upper-cases the whole text, so that a
// key with small letters would name no entry: such a removal goes as a script, as it is.
void remove_named(RunContext& ctx, const ServiceStatement& remove, const char* key,
                  const std::vector<std::string>& keys) {
  if (keys.empty()) return;
  ServiceStatement named{remove.transport, naming_keys(remove.text, key, keys)};
  const bool upper_case_changes_a_key =
      std::any_of(keys.begin(), keys.end(), [](const std::string& k) { return upper_service_sql(k) != k; });
  if (named.transport == Transport::Statement && upper_case_changes_a_key) named.transport = Transport::Script;
  send(ctx, named);
}

// `remove` limited to `keys`, a removal per chunk.
void remove_named_in_chunks(RunContext& ctx, const ServiceStatement& remove, const char* key,
                            const std::vector<std::string>& keys) {
  for (std::size_t i = 0; i < keys.size(); i += kKeysPerRemoval) {
    const auto end = keys.begin() + static_cast<std::ptrdiff_t>(std::min(keys.size(), i + kKeysPerRemoval));
    remove_named(ctx, remove, key, {keys.begin() + static_cast<std::ptrdiff_t>(i), end});
  }
}

void remember_and_remove(RunContext& ctx, const std::vector<std::string>& keys, const char* key, const char* taken_as,
                         const ServiceStatement& remove) {
  if (keys.empty()) return;
  remember(ctx, taken_as, keys);
  remove_named(ctx, remove, key, keys);
}

// Runs `apply` for each row of `list` from its current one with `loop`; returns the keys of the
// rows that failed or were refused. An error that ends the loop passes on.
std::set<std::string> apply_each(RunContext& ctx, RowSet& list, const RowLoop& loop, const char* key,
                                 const std::function<void()>& apply) {
  std::set<std::string> failed;
  for_each_row(ctx, list, loop, [&] {
    const std::string k = list.text(key);
    const JobCounters before = ctx.count();
    try {
      apply();
    } catch (...) {
      failed.insert(k);
      throw;
    }
    if (ctx.count().faults_since(before)) failed.insert(k);
  });
  return failed;
}

void take_in_chunks(RunContext& ctx, const ChangeLogStep& step) {
  RowLoop chunk = step.loop;
  chunk.max_rows = kKeysPerRemoval;
  while (!step.list.eof()) {
    std::vector<std::string> keys = next_chunk_keys(step.list, step.key);
    remember_and_remove(ctx, keys, step.key, step.taken_as, step.remove);
    if (step.before_chunk) step.before_chunk(keys);
    const std::set<std::string> failed = apply_each(ctx, step.list, chunk, step.key, [&] {
      if (!fits(step.list.text(step.key))) throw RowFailed(key_too_long_message(kMostKeyBytes));
      step.apply();
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
    for (std::size_t i = 0; i < kKeysPerRemoval && !list.eof(); ++i, list.next()) {
      if (fits(list.text(key))) continue;
      ++ctx.count().failed;  // its entry stays at head office
      ctx.log.append(failed_row_line(taken_as, list.text(key), key_too_long_message(kMostKeyBytes)));
    }
  }
}

void forget_taken(RunContext& ctx, const char* taken_as) {
  const Value args[] = {Value(std::string(taken_as))};
  ctx.SQLCon_Loc.execute("DELETE FROM POS_TAKEN_KEYS WHERE TAKEN_AS = ?", args);
  ctx.batcher().commit();
}

void remove_listed(RunContext& ctx, RowSet& list, std::vector<std::string> list_query, const char* key,
                   const ServiceStatement& remove) {
  service_query(ctx, list, std::move(list_query));
  std::set<std::string> keys;
  for (list.first(); !list.eof(); list.next()) keys.insert(list.text(key));
  remove_named_in_chunks(ctx, remove, key, {keys.begin(), keys.end()});
}

MarkedChangeLog single_statement_log(const std::string& log, const std::string& machine) {
  const std::string m = "MCH_NO = " + sql_quoted(machine);
  return {.transport = Transport::Statement,
          .key = "MASTERBILLID",
          .mark_deleted = "UPDATE " + log + " SET TRAN_CODE = 'W' WHERE " + m + " AND STATE = 'DELETE' ",
          .list_deleted = "SELECT MASTERBILLID FROM " + log + " WHERE TRAN_CODE = 'W' AND " + m,
          .remove_deleted = "DELETE FROM " + log + " WHERE TRAN_CODE = 'W' AND " + m + " AND STATE = 'DELETE' ",
          .mark_changed = "UPDATE " + log + " SET TRAN_CODE = 'W' WHERE " + m + " AND STATE <> 'DELETE' ",
          .list_changed = "SELECT * FROM " + log + " WHERE TRAN_CODE = 'W' AND " + m,
          .remove_changed = "DELETE FROM " + log + " WHERE TRAN_CODE = 'W' AND " + m + " AND STATE <> 'DELETE' "};
}

void MarkedChangeLogRun::take_removals(RowSet& list, const std::function<void()>& drop_local) {
  send(ctx_, {s_.transport, s_.mark_deleted});
  // Only the marked entries of removed rows: a marked change whose rewrite was held back keeps
  // its rows until a rewrite is written whole.
  service_query(ctx_, list, {s_.list_deleted + " AND STATE = 'DELETE'"});
  const RowLoop loop{.key = s_.key, .table = "", .on_error = OnRowError::EndRun, .progress = false};
  if (list.row_count() > 0) for_each_row(ctx_, list, loop, drop_local);
  ctx_.batcher().commit();
  send(ctx_, {s_.transport, s_.remove_deleted});
}

void MarkedChangeLogRun::mark_changes(RowSet& list) {
  send(ctx_, {s_.transport, s_.mark_changed});
  service_query(ctx_, list, {s_.list_changed});
}

void MarkedChangeLogRun::take_changes(RowSet& list, const RowLoop& loop, const std::function<void()>& apply,
                                      const std::function<void(const std::vector<std::string>&)>& before_chunk) {
  std::set<std::string> listed, failed;
  if (list.row_count() > 0) {
    for (list.first(); !list.eof(); list.next()) listed.insert(list.text(s_.key));
    RowLoop chunk = loop;
    chunk.max_rows = kKeysPerRemoval;
    for (list.first(); !list.eof();) {
      if (before_chunk) before_chunk(next_chunk_keys(list, s_.key));
      failed.merge(apply_each(ctx_, list, chunk, s_.key, apply));
    }
  }
  ctx_.batcher().commit();
  const ServiceStatement remove{s_.transport, s_.remove_changed};
  if (failed.empty()) {
    send(ctx_, remove);
    return;
  }
  // Entries of the rows held back stay marked and are taken again; the others go, by name.
  std::vector<std::string> done;
  for (const auto& k : listed)
    if (!failed.count(k)) done.push_back(k);
  remove_named_in_chunks(ctx_, remove, s_.key, done);
}

}  // namespace pos

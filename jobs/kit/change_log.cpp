#include "jobs/kit/change_log.h"

#include <set>
#include <utility>

#include "jobs/kit/commit_batcher.h"
#include "jobs/kit/local_statements.h"
#include "jobs/kit/log_keys.h"
#include "jobs/kit/report_lines.h"
#include "localdb/terminal_schema.h"

namespace pos {

namespace {

// Keys whose entries were removed at head office before their rows were applied.
void ensure_taken_table(RunContext& ctx) {
  change_schema(ctx, [&] { keep_table(ctx.statement, schema_table("POS_TAKEN_KEYS")); });
}

// Runs `statement` once per key in one transaction of its own, after the batch's commit.
void for_each_key(RunContext& ctx, const char* statement, const char* taken_as, const std::vector<std::string>& keys) {
  ctx.batcher().commit();
  if (keys.empty()) return;
  LocalConnection& con = ctx.local;
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

// A key remembered already (taken again after a failed row) is kept once.
void remember(RunContext& ctx, const char* taken_as, const std::vector<std::string>& keys) {
  for_each_key(
      ctx, "UPDATE OR INSERT INTO POS_TAKEN_KEYS (TAKEN_AS, KEY_VALUE) VALUES (?, ?) MATCHING (TAKEN_AS, KEY_VALUE)",
      taken_as, keys);
}

void forget(RunContext& ctx, const char* taken_as, const std::vector<std::string>& keys) {
  for_each_key(ctx, "DELETE FROM POS_TAKEN_KEYS WHERE TAKEN_AS = ? AND KEY_VALUE = ?", taken_as, keys);
}

void remember_and_remove(RunContext& ctx, const std::vector<std::string>& keys, const char* key, const char* taken_as,
                         const ServiceStatement& remove) {
  if (keys.empty()) return;
  remember(ctx, taken_as, keys);
  remove_named(ctx, remove, key, keys);
}

void take_in_chunks(RunContext& ctx, const ChangeLogStep& step) {
  RowLoop chunk = step.loop;
  chunk.max_rows = kKeysPerRemoval;
  while (!step.list.eof()) {
    std::vector<std::string> keys = next_chunk_keys(step.list, step.log.key);
    remember_and_remove(ctx, keys, step.log.key, step.log.taken_as, step.log.remove);
    if (step.before_chunk) step.before_chunk(keys);
    const std::set<std::string> failed = apply_each(ctx, step.list, chunk, step.log.key, [&] {
      if (!fits(step.list.text(step.log.key))) throw RowFailed(key_too_long_message(kMostKeyBytes));
      step.apply();
    });
    ctx.batcher().commit();
    std::erase_if(keys, [&](const std::string& k) { return failed.count(k) > 0; });
    forget(ctx, step.log.taken_as, keys);
  }
}

}  // namespace

void take_change_log(RunContext& ctx, const ChangeLogStep& step) {
  ensure_taken_table(ctx);
  const Value args[] = {Value(std::string(step.log.taken_as))};
  const auto remembered = ctx.local.query("SELECT DISTINCT KEY_VALUE FROM POS_TAKEN_KEYS WHERE TAKEN_AS = ?", args);
  if (!remembered.empty()) {
    step.list.reset({PacketField{step.log.key}});
    for (const auto& row : remembered) {
      step.list.begin_row();
      step.list.set_raw(0, row[0].as_text());
      step.list.end_row();
    }
    step.list.first();
    take_in_chunks(ctx, step);
  }
  service_query(ctx, step.list, step.log.list);
  take_in_chunks(ctx, step);
}

void take_deletions(RunContext& ctx, const LoggedKeys& log, const char* local_table) {
  RowSet& deleted = ctx.answer;
  take_change_log(ctx,
                  {.list = deleted,
                   .log = log,
                   .loop = {.key = log.key, .table = local_table, .on_error = OnRowError::EndRun, .progress = false},
                   .apply = [&] {
                     run_local(ctx, {std::string("DELETE FROM ") + local_table + " WHERE " + log.key + " = '" +
                                     escaped_text(deleted, log.key) + "'"});
                   }});
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
  ctx.local.execute("DELETE FROM POS_TAKEN_KEYS WHERE TAKEN_AS = ?", args);
  ctx.batcher().commit();
}

void remove_listed(RunContext& ctx, RowSet& list, const LoggedKeys& log) {
  service_query(ctx, list, log.list);
  std::set<std::string> keys;
  for (list.first(); !list.eof(); list.next()) keys.insert(list.text(log.key));
  remove_named_in_chunks(ctx, log.remove, log.key, {keys.begin(), keys.end()});
}

}  // namespace pos

#include "jobs/kit/promotions.h"

#include "jobs/kit/local_statements.h"
#include "jobs/kit/local_writes.h"
#include "jobs/kit/service_steps.h"

namespace pos {

void rewrite_promotion(RunContext& ctx, const std::string& id, KeyedFetch& fetch, const std::string& drop,
                       const PromotionTable& promotions) {
  RowSet& lines = ctx.answer;
  fetch.fetch(lines, id);
  if (lines.row_count() == 0) return;
  replace_whole(
      ctx, promotions.table, id, [&] { run_local(ctx, drop, {Value(id)}); },
      [&] {
        for_each_row(ctx, lines, {.key = "TEMPPRODID", .table = promotions.table, .on_error = OnRowError::EndRun},
                     [&] { append_row(ctx, promotions.mapping, lines); });
      });
}

void take_marked_promotions(RunContext& ctx, const MarkedPromotions& kind) {
  MarkedChangeLogRun log(ctx, kind.texts.log);
  RowSet& entries = ctx.entries;
  const char* key = kind.texts.log.key;
  log.take_removals(entries, [&] { run_local(ctx, kind.drop_deleted, {Value(entries.text(key))}); });
  log.mark_changes(entries);
  if (entries.row_count() > 0 || kind.open_without_entries) {
    if (kind.before_rewrites) kind.before_rewrites();
    open_cursor(ctx.row_cursor, kind.open_table);
  }
  const RowLoop loop{.key = key, .table = kind.promotions.table, .on_error = OnRowError::EndRun, .progress = false};
  KeyedFetch lines(ctx, kind.texts.lines);
  log.take_changes(
      entries, loop, [&] { rewrite_promotion(ctx, entries.text(key), lines, kind.drop_rewritten, kind.promotions); },
      [&](const std::vector<std::string>& ids) { lines.prefetch(ids); });
}

void refresh_current_promotions(RunContext& ctx, const CurrentPromotions& kind) {
  RowSet& lines = ctx.answer;
  service_query(ctx, lines, kind.line_query);
  kind.keep_table();
  run_local(ctx, {kind.purge});
  if (lines.row_count() == 0) return;
  upsert_promotion_lines(ctx, lines, OnRowError::ReportAndGoOn, kind.lookup, kind.promotions);
}

void upsert_promotion_lines(RunContext& ctx, RowSet& lines, OnRowError on_error, const std::string& lookup,
                            const PromotionTable& promotions) {
  for_each_row(ctx, lines, {.key = "MASTERBILLID", .table = promotions.table, .on_error = on_error}, [&] {
    upsert(ctx, lookup, promotions.mapping, lines,
           {Value(lines.text("MASTERBILLID")), Value(lines.text("TEMPPRODID"))});
  });
}

}  // namespace pos

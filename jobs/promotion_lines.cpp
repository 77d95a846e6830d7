#include "jobs/promotion_lines.h"

#include "jobs/conventions.h"
#include "jobs/local_writes.h"

namespace pos {

void rewrite_promotion(RunContext& ctx, const std::string& id, std::vector<std::string> query, const std::string& drop,
                       const PromotionTable& promotions) {
  RowSet& lines = ctx.ClientDataSet1;
  service_query(ctx, lines, std::move(query));
  if (lines.row_count() == 0) return;
  replace_whole(
      ctx, promotions.table, id, [&] { run_local(ctx, drop, {Value(id)}); },
      [&] {
        for_each_row(ctx, lines, {"TEMPPRODID", promotions.table, OnRowError::EndRun},
                     [&] { append_row(ctx, ctx.CDS_Query1, promotions.mapping, lines); });
      });
}

void upsert_promotion_lines(RunContext& ctx, RowSet& lines, OnRowError on_error, const std::string& lookup,
                            const PromotionTable& promotions) {
  for_each_row(ctx, lines, {"MASTERBILLID", promotions.table, on_error}, [&] {
    upsert(ctx, ctx.CDS_Query1, lookup, promotions.mapping, lines,
           {Value(lines.text("MASTERBILLID")), Value(lines.text("TEMPPRODID"))});
  });
}

}  // namespace pos

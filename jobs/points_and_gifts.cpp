// Job 12: the points settings that start today or later, upserted by start date, then the gift
// promotions.

#include "jobs/changes_update_texts.h"
#include "jobs/gift_promotions.h"
#include "jobs/jobs.h"
#include "jobs/kit/local_writes.h"
#include "jobs/kit/row_loop.h"
#include "jobs/kit/service_steps.h"

namespace pos {

namespace {

const ColumnMap kPointsMapping[] = {
    {"INI_DATE", text("INI_DATE")}, {"SAL_AMT", value_copy("SAL_AMT")}, {"CHG_POINT", value_copy("CHG_POINT")},
    {"CHG_DATE", text("CHG_DATE")}, {"CHG_USER", text("CHG_USER")},
};

}  // namespace

QueryLines points_query(const std::string& today) {
  return {"SELECT * FROM POINT_SET ", " WHERE INI_DATE >= '" + today + "'", " order by ini_date "};
}

void sync_points_and_gifts(RunContext& ctx) {
  RowSet& points = ctx.answer;
  service_query(ctx, points, points_query(ctx.today));
  for_each_row(ctx, points, {.key = "INI_DATE", .table = "POINT_SET", .on_error = OnRowError::EndRun}, [&] {
    upsert(ctx, "select * from POINT_SET where INI_DATE = ?", kPointsMapping, points, {Value(points.text("INI_DATE"))});
  });
  sync_gift_promotions(ctx);
}

}  // namespace pos

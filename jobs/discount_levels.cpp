// Job 11: the member discount levels, upserted by class and level. Neither job 11 nor the points
// settings look at the update mode.

#include <cmath>
#include <stdexcept>

#include "jobs/changes_update_texts.h"
#include "jobs/jobs.h"
#include "jobs/kit/local_statements.h"
#include "jobs/kit/local_writes.h"
#include "jobs/kit/row_loop.h"
#include "jobs/kit/service_steps.h"
#include "text/number_format.h"

namespace pos {

namespace {

const ColumnMap kLevelMapping[] = {
    {"CLASS_ID", text("CLASS_ID")},   {"LEVEL_ID", value_copy("LEVEL_ID")},     {"LO_AMT", value_copy("LO_AMT")},
    {"HI_AMT", value_copy("HI_AMT")}, {"I_DISCOUNT", value_copy("I_DISCOUNT")},
};

// The level as it stands unquoted in the lookup. A null level leaves nothing there and the local
// database refuses the statement; a text that is not a number would change the statement, so it
// is refused here.
std::string level_number(const RowSet& levels) {
  const std::string level = levels.text("LEVEL_ID");
  if (!level.empty() && std::isnan(parse_number_or(level, NAN)))
    throw std::runtime_error("LEVEL_ID '" + level + "' is not a number");
  return level;
}

}  // namespace

QueryLines discount_levels_query() { return {"SELECT * FROM MEMDIS_LEVEL"}; }

void sync_discount_levels(RunContext& ctx) {
  RowSet& levels = ctx.answer;
  service_query(ctx, levels, discount_levels_query());
  if (levels.row_count() == 0) return;
  for_each_row(ctx, levels, {.key = "CLASS_ID", .table = "MEMDIS_LEVEL", .on_error = OnRowError::EndRun}, [&] {
    upsert(ctx,
           "select * from MEMDIS_LEVEL where CLASS_ID = '" + escaped_text(levels, "CLASS_ID") + "'" +
               " and LEVEL_ID = " + level_number(levels),
           kLevelMapping, levels);
  });
}

}  // namespace pos

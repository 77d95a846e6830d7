// Job 4: the paper-invoice word tracks and this terminal's e-invoice number ranges, upserted by
// their period (year and month joined as they come).

#include "jobs/changes_update_texts.h"
#include "jobs/jobs.h"
#include "jobs/kit/local_writes.h"
#include "jobs/kit/row_loop.h"
#include "jobs/kit/service_steps.h"
#include "text/sql_text.h"

namespace pos {

namespace {

const ColumnMap kTrackMapping[] = {{"YY", text("YY")}, {"MM", text("MM")}, {"INV_WORD", text("INV_WORD")}};

const ColumnMap kRangeMapping[] = {
    {"MCH_NO", text("MCH_NO")},     {"EYY", text("EYY")},           {"EMM", text("EMM")},
    {"EWORD", text("EWORD")},       {"BG_NUM", text("BG_NUM")},     {"ED_NUM", text("ED_NUM")},
    {"CHG_DATE", text("CHG_DATE")}, {"CHG_USER", text("CHG_USER")},
};

}  // namespace

std::vector<QueryLines> invoice_word_queries(const std::string& machine) {
  return {{"SELECT * FROM INV_WORD ORDER BY YY,MM"},
          {"SELECT * FROM EINVOICE_WORD where MCH_NO = '" + sql_escape(machine) + "'"}};
}

void sync_invoice_words(RunContext& ctx) {
  if (ctx.mode == UpdateMode::None) return;
  RowSet& answer = ctx.answer;
  const std::vector<QueryLines> queries = invoice_word_queries(ctx.machine);
  service_query(ctx, answer, queries[0]);
  for_each_row(ctx, answer, {.key = "YY", .table = "LOC_WORD", .on_error = OnRowError::EndRun}, [&] {
    upsert(ctx, "SELECT * FROM LOC_WORD WHERE YY||MM = ?", kTrackMapping, answer,
           {Value(answer.text("YY") + answer.text("MM"))});
  });

  service_query(ctx, answer, queries[1]);
  for_each_row(ctx, answer, {.key = "EYY", .table = "EINVOICE_WORD", .on_error = OnRowError::EndRun}, [&] {
    upsert(ctx, "SELECT * FROM EINVOICE_WORD WHERE EYY||EMM = ?", kRangeMapping, answer,
           {Value(answer.text("EYY") + answer.text("EMM"))});
  });
}

}  // namespace pos

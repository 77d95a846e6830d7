// Job 14: the stopped stored-value cards. When head office lists any, the local table is refilled
// with them as one unit of work; a failure keeps the old rows.

#include "jobs/changes_update_texts.h"
#include "jobs/jobs.h"
#include "jobs/kit/local_writes.h"
#include "jobs/kit/row_loop.h"
#include "jobs/kit/service_steps.h"

namespace pos {

namespace {

const ColumnMap kCardMapping[] = {
    {"MEMBER_ID", text("MEMBER_ID")},
    {"PIN_CODE", text("PIN_CODE")},
    {"CR_DATE", text("CR_DATE")},
    {"CHG_DATE", text("CHG_DATE")},
};

}  // namespace

QueryLines card_stops_query() { return {"SELECT * FROM SMARTCARD_DATA WHERE STOP_YN = 'Y' "}; }

void sync_card_stops(RunContext& ctx) {
  if (ctx.mode == UpdateMode::None) return;
  RowSet& cards = ctx.answer;
  service_query(ctx, cards, card_stops_query());
  if (cards.row_count() == 0) return;  // no stopped card: the old list stays
  refill(ctx, "SMARTCARD_DATA", {"delete from SMARTCARD_DATA"}, [&] {
    open_cursor(ctx.row_cursor, "SELECT * FROM  SMARTCARD_DATA ");  // the job's row cursor, appended to
    for_each_row(ctx, cards, {.key = "MEMBER_ID", .table = "SMARTCARD_DATA", .on_error = OnRowError::EndRun},
                 [&] { append_row(ctx, kCardMapping, cards); });
  });
}

}  // namespace pos

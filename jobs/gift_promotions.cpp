// The gift half of job 12: gift promotions, one GPROMOTION row per line, following the marked
// change log GSALE_TEMP in changes update (single statements), refreshed by date in full update.
// Both create the table when it is missing (a terminal that never ran a full update takes gift
// changes too), and the table always has the integer OVER_AMT that every row writes: it is in the
// creation statement and added to a table that lacks it.

#include "jobs/gift_promotions.h"

#include "jobs/changes_update_texts.h"
#include "jobs/kit/local_statements.h"
#include "jobs/kit/local_writes.h"
#include "jobs/kit/promotions.h"
#include "jobs/kit/service_steps.h"
#include "jobs/sale_lines.h"
#include "localdb/terminal_schema.h"
#include "text/big5.h"
#include "text/sql_text.h"

namespace pos {

namespace {

// N_QTY as it comes, 0 when it is missing.
const std::vector<ColumnMap> kGiftMapping =
    sale_line_mapping({"N_QTY", value_copy("N_QTY").constant_when_null("N_QTY", 0)});
const PromotionTable kGifts{"GPROMOTION", kGiftMapping};

std::vector<std::string> gift_query(const std::string& selecting_line) {
  return {"SELECT A.MASTERBILLID,A.BILL_DATE,A.INI_DATE,A.END_DATE,REASON,",
          "       B.PROD_ID,B.PROD_NAME,B.PROD_BARCODE,B.PD_ITEMID,B.PSALE_FLAG,",
          "       B.PSALE_PRICE,B.OLD_PRICE,B.VIP_PRICE,B.N_QTY,B.G_PROD_ID,B.G_PROD_NAME,",
          "       B.G_QTY,B.STORE_ID,B.TEMPPRODID,B.SEC_DIS,A.OVER_AMT FROM GSALE_MASTER A INNER JOIN GSALE_SUB B",
          "   ON  A.MASTERBILLID = B.MASTERBILLID",
          selecting_line,
          " AND A.BILL_TYPE <> '2' "};
}

// Creates GPROMOTION when it is missing, and brings one that an older program made to its
// definition (OVER_AMT, the index the full update's lookups need).
void keep_gift_table(RunContext& ctx) {
  change_schema(ctx, [&] { keep_table(ctx.statement, schema_table("GPROMOTION")); });
}

void take_logged_gifts(RunContext& ctx) {
  take_marked_promotions(ctx, {.texts = gift_log(ctx.machine),
                               .promotions = kGifts,
                               .drop_deleted = "delete from GPROMOTION where masterbillid = ?",
                               .drop_rewritten = "delete from Gpromotion where masterbillid = ?",
                               .open_table = "select * FROM GPROMOTION"});
}

void refresh_current_gifts(RunContext& ctx) {
  refresh_current_promotions(
      ctx, {.line_query = gift_query(" WHERE '" + ctx.today + "'" + " BETWEEN A.INI_DATE AND A.END_DATE"),
            .keep_table = [&] { keep_gift_table(ctx); },
            .purge = "DELETE FROM GPROMOTION WHERE END_DATE < '" + ctx.today + "'",
            .lookup = "SELECT * FROM GPROMOTION  where MASTERBILLID = ? AND TEMPPRODID = ?",
            .promotions = kGifts});
}

}  // namespace

MarkedLines gift_log(const std::string& machine) {
  return {.log = single_statement_log("GSALE_TEMP", machine),
          .lines = {.key_field = "MASTERBILLID", .column = "A.MASTERBILLID", .lines = [](const std::string& condition) {
                      return gift_query(" WHERE " + condition);
                    }}};
}

void sync_gift_promotions(RunContext& ctx) {
  ctx.log.append(big5(" 贈品設定資料傳送中..!"));
  if (ctx.changes_update()) {
    keep_gift_table(ctx);
    take_logged_gifts(ctx);
  } else if (ctx.full_update()) {
    refresh_current_gifts(ctx);
  }
}

}  // namespace pos

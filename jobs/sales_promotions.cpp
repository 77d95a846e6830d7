// Job 6: sales promotions, one PROMOTION row per line, following the marked change log PSALE_TEMP
// in changes update (statements posted as scripts), refreshed by date in full update.

#include "jobs/changes_update_texts.h"
#include "jobs/jobs.h"
#include "jobs/kit/local_statements.h"
#include "jobs/kit/local_writes.h"
#include "jobs/kit/promotions.h"
#include "jobs/kit/service_steps.h"
#include "jobs/sale_lines.h"
#include "localdb/catalogue.h"
#include "text/sql_text.h"

namespace pos {

namespace {

// N_QTY takes PACK_QTY when N_QTY is there, 1 when it is not.
const std::vector<ColumnMap> kPromotionMapping = sale_line_mapping(
    {"N_QTY", value_copy("PACK_QTY").constant_when_null("N_QTY", 1)}, {{"PACK_QTY", integer_parse("PACK_QTY", 1)},
                                                                       {"PLIMIT_QTY", integer_parse("PLIMIT_QTY", 0)},
                                                                       {"POINT_YN", text("POINT_YN")}});
const PromotionTable kPromotions{"PROMOTION", kPromotionMapping};

std::vector<std::string> line_query(const std::string& selecting_line) {
  return {"SELECT A.MASTERBILLID,A.BILL_DATE,A.INI_DATE,A.END_DATE,REASON,",
          "       B.PROD_ID,B.PROD_NAME,B.PROD_BARCODE,B.PD_ITEMID,B.PSALE_FLAG,",
          "       B.PSALE_PRICE,B.OLD_PRICE,B.VIP_PRICE,B.N_QTY,B.G_PROD_ID,B.G_PROD_NAME,",
          "       B.G_QTY,B.STORE_ID,B.TEMPPRODID,B.SEC_DIS,A.OVER_AMT,B.PACK_QTY,B.PLIMIT_QTY,B.POINT_YN FROM "
          "PSALE_MASTER A INNER JOIN PSALE_SUB B",
          "   ON  A.MASTERBILLID = B.MASTERBILLID",
          selecting_line,
          " AND A.BILL_TYPE <> '2' ",
          " AND B.STOP_SALE = 'N' "};
}

void take_logged_promotions(RunContext& ctx) {
  take_marked_promotions(
      ctx, {.texts = sales_promotion_log(ctx.machine),
            .promotions = kPromotions,
            .drop_deleted = "DELETE FROM PROMOTION WHERE MASTERBILLID = ?",
            .drop_rewritten = "delete from promotion where masterbillid = ?",
            .open_table = "select * FROM PROMOTION",
            // Every line writes POINT_YN: a table that lacks it gets it here too, not only in full update.
            .before_rewrites = [&] {
              change_schema(ctx, [&] { EnsureVarcharColumn(ctx.statement, "PROMOTION", "POINT_YN", "1"); });
            }});
}

void refresh_current_promotions(RunContext& ctx) {
  refresh_current_promotions(ctx,
                             {.line_query = line_query(" WHERE '" + ctx.today + "' BETWEEN A.INI_DATE AND A.END_DATE"),
                              .keep_table = [&] { EnsureVarcharColumn(ctx.statement, "PROMOTION", "POINT_YN", "1"); },
                              .purge = "DELETE FROM PROMOTION WHERE END_DATE < '" + ctx.today + "'",
                              .lookup = "SELECT * FROM PROMOTION  where MASTERBILLID = ? AND TEMPPRODID = ?",
                              .promotions = kPromotions});
}

}  // namespace

MarkedLines sales_promotion_log(const std::string& machine) {
  const std::string m = sql_escape(machine);
  return {
      .log = {.transport = Transport::Script,
              .key = "MASTERBILLID",
              .mark_deleted = "UPDATE PSALE_TEMP SET TRAN_CODE = 'W' WHERE MCH_NO = '" + m + "' AND STATE = 'DELETE' ;",
              .list_deleted = "SELECT MASTERBILLID FROM PSALE_TEMP WHERE TRAN_CODE = 'W' AND MCH_NO = '" + m + "'",
              .remove_deleted =
                  "delete from PSALE_TEMP where TRAN_CODE = 'W' and mch_no = '" + m + "' and STATE = 'DELETE' ;",
              .mark_changed =
                  "UPDATE PSALE_TEMP SET TRAN_CODE = 'W' where mch_no = '" + m + "' and STATE <> 'DELETE' ;",
              .list_changed = "SELECT * FROM PSALE_TEMP WHERE TRAN_CODE = 'W' AND MCH_NO = '" + m + "'",
              .remove_changed =
                  "DELETE FROM PSALE_TEMP where TRAN_CODE = 'W' and mch_no = '" + m + "' and state <> 'DELETE' ;"},
      .lines = {.key_field = "MASTERBILLID", .column = "A.MASTERBILLID", .lines = [](const std::string& condition) {
                  return line_query(" WHERE " + condition);
                }}};
}

void sync_sales_promotions(RunContext& ctx) {
  if (ctx.changes_update())
    take_logged_promotions(ctx);
  else if (ctx.full_update())
    refresh_current_promotions(ctx);
}

}  // namespace pos

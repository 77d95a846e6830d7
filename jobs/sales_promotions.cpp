// Job 6: sales promotions, one PROMOTION row per line, following the marked change log PSALE_TEMP
// in changes update (statements posted as scripts), refreshed by date in full update.

#include "jobs/change_log.h"
#include "jobs/commit_batcher.h"
#include "jobs/conventions.h"
#include "jobs/jobs.h"
#include "jobs/local_writes.h"
#include "jobs/promotion_lines.h"
#include "localdb/catalogue.h"
#include "text/sql_text.h"

namespace pos {

namespace {

const ColumnMap kPromotionMapping[] = {
    {"MASTERBILLID", text("MASTERBILLID")},
    {"BILL_DATE", text("BILL_DATE")},
    {"INI_DATE", text("INI_DATE")},
    {"END_DATE", text("END_DATE")},
    {"REASON", text("REASON")},
    {"PROD_ID", text("PROD_ID")},
    {"PROD_NAME", text("PROD_NAME")},
    {"PROD_BARCODE", text("PROD_BARCODE")},
    {"PD_ITEMID", text("PD_ITEMID")},
    {"PSALE_FLAG", text("PSALE_FLAG")},
    {"PSALE_PRICE", value_copy("PSALE_PRICE")},
    {"OLD_PRICE", value_copy("OLD_PRICE")},
    {"VIP_PRICE", value_copy("VIP_PRICE").or_field_when_null_in_full_update("PSALE_PRICE")},
    {"N_QTY", value_copy("PACK_QTY").constant_when_null("N_QTY", 1)},
    {"G_PROD_ID", text("G_PROD_ID")},
    {"G_PROD_NAME", text("G_PROD_NAME")},
    {"G_QTY", value_copy("G_QTY").constant_when_null("G_QTY", 0)},
    {"STORE_ID", text("STORE_ID")},
    {"TEMPPRODID", text("TEMPPRODID")},
    {"SEC_DIS", text("SEC_DIS")},
    {"OVER_AMT", integer_parse("OVER_AMT", 0)},
    {"PACK_QTY", integer_parse("PACK_QTY", 1)},
    {"PLIMIT_QTY", integer_parse("PLIMIT_QTY", 0)},
    {"POINT_YN", text("POINT_YN")},
};
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
  const std::string m = sql_escape(ctx.MachineNo);
  MarkedChangeLogRun log(
      ctx, {Transport::Script, "MASTERBILLID",
            "UPDATE PSALE_TEMP SET TRAN_CODE = 'W' WHERE MCH_NO = '" + m + "' AND STATE = 'DELETE' ;",
            "SELECT MASTERBILLID FROM PSALE_TEMP WHERE TRAN_CODE = 'W' AND MCH_NO = '" + m + "'",
            "delete from PSALE_TEMP where TRAN_CODE = 'W' and mch_no = '" + m + "' and STATE = 'DELETE' ;",
            "UPDATE PSALE_TEMP SET TRAN_CODE = 'W' where mch_no = '" + m + "' and STATE <> 'DELETE' ;",
            "SELECT * FROM PSALE_TEMP WHERE TRAN_CODE = 'W' AND MCH_NO = '" + m + "'",
            "DELETE FROM PSALE_TEMP where TRAN_CODE = 'W' and mch_no = '" + m + "' and state <> 'DELETE' ;"});
  RowSet& entries = ctx.ClientDataSet2;
  log.take_removals(entries, [&] {
    run_local(ctx, "DELETE FROM PROMOTION WHERE MASTERBILLID = ?", {Value(entries.text("MASTERBILLID"))});
  });
  log.mark_changes(entries);
  if (entries.row_count() > 0) {
    // Every line writes POINT_YN: a table that lacks it gets it here too, not only in full update.
    ctx.batcher().commit();
    EnsureVarcharColumn(ctx.SQLQuery3, "PROMOTION", "POINT_YN", "1");
    open_cursor(ctx.CDS_Query1, "select * FROM PROMOTION");
  }
  log.take_changes(entries, {"MASTERBILLID", "PROMOTION", OnRowError::EndRun, false}, [&] {
    const std::string id = entries.text("MASTERBILLID");
    rewrite_promotion(ctx, id, line_query(" WHERE A.MASTERBILLID = '" + sql_escape(id) + "'"),
                      "delete from promotion where masterbillid = ?", kPromotions);
  });
}

void refresh_current_promotions(RunContext& ctx) {
  RowSet& lines = ctx.ClientDataSet1;
  service_query(ctx, lines, line_query(" WHERE '" + ctx.today + "' BETWEEN A.INI_DATE AND A.END_DATE"));
  EnsureVarcharColumn(ctx.SQLQuery3, "PROMOTION", "POINT_YN", "1");
  run_local(ctx, {"DELETE FROM PROMOTION WHERE END_DATE < '" + ctx.today + "'"});
  if (lines.row_count() == 0) return;
  upsert_promotion_lines(ctx, lines, OnRowError::ReportAndGoOn,
                         "SELECT * FROM PROMOTION  where MASTERBILLID = ? AND TEMPPRODID = ?", kPromotions);
}

}  // namespace

void sync_sales_promotions(RunContext& ctx) {
  if (ctx.changes_update())
    take_logged_promotions(ctx);
  else if (ctx.full_update())
    refresh_current_promotions(ctx);
}

}  // namespace pos

// Job 8: any-choice promotions, one PTSALE row per bill line, following the marked change log
// PTSALE_TEMP in changes update (single statements), reloaded whole in full update: the table is
// emptied and refilled as one unit of work, after the answer was saved to ptpromotion.cds.

#include "jobs/change_log.h"
#include "jobs/conventions.h"
#include "jobs/jobs.h"
#include "jobs/local_writes.h"
#include "jobs/promotion_lines.h"
#include "text/sql_text.h"

namespace pos {

namespace {

const ColumnMap kBillMapping[] = {
    {"bill_date", text("bill_date")},
    {"masterbillid", text("masterbillid")},
    {"pro_id", text("pro_id")},
    {"ini_date", text("ini_date")},
    {"ini_time", text("ini_time")},
    {"end_date", text("end_date")},
    {"end_time", text("end_time")},
    {"ptsale_class", text("ptsale_class")},
    {"ptsale_qty", value_copy("ptsale_qty")},
    {"ptsale_price", value_copy("ptsale_price")},
    {"ptsale_dis", value_copy("ptsale_dis")},
    {"chg_date", text("chg_date")},
    {"chg_user", text("chg_user")},
    {"remark", text("remark")},
    {"prod_id", text("prod_id")},
    {"prod_barcode", text("prod_barcode")},
    {"prod_name", text("prod_name")},
    {"provider_id", text("provider_id")},
    {"tempprodid", text("tempprodid")},
    {"sec_dis", text("sec_dis")},
    {"point_yn", text("point_yn")},
};
const PromotionTable kBills{"PTSALE", kBillMapping};

std::vector<std::string> bill_query(const std::string& selecting_line) {
  return {"select a.bill_date,a.masterbillid,a.pro_id,",
          "a.ini_date,a.ini_time,a.end_date,a.end_time,a.ptsale_class,a.ptsale_qty,",
          "a.ptsale_price,a.ptsale_dis,a.chg_date,a.chg_user,a.remark,b.prod_id,",
          "b.prod_barcode,b.prod_name,b.provider_id,b.tempprodid,a.sec_dis,a.point_yn from ptsale_master a ",
          "inner join ptsale_sub b on a.masterbillid = b.masterbillid ",
          selecting_line};
}

void take_logged_bills(RunContext& ctx) {
  const std::string m = sql_escape(ctx.MachineNo);
  MarkedChangeLogRun log(
      ctx, {Transport::Statement, "MASTERBILLID",
            "UPDATE PTSALE_TEMP SET TRAN_CODE = 'W' WHERE MCH_NO = '" + m + "'" + " AND STATE = 'DELETE' ",
            "select MASTERBILLID from PTSALE_TEMP where TRAN_CODE = 'W' and MCH_NO = '" + m + "'",
            "delete from PTSALE_TEMP where TRAN_CODE = 'W' and MCH_NO = '" + m + "'" + " and STATE = 'DELETE' ",
            "UPDATE PTSALE_TEMP SET TRAN_CODE = 'W' where MCH_NO = '" + m + "'" + " and STATE <> 'DELETE' ",
            "select * from PTSALE_TEMP where TRAN_CODE = 'W' and MCH_NO = '" + m + "'",
            "delete from PTSALE_TEMP where TRAN_CODE = 'W' and mch_no = '" + m + "'" + " and state <> 'DELETE' "});
  RowSet& entries = ctx.ClientDataSet2;
  log.take_removals(entries, [&] {
    run_local(ctx, "delete from PTSALE where MASTERBILLID = ?", {Value(entries.text("MASTERBILLID"))});
  });
  log.mark_changes(entries);
  open_cursor(ctx.CDS_Query1, "select * FROM PTSALE");
  log.take_changes(entries, {"MASTERBILLID", "PTSALE", OnRowError::EndRun, false}, [&] {
    const std::string id = entries.text("MASTERBILLID");
    rewrite_promotion(ctx, id, bill_query("where a.masterbillid = '" + sql_escape(id) + "'"),
                      "delete from PTSALE where MASTERBILLID = ?", kBills);
  });
}

void reload_current_bills(RunContext& ctx) {
  RowSet& lines = ctx.ClientDataSet1;
  service_query(ctx, lines, bill_query(" where '" + ctx.today + "'" + " between a.ini_date and a.end_date"));
  lines.save_to_file((ctx.terminal_folder / "ptpromotion.cds").string());
  start_progress(ctx, lines);
  if (lines.row_count() == 0) return;  // no current promotion: the table stays as it is
  refill(ctx, "PTSALE", {"delete from ptsale"}, [&] {
    upsert_promotion_lines(ctx, lines, OnRowError::EndRun,
                           "SELECT * FROM  PTSALE WHERE MASTERBILLID = ? AND TEMPPRODID = ?", kBills);
  });
}

}  // namespace

void sync_any_choice_promotions(RunContext& ctx) {
  if (ctx.changes_update())
    take_logged_bills(ctx);
  else if (ctx.full_update())
    reload_current_bills(ctx);
}

}  // namespace pos

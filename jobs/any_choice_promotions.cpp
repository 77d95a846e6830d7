// Job 8: any-choice promotions, one PTSALE row per bill line, following the marked change log
// PTSALE_TEMP in changes update (single statements), reloaded whole in full update: the table is
// emptied and refilled as one unit of work, after the answer was saved to ptpromotion.cds.

#include "jobs/changes_update_texts.h"
#include "jobs/jobs.h"
#include "jobs/kit/local_statements.h"
#include "jobs/kit/local_writes.h"
#include "jobs/kit/promotions.h"
#include "jobs/kit/service_steps.h"
#include "service/diagnostics.h"
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
  take_marked_promotions(ctx, {.texts = any_choice_log(ctx.machine),
                               .promotions = kBills,
                               .drop_deleted = "delete from PTSALE where MASTERBILLID = ?",
                               .drop_rewritten = "delete from PTSALE where MASTERBILLID = ?",
                               .open_table = "select * FROM PTSALE",
                               .open_without_entries = true});
}

void reload_current_bills(RunContext& ctx) {
  RowSet& lines = ctx.answer;
  service_query(ctx, lines, bill_query(" where '" + ctx.today + "'" + " between a.ini_date and a.end_date"));
  write_diagnostic_file(ctx.terminal_folder / "ptpromotion.cds", lines.to_packet());
  start_progress(ctx, lines);
  if (lines.row_count() == 0) return;  // no current promotion: the table stays as it is
  refill(ctx, "PTSALE", {"delete from ptsale"}, [&] {
    upsert_promotion_lines(ctx, lines, OnRowError::EndRun,
                           "SELECT * FROM  PTSALE WHERE MASTERBILLID = ? AND TEMPPRODID = ?", kBills);
  });
}

}  // namespace

MarkedLines any_choice_log(const std::string& machine) {
  return {.log = single_statement_log("PTSALE_TEMP", machine),
          .lines = {.key_field = "MASTERBILLID", .column = "a.masterbillid", .lines = [](const std::string& condition) {
                      return bill_query("where " + condition);
                    }}};
}

void sync_any_choice_promotions(RunContext& ctx) {
  if (ctx.changes_update())
    take_logged_bills(ctx);
  else if (ctx.full_update())
    reload_current_bills(ctx);
}

}  // namespace pos

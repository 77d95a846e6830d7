// The gift half of job 12: gift promotions, one GPROMOTION row per line, following the marked
// change log GSALE_TEMP in changes update (single statements), refreshed by date in full update.
// Both create the table when it is missing (a terminal that never ran a full update takes gift
// changes too), and the table always has the integer OVER_AMT that every row writes: it is in the
// creation statement and added to a table that lacks it.

#include "jobs/gift_promotions.h"

#include "jobs/change_log.h"
#include "jobs/commit_batcher.h"
#include "jobs/conventions.h"
#include "jobs/local_writes.h"
#include "jobs/promotion_lines.h"
#include "localdb/catalogue.h"
#include "text/big5.h"
#include "text/sql_text.h"

namespace pos {

namespace {

const ColumnMap kGiftMapping[] = {
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
    {"N_QTY", value_copy("N_QTY").constant_when_null("N_QTY", 0)},
    {"G_PROD_ID", text("G_PROD_ID")},
    {"G_PROD_NAME", text("G_PROD_NAME")},
    {"G_QTY", value_copy("G_QTY").constant_when_null("G_QTY", 0)},
    {"STORE_ID", text("STORE_ID")},
    {"TEMPPRODID", text("TEMPPRODID")},
    {"SEC_DIS", text("SEC_DIS")},
    {"OVER_AMT", integer_parse("OVER_AMT", 0)},
};
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

// Creates GPROMOTION when it is missing, adds OVER_AMT to one that lacks it, and the index the
// full update's lookups need. Schema changes take effect on commit: the batch goes first.
void keep_gift_table(RunContext& ctx) {
  ctx.batcher().commit();
  if (TableMissing(ctx.SQLQuery3, "GPROMOTION")) {
    release_next_relation_slot(ctx.SQLCon_Loc);
    run_local(ctx, {"CREATE TABLE GPROMOTION ( ",
                    "    MASTERBILLID VARCHAR(20),",
                    "    BILL_DATE VARCHAR(10),",
                    "    INI_DATE VARCHAR(10),",
                    "    END_DATE VARCHAR(10),",
                    "    REASON VARCHAR(100),",
                    "    PROD_ID VARCHAR(20),",
                    "    PROD_NAME VARCHAR(50),",
                    "    PROD_BARCODE VARCHAR(20),",
                    "    PD_ITEMID VARCHAR(10),",
                    "    PSALE_FLAG VARCHAR(10),",
                    "    PSALE_PRICE DOUBLE PRECISION,",
                    "    OLD_PRICE DOUBLE PRECISION,",
                    "    VIP_PRICE DOUBLE PRECISION,",
                    "    N_QTY INT,",
                    "    G_PROD_ID VARCHAR(20),",
                    "    G_PROD_NAME VARCHAR(50),",
                    "    G_QTY INT,",
                    "    STORE_ID VARCHAR(10),",
                    "    TEMPPRODID VARCHAR(20),",
                    "    SEC_DIS VARCHAR(1),",
                    "    OVER_AMT INT",
                    "    ) "});
  }
  ensure_column(ctx.SQLQuery3, "GPROMOTION", "OVER_AMT", "INTEGER");
  if (IndexMissing(ctx.SQLQuery3, "IDX_GPROMOTION_0"))
    run_local(ctx, {"CREATE INDEX IDX_GPROMOTION_0 ON GPROMOTION (MASTERBILLID, TEMPPRODID)"});
}

void take_logged_gifts(RunContext& ctx) {
  const std::string m = sql_escape(ctx.MachineNo);
  MarkedChangeLogRun log(
      ctx, {Transport::Statement, "MASTERBILLID",
            "update GSALE_TEMP set tran_code = 'W' where mch_no = '" + m + "'" + " and state = 'DELETE' ",
            "SELECT MASTERBILLID FROM GSALE_TEMP WHERE TRAN_CODE = 'W' AND MCH_NO = '" + m + "'",
            "DELETE FROM GSALE_TEMP WHERE TRAN_CODE = 'W' AND MCH_NO = '" + m + "'" + " AND STATE = 'DELETE' ",
            "UPDATE GSALE_TEMP SET TRAN_CODE = 'W' where mch_no = '" + m + "'" + " and state <> 'DELETE' ",
            "select * from GSALE_TEMP where tran_code = 'W' and MCH_NO = '" + m + "'",
            "delete from GSALE_TEMP where TRAN_CODE = 'W' and mch_no = '" + m + "'" + " and state <> 'DELETE' "});
  RowSet& entries = ctx.ClientDataSet2;
  log.take_removals(entries, [&] {
    run_local(ctx, "delete from GPROMOTION where masterbillid = ?", {Value(entries.text("masterbillid"))});
  });
  log.mark_changes(entries);
  if (entries.row_count() > 0) open_cursor(ctx.CDS_Query1, "select * FROM GPROMOTION");
  log.take_changes(entries, {"MASTERBILLID", "GPROMOTION", OnRowError::EndRun, false}, [&] {
    const std::string id = entries.text("masterbillid");
    rewrite_promotion(ctx, id, gift_query(" WHERE A.MASTERBILLID = '" + sql_escape(id) + "'"),
                      "delete from Gpromotion where masterbillid = ?", kGifts);
  });
}

void refresh_current_gifts(RunContext& ctx) {
  RowSet& lines = ctx.ClientDataSet1;
  service_query(ctx, lines, gift_query(" WHERE '" + ctx.today + "'" + " BETWEEN A.INI_DATE AND A.END_DATE"));
  keep_gift_table(ctx);
  run_local(ctx, {"DELETE FROM GPROMOTION WHERE END_DATE < '" + ctx.today + "'"});
  if (lines.row_count() == 0) return;
  upsert_promotion_lines(ctx, lines, OnRowError::ReportAndGoOn,
                         "SELECT * FROM GPROMOTION  where MASTERBILLID = ? AND TEMPPRODID = ?", kGifts);
}

}  // namespace

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

#include "jobs/job_table.h"

#include "jobs/changes_update_texts.h"
#include "jobs/jobs.h"
#include "text/big5.h"
#include "text/sql_text.h"

namespace pos {

namespace {

JobEntry job(const char* caption, const char* first_line, void (*run)(RunContext&)) {
  return JobEntry{big5(caption), big5(first_line), run};
}

JobEntry no_job(const char* caption) { return JobEntry{big5(caption), {}, {}}; }

}  // namespace

QueryLines opening_check_query(const std::string& machine) {
  return {"SELECT * FROM MCH_ITEM WHERE MCH_NO = '" + sql_escape(machine) + "'"};
}

const std::array<JobEntry, 15>& job_table() {
  static const std::array<JobEntry, 15> table = {
      job("商品資料", " 商品分類傳送中...!", sync_products),
      job("人員資料", " 人員資料傳送中...!", sync_staff),
      job("班別資料", " 班別資料傳送中...!", sync_shifts),
      no_job("公用參數"),
      job("發票字軌", " 發票字軌傳送中...!", sync_invoice_words),
      job("組銷資料", " 組銷資料傳送中...!", sync_bundle_barcodes),
      job("販促資料", " 販促資料傳送中...!", sync_sales_promotions),
      job("會員資料", " 會員資料傳送中...!", sync_members),
      job("任選促銷", " 任選促銷傳送中...!", sync_any_choice_promotions),
      job("機台資料", " 機台資料傳送中...!", sync_machines),
      job("KEYBOARD", " 鍵盤資料傳送中...!", sync_keyboard_maps),
      job("會員折扣", " 會員折扣資料傳送中...!", sync_discount_levels),
      job("點數設定(贈品)", " 點數設定資料傳送中..!", sync_points_and_gifts),
      no_job("合購促銷"),
      job("儲值停卡", " 儲值停卡資料傳送中...!", sync_card_stops),
  };
  return table;
}

}  // namespace pos

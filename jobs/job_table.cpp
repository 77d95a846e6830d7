#include "jobs/job_table.h"

#include "jobs/bundle_barcodes.h"
#include "jobs/products.h"
#include "text/big5.h"

namespace pos {

namespace {

// A job that is listed and logs its first line; its steps come with the job itself.
JobEntry entry(const char* caption, const char* first_line) {
  std::string line = big5(first_line);
  return JobEntry{big5(caption), line, [line](RunContext& ctx) { ctx.Memo1.append(line); }};
}

JobEntry no_job(const char* caption) { return JobEntry{big5(caption), {}, {}}; }

JobEntry job(const char* caption, const char* first_line, void (*run)(RunContext&)) {
  return JobEntry{big5(caption), big5(first_line), run};
}

}  // namespace

const std::array<JobEntry, 15>& job_table() {
  static const std::array<JobEntry, 15> table = {
      job("商品資料", " 商品分類傳送中...!", RunProductsJob),
      entry("人員資料", " 人員資料傳送中...!"),
      entry("班別資料", " 班別資料傳送中...!"),
      no_job("公用參數"),
      entry("發票字軌", " 發票字軌傳送中...!"),
      job("組銷資料", " 組銷資料傳送中...!", RunBundleBarcodesJob),
      entry("販促資料", " 販促資料傳送中...!"),
      entry("會員資料", " 會員資料傳送中...!"),
      entry("任選促銷", " 任選促銷傳送中...!"),
      entry("機台資料", " 機台資料傳送中...!"),
      entry("KEYBOARD", " 鍵盤資料傳送中...!"),
      entry("會員折扣", " 會員折扣資料傳送中...!"),
      entry("點數設定(贈品)", " 點數設定資料傳送中..!"),
      no_job("合購促銷"),
      entry("儲值停卡", " 儲值停卡資料傳送中...!"),
  };
  return table;
}

}  // namespace pos

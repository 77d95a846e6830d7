#pragma once
// The job list: the one place that says which jobs there are, in which order, with their captions
// and first log lines. Everything that counts jobs takes kJobCount from it, so that a job added
// here is a job everywhere.

#include <array>
#include <cstddef>
#include <iterator>

#include "jobs/jobs.h"
#include "jobs/kit/run_job.h"

namespace pos {

// An entry as written here: caption and first log line as source text (UTF-8), and its job; an
// entry without a job has neither.
struct JobSource {
  const char* caption;
  const char* first_line;
  void (*run)(RunContext&);
};

// In list order (index = job number).
inline constexpr JobSource kJobList[] = {
    {"商品資料", " 商品分類傳送中...!", sync_products},
    {"人員資料", " 人員資料傳送中...!", sync_staff},
    {"班別資料", " 班別資料傳送中...!", sync_shifts},
    {"公用參數", nullptr, nullptr},
    {"發票字軌", " 發票字軌傳送中...!", sync_invoice_words},
    {"組銷資料", " 組銷資料傳送中...!", sync_bundle_barcodes},
    {"販促資料", " 販促資料傳送中...!", sync_sales_promotions},
    {"會員資料", " 會員資料傳送中...!", sync_members},
    {"任選促銷", " 任選促銷傳送中...!", sync_any_choice_promotions},
    {"機台資料", " 機台資料傳送中...!", sync_machines},
    {"KEYBOARD", " 鍵盤資料傳送中...!", sync_keyboard_maps},
    {"會員折扣", " 會員折扣資料傳送中...!", sync_discount_levels},
    {"點數設定(贈品)", " 點數設定資料傳送中..!", sync_points_and_gifts},
    {"合購促銷", nullptr, nullptr},
    {"儲值停卡", " 儲值停卡資料傳送中...!", sync_card_stops},
};

inline constexpr std::size_t kJobCount = std::size(kJobList);

// What each job of a run did (index = job number).
using JobCounts = std::array<JobCounters, kJobCount>;

// The entries with their texts in Big5, as the window and the log show them.
const std::array<JobEntry, kJobCount>& job_table();

}  // namespace pos

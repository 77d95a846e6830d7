#include "jobs/kit/report_lines.h"

#include "text/big5.h"

namespace pos {

std::string refused_row_line(const std::string& table, const std::string& key, const std::string& message) {
  static const std::string refused = big5(" 本機資料庫拒絕寫入: ");
  return " " + table + " " + key + refused + message;
}

std::string failed_row_line(const std::string& table, const std::string& key, const std::string& message) {
  static const std::string failed = big5(" 處理失敗: ");
  return " " + table + " " + key + failed + message;
}

std::string reason_line(const std::string& message) {
  static const std::string reason = big5(" 原因: ");
  return reason + message;
}

std::string kept_rows_line(const std::string& table) {
  static const std::string kept = big5(" 未更新, 保留原有資料");
  return " " + table + kept;
}

std::string rewrite_kept_line(const std::string& table, const std::string& id, std::size_t refused) {
  static const std::string has = big5(" 有 "), kept = big5(" 筆被拒絕, 保留原有資料");
  return " " + table + " " + id + has + std::to_string(refused) + kept;
}

std::string key_too_long_message(std::size_t most) {
  return big5("代碼超過 ") + std::to_string(most) + big5(" 位元組, 無法記錄, 本次不處理");
}

}  // namespace pos

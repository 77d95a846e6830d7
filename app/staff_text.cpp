#include "app/staff_text.h"

#include "localdb/errors.h"
#include "service/service_errors.h"
#include "text/big5.h"

namespace pos {

namespace {

// A technical text as a second line, cut so that a box stays readable.
std::string detail(std::string_view text) {
  text = text.substr(0, text.find_first_of("\r\n"));
  return "\n" + std::string(text.substr(0, big5_fit(std::string(text), 300)));
}

}  // namespace

std::string staff_text(const std::exception& e) {
  if (const auto* answer = dynamic_cast<const ServiceAnswerError*>(&e)) {
    const std::string_view what = answer->what();
    if (what.starts_with("<RESULT>"))
      return big5(
                 "總部的資料服務回報錯誤，這次更新沒有完成。請稍後再按「Enter開始」重試；若一再發生，請通知總部資訊人員"
                 "。") +
             detail(big5("總部的訊息：") + std::string(error_answer_message(what)));
    return big5("總部的回覆不是資料 (可能是網頁或代理伺服器的錯誤)，這次更新沒有完成。請通知總部資訊人員。") +
           detail(what);
  }
  if (dynamic_cast<const HttpError*>(&e)) return staff_text_connection_lost() + detail(e.what());
  if (dynamic_cast<const LocalDatabaseFailed*>(&e))
    return big5("本機資料庫發生錯誤 (例如磁碟已滿或資料庫伺服器停止)，這次更新沒有完成。請通知資訊人員。") +
           detail(e.what());
  return big5("這次更新沒有完成。") + detail(e.what());
}

std::string staff_text_connection_lost() {
  return big5("連不上總部的資料服務，這次更新沒有完成。請檢查網路連線後再按「Enter開始」重試。");
}

}  // namespace pos

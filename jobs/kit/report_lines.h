#pragma once
// The lines the kit adds to the log panel beside the jobs' own: store staff read the log in
// Chinese, so these are Big5 too. The database's or the service's own message is kept as it is.

#include <cstddef>
#include <string>

namespace pos {

// A row the local database refused when it was applied: " <table> <key> 本機資料庫拒絕寫入: <message>".
std::string refused_row_line(const std::string& table, const std::string& key, const std::string& message);

// A row whose work failed otherwise, in loops without a "Data Error...!" line: " <table> <key> 處理失敗: <message>".
std::string failed_row_line(const std::string& table, const std::string& key, const std::string& message);

// The second line of a "Data Error...!" row: why it failed.
std::string reason_line(const std::string& message);

// A table refill that an error ended: the table keeps the rows it had.
std::string kept_rows_line(const std::string& table);

// A rewrite of `id`'s rows that was not written whole because `refused` rows were refused.
std::string rewrite_kept_line(const std::string& table, const std::string& id, std::size_t refused);

// Why a change-log key that cannot be remembered locally was not taken.
std::string key_too_long_message(std::size_t most);

}  // namespace pos

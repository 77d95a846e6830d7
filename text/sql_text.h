#pragma once

// Helpers for building SQL text from Big5 strings.

#include <string>
#include <string_view>
#include <vector>

namespace pos {

// Upper-cases 'a'..'z' byte by byte, leaving the trail byte of every
// double-byte Big5 character alone (送 is B0 65; its 0x65 must stay).
std::string upper_service_sql(std::string_view big5);

// Doubles every apostrophe so the value can sit between apostrophes in SQL.
// 0x27 is never a Big5 trail byte, so Big5 text is safe byte by byte.
std::string sql_escape(std::string_view value);

// The value escaped and wrapped in apostrophes: O'Neil -> 'O''Neil'.
std::string sql_quoted(std::string_view value);

// The values quoted as a list for IN: ('A', 'O''Neil').
std::string sql_list(const std::vector<std::string>& values);

}  // namespace pos

#pragma once
// ASCII letter case, byte by byte and independent of the locale: only 'a'..'z' and 'A'..'Z' change.
// For names and keywords; SQL text sent to the service has its own rule (upper_service_sql).

#include <string>
#include <string_view>

namespace pos {

constexpr char ascii_upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

inline std::string ascii_upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = ascii_upper(c);
  return out;
}

}  // namespace pos

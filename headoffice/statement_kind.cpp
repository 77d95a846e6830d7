#include "headoffice/statement_kind.h"

#include <array>
#include <cctype>

#include "text/ascii.h"

namespace pos::headoffice {

std::string statement_kind(std::string_view sql) {
  std::size_t i = 0;
  while (i < sql.size()) {
    const unsigned char c = static_cast<unsigned char>(sql[i]);
    if (std::isspace(c) || c == '(') {
      ++i;
    } else if (sql.substr(i, 2) == "--") {
      const auto end = sql.find('\n', i);
      i = end == std::string_view::npos ? sql.size() : end + 1;
    } else if (sql.substr(i, 2) == "/*") {
      const auto end = sql.find("*/", i + 2);
      i = end == std::string_view::npos ? sql.size() : end + 2;
    } else {
      break;
    }
  }
  std::string word;
  while (i < sql.size() && std::isalpha(static_cast<unsigned char>(sql[i]))) {
    word += ascii_upper(sql[i]);
    ++i;
  }
  return word;
}

bool statement_allowed(std::string_view kind) {
  static constexpr std::array<std::string_view, 5> kAllowed{"SELECT", "WITH", "INSERT", "UPDATE", "DELETE"};
  for (auto k : kAllowed) {
    if (k == kind) return true;
  }
  return false;
}

}  // namespace pos::headoffice

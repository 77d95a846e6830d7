#include "localdb/named_params.h"

#include <algorithm>
#include <cctype>

#include "text/ascii.h"

namespace pos {

namespace {
bool name_char(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$'; }
}  // namespace

ParsedSql parse_named_params(const std::string& sql) {
  ParsedSql out;
  out.sql.reserve(sql.size());
  std::size_t i = 0, n = sql.size();
  while (i < n) {
    char c = sql[i];
    if (c == '\'' || c == '"') {  // quoted text or identifier; a doubled quote stays inside
      std::size_t j = i + 1;
      while (j < n) {
        if (sql[j] == c) {
          if (j + 1 < n && sql[j + 1] == c) {
            j += 2;
            continue;
          }
          break;
        }
        ++j;
      }
      j = std::min(j + 1, n);
      out.sql.append(sql, i, j - i);
      i = j;
    } else if (c == '-' && i + 1 < n && sql[i + 1] == '-') {
      std::size_t j = sql.find('\n', i);
      j = j == std::string::npos ? n : j;
      out.sql.append(sql, i, j - i);
      i = j;
    } else if (c == '/' && i + 1 < n && sql[i + 1] == '*') {
      std::size_t j = sql.find("*/", i + 2);
      j = j == std::string::npos ? n : j + 2;
      out.sql.append(sql, i, j - i);
      i = j;
    } else if (c == ':' && i + 1 < n && name_char(sql[i + 1])) {
      std::size_t j = i + 1;
      while (j < n && name_char(sql[j])) ++j;
      std::string name = sql.substr(i + 1, j - i - 1);
      out.names.push_back(ascii_upper(name));
      out.sql += '?';
      i = j;
    } else {
      out.sql += c;
      ++i;
    }
  }
  return out;
}

}  // namespace pos

#include "text/sql_text.h"

#include "text/ascii.h"
#include "text/big5.h"

namespace pos {

std::string upper_service_sql(std::string_view big5) {
  std::string out(big5);
  for (std::size_t i = 0; i < out.size(); ++i) {
    const auto b = static_cast<unsigned char>(out[i]);
    if (is_big5_lead(b)) {
      ++i;  // skip the trail byte, whatever it is
    } else {
      out[i] = ascii_upper(out[i]);
    }
  }
  return out;
}

std::string sql_escape(std::string_view value) {
  std::string out;
  out.reserve(value.size() + 2);
  for (char c : value) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out;
}

std::string sql_quoted(std::string_view value) { return "'" + sql_escape(value) + "'"; }

std::string sql_list(const std::vector<std::string>& values) {
  std::string list = "(";
  for (std::size_t i = 0; i < values.size(); ++i) list += (i ? ", " : "") + sql_quoted(values[i]);
  return list + ")";
}

}  // namespace pos

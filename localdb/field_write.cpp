#include "localdb/field_write.h"

#include <firebird/Interface.h>

#include <charconv>
#include <cmath>
#include <limits>

#include "localdb/errors.h"
#include "text/ascii.h"
#include "text/big5.h"
#include "text/number_format.h"

namespace pos {

namespace {

[[noreturn]] void refuse(const ColumnInfo& c, const std::string& what) {
  throw FieldValueError(what + " for column " + c.name);
}

std::int64_t integer_range_checked(const ColumnInfo& c, long double n, const std::string& shown) {
  long double lo = -9223372036854775807.0L, hi = 9223372036854775807.0L;
  if (c.sql_type == SQL_SHORT) lo = -32768, hi = 32767;
  if (c.sql_type == SQL_LONG) lo = -2147483648.0L, hi = 2147483647.0L;
  if (n < lo || n > hi) refuse(c, "'" + shown + "' is out of range");
  return static_cast<std::int64_t>(n);
}

Value to_integer(const ColumnInfo& c, const Value& v) {
  if (v.is_integer()) return Value(integer_range_checked(c, v.integer(), v.as_text()));
  if (v.is_float()) {
    if (!std::isfinite(v.number())) refuse(c, "'" + v.as_text() + "' is not a valid integer");
    return Value(integer_range_checked(c, std::round(static_cast<long double>(v.number())), v.as_text()));
  }
  std::string_view t = trim_blanks(v.text());
  if (t.empty()) return Value();
  std::string_view digits = t.front() == '+' ? t.substr(1) : t;
  std::int64_t n = 0;
  auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
  if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size() ||
      (t.front() == '+' && digits.front() == '-'))
    refuse(c, "'" + v.text() + "' is not a valid integer");
  return Value(integer_range_checked(c, n, v.text()));
}

Value to_float(const ColumnInfo& c, const Value& v) {
  if (v.is_integer()) return Value(static_cast<double>(v.integer()));
  if (v.is_float()) return v;
  std::string_view t = trim_blanks(v.text());
  if (t.empty()) return Value();
  double d = parse_number_or(t, std::numeric_limits<double>::quiet_NaN());
  if (std::isnan(d)) refuse(c, "'" + v.text() + "' is not a valid number");
  return Value(d);
}

Value to_boolean(const ColumnInfo& c, const Value& v) {
  if (v.is_integer()) return Value(static_cast<std::int64_t>(v.integer() != 0));
  if (v.is_float()) return Value(static_cast<std::int64_t>(v.number() != 0));
  std::string t = ascii_upper(trim_blanks(v.text()));
  if (t.empty()) return Value();
  if (t == "TRUE" || t == "T" || t == "1") return Value(std::int64_t{1});
  if (t == "FALSE" || t == "F" || t == "0") return Value(std::int64_t{0});
  refuse(c, "'" + v.text() + "' is not a valid boolean");
}

}  // namespace

Value convert_for_column(const ColumnInfo& c, const Value& v) {
  if (v.is_null()) return v;
  switch (c.kind) {
    case ColumnKind::Text: {
      std::string t = v.as_text();
      t.resize(big5_fit(t, c.length));
      return Value(std::move(t));
    }
    case ColumnKind::Integer:
      return to_integer(c, v);
    case ColumnKind::Scaled:
    case ColumnKind::Float:
      return to_float(c, v);
    case ColumnKind::Boolean:
      return to_boolean(c, v);
    case ColumnKind::Date:
    case ColumnKind::Time:
    case ColumnKind::Timestamp: {
      if (!v.is_text()) refuse(c, "'" + v.as_text() + "' is not a valid date or time");
      std::string_view t = trim_blanks(v.text());
      return t.empty() ? Value() : Value(std::string(t));
    }
    case ColumnKind::DbKey:
      refuse(c, "the row key cannot be written");
    case ColumnKind::Blob:
    case ColumnKind::Other:
      return Value(v.as_text());
  }
  return v;
}

}  // namespace pos

#include "jobs/column_mapping.h"

#include "text/big5.h"
#include "text/number_format.h"

namespace pos {

Value convert_field(const RowSet& row, const char* field, Conversion conversion, int dflt) {
  switch (conversion) {
    case Conversion::Text:
      return Value(row.text(field));
    case Conversion::NumberFromText:
      return Value(parse_number_or(row.text(field), 0));
    case Conversion::Number:
      return Value(row.as_float(field));
    case Conversion::WholeNumberText:
      return Value(number_from_text_whole(row.text(field)));
    case Conversion::TwoDecimalText:
      return Value(format_two_decimals(row.as_float(field)));
    case Conversion::ValueCopy:
      return row.value(field);
    case Conversion::IntegerParse:
      return Value(parse_integer_or(row.text(field), dflt));
  }
  return Value();
}

void fill_row(TableCursor& cursor, const RowSet& row, std::span<const ColumnMap> mapping, bool full_update) {
  for (const ColumnMap& m : mapping) {
    if (m.full_update_only && !full_update) continue;
    const char* field = (m.fallback && row.is_null(m.field)) ? m.fallback : m.field;
    cursor.set_value(m.column, convert_field(row, field, m.conversion, m.fallback_default));
  }
}

std::string first_character(const std::string& s) {
  if (s.empty()) return s;
  std::size_t n = is_big5_lead(static_cast<unsigned char>(s[0])) && s.size() > 1 ? 2 : 1;
  return s.substr(0, n);
}

}  // namespace pos

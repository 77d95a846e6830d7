#include "jobs/kit/column_mapping.h"

#include "text/big5.h"
#include "text/number_format.h"

namespace pos {

namespace {

bool applies(In in, UpdateMode mode) {
  return in == In::BothModes || (in == In::ChangesUpdate && mode == UpdateMode::Changes) ||
         (in == In::FullUpdate && mode == UpdateMode::Full);
}

std::string first_char(const std::string& s) {
  if (s.empty()) return s;
  std::size_t n = is_big5_lead(static_cast<unsigned char>(s[0])) && s.size() > 1 ? 2 : 1;
  return s.substr(0, n);
}

}  // namespace

Value mapped_value(const Rule& rule, const RowSet& answer, const MappingScope& scope) {
  if (rule.null_test && answer.is_null(rule.null_test)) return Value(rule.null_value);
  const char* field = rule.field;
  if (rule.fallback && (!rule.fallback_in_full_update_only || scope.mode == UpdateMode::Full) && answer.is_null(field))
    field = rule.fallback;
  switch (rule.conversion) {
    case Conversion::Text:
      return Value(answer.text(field));
    case Conversion::ValueCopy:
      return answer.value(field);
    case Conversion::NumberFromText:
      return Value(parse_number_or(answer.text(field), rule.number));
    case Conversion::IntegerParse:
      return Value(parse_integer_or(answer.text(field), static_cast<int>(rule.number)));
    case Conversion::WholeNumberText:
      return Value(number_from_text_whole(answer.text(field)));
    case Conversion::TwoDecimalText:
      return Value(format_two_decimals(answer.as_float(field)));
    case Conversion::FirstCharacter:
      return Value(first_char(answer.text(field)));
    case Conversion::Constant:
      return Value(rule.number);
    case Conversion::Today:
      return Value(scope.today);
  }
  return Value();
}

void fill_row(TableCursor& cursor, const RowSet& answer, std::span<const ColumnMap> mapping,
              const MappingScope& scope) {
  for (const ColumnMap& m : mapping)
    if (applies(m.in, scope.mode)) cursor.set_value(m.column, mapped_value(m.rule, answer, scope));
}

void bind_row(LocalQuery& query, const RowSet& answer, std::span<const ColumnMap> mapping, const MappingScope& scope) {
  for (const ColumnMap& m : mapping)
    if (applies(m.in, scope.mode)) query.set_param(m.column, mapped_value(m.rule, answer, scope));
}

}  // namespace pos

#pragma once
// Service-field to local-column mappings, each conversion said by name:
//
//   {"PDC_NO", text("PROD_ID")}
//   {"VIP_PRICE", number_from_text("VIP_PRICE").or_field_when_null("PSALE_PRICE")}
//   {"P_PRICE", number_from_text("P_PRICE").or_field_when_null("PSALE_PRICE"), In::FullUpdate}
//   {"N_QTY", value_copy("PACK_QTY").constant_when_null("N_QTY", 1)}
//   {"VIP_PRICE", value_copy("VIP_PRICE").or_field_when_null_in_full_update("PSALE_PRICE")}
//   {"TOTAL_AMT", constant(0)}, {"U_DATE", today()}
//
// A table of these fills a cursor's row (fill_row) or a statement's named parameters (bind_row).

#include <span>
#include <string>

#include "jobs/kit/run_context.h"
#include "localdb/local_query.h"
#include "localdb/table_cursor.h"
#include "packet/row_set.h"
#include "text/value.h"

namespace pos {

enum class Conversion {
  Text,             // the value's text form; null gives empty text
  ValueCopy,        // the value with its own type; null stays null
  NumberFromText,   // the text read as a decimal number; `number` when empty or not a number
  IntegerParse,     // the text read as a decimal integer; `number` when empty or not an integer
  WholeNumberText,  // number from text formatted "%8.f" (halves away from zero), blanks stripped
  TwoDecimalText,   // the numeric value formatted "%8.2f", leading blanks kept; a non-number is an error
  FirstCharacter,   // the first character of the text (one or two Big5 bytes)
  Constant,         // `number`, whatever the answer holds
  Today,            // today's date, "YYYY/MM/DD"
};

struct Rule {
  Conversion conversion;
  const char* field = nullptr;
  double number = 0;               // default of a parse, or the constant
  const char* fallback = nullptr;  // field taken instead when `field` is null
  bool fallback_in_full_update_only = false;
  const char* null_test = nullptr;  // when this field is null, `null_value` is written instead
  double null_value = 0;

  constexpr Rule or_field_when_null(const char* other) const {
    Rule r = *this;
    r.fallback = other;
    return r;
  }
  constexpr Rule or_field_when_null_in_full_update(const char* other) const {
    Rule r = or_field_when_null(other);
    r.fallback_in_full_update_only = true;
    return r;
  }
  constexpr Rule constant_when_null(const char* tested, double value) const {
    Rule r = *this;
    r.null_test = tested;
    r.null_value = value;
    return r;
  }
};

constexpr Rule text(const char* field) { return {Conversion::Text, field}; }
constexpr Rule value_copy(const char* field) { return {Conversion::ValueCopy, field}; }
constexpr Rule number_from_text(const char* field, double dflt = 0) {
  return {Conversion::NumberFromText, field, dflt};
}
constexpr Rule integer_parse(const char* field, int dflt) { return {Conversion::IntegerParse, field, double(dflt)}; }
constexpr Rule whole_number_text(const char* field) { return {Conversion::WholeNumberText, field}; }
constexpr Rule two_decimal_text(const char* field) { return {Conversion::TwoDecimalText, field}; }
constexpr Rule first_character(const char* field) { return {Conversion::FirstCharacter, field}; }
constexpr Rule constant(double value) { return {Conversion::Constant, nullptr, value}; }
constexpr Rule today() { return {Conversion::Today}; }

// The update modes a column is written in.
enum class In { BothModes, ChangesUpdate, FullUpdate };

struct ColumnMap {
  const char* column;  // local column, or named parameter
  Rule rule;
  In in = In::BothModes;
};

// What the rules need besides the answer row.
struct MappingScope {
  UpdateMode mode;
  const std::string& today;
};
inline MappingScope scope_of(const RunContext& ctx) { return {ctx.mode, ctx.today}; }

// The value `rule` makes of the answer's current row.
Value mapped_value(const Rule& rule, const RowSet& answer, const MappingScope& scope);

// Sets the mapped columns of the cursor's row being written, in table order.
void fill_row(TableCursor& cursor, const RowSet& answer, std::span<const ColumnMap> mapping, const MappingScope& scope);

// Sets the named parameters of `query` from the mapping, in table order.
void bind_row(LocalQuery& query, const RowSet& answer, std::span<const ColumnMap> mapping, const MappingScope& scope);

}  // namespace pos

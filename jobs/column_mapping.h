#pragma once
// Service-field to local-column mappings and the conversions the jobs name.

#include <span>
#include <string>

#include "localdb/table_cursor.h"
#include "packet/row_set.h"
#include "text/value.h"

namespace pos {

enum class Conversion {
  Text,             // the value as text; null gives empty text
  NumberFromText,   // the text read as a decimal number, 0 when empty or not a number
  Number,           // the numeric value, null reads as 0; a text that is not a number is an error
  WholeNumberText,  // number from text formatted "%8.f" (halves away from zero), blanks stripped
  TwoDecimalText,   // number formatted "%8.2f", leading blanks kept
  ValueCopy,        // the value with its own type; null stays null
  IntegerParse,     // the text as a decimal integer; `fallback_default` when empty or not an integer
};

struct ColumnMap {
  const char* column;  // local column
  Conversion conversion;
  const char* field;               // service field
  const char* fallback = nullptr;  // used instead of `field` when `field` is null
  bool full_update_only = false;
  int fallback_default = 0;  // default of IntegerParse
};

// The value that `conversion` makes of the current row's `field`.
Value convert_field(const RowSet& row, const char* field, Conversion conversion, int dflt = 0);

// Sets every mapped column of the cursor's row being written from the current row of `row`,
// in table order. `full_update` selects the columns marked full_update_only.
void fill_row(TableCursor& cursor, const RowSet& row, std::span<const ColumnMap> mapping, bool full_update);

// The first character of a Big5 text (one or two bytes); empty stays empty.
std::string first_character(const std::string& big5);

}  // namespace pos

#pragma once
// How a value set on a field becomes what its column stores.

#include "localdb/column_info.h"
#include "text/value.h"

namespace pos {

// Converts `v` for column `c`:
// - text columns take the text form, cut to the width in bytes before a Big5 character that
//   would not fit whole;
// - numeric columns read a text as a number (blanks around it ignored, empty text is null);
//   a text they cannot read, or a number out of the column's range, raises FieldValueError;
// - date and time columns take a text (the database reads it) and refuse numbers.
Value convert_for_column(const ColumnInfo& c, const Value& v);

}  // namespace pos

#pragma once
// What the database says about one column of a result or one statement parameter.

#include <string>

namespace pos {

enum class ColumnKind { Text, Integer, Scaled, Float, Date, Time, Timestamp, Boolean, Blob, DbKey, Other };

struct ColumnInfo {
  std::string name;      // alias in a result (the column name unless renamed), empty for a parameter
  std::string field;     // underlying column name, when there is one
  std::string relation;  // underlying table, when there is one
  ColumnKind kind = ColumnKind::Other;
  unsigned sql_type = 0;  // SQL_* code without the null bit
  unsigned length = 0;    // bytes in the message; for text: the width in bytes
  int scale = 0;          // negative for NUMERIC/DECIMAL with decimals
  unsigned sub_type = 0;
  bool nullable = true;

  bool is_text() const { return kind == ColumnKind::Text; }
  bool is_numeric() const {
    return kind == ColumnKind::Integer || kind == ColumnKind::Scaled || kind == ColumnKind::Float;
  }
};

}  // namespace pos

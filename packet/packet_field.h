#pragma once
// One column of a data packet, as its METADATA describes it.

#include <stdexcept>
#include <string>

namespace pos {

// How a packet column's values are written and read.
enum class FieldKind {
  Text,      // "string" (WIDTH in bytes), also "string.uni"
  Integer,   // "i1" "i2" "i4" "i8" "ui1" "ui2" "ui4"
  Float,     // "r8"
  Fixed,     // "fixed" / "fixedFMT" (DECIMALS, WIDTH)
  Boolean,   // "boolean": TRUE / FALSE
  Date,      // "date": yyyymmdd
  Time,      // "time": hh:nn:ssmmm
  DateTime,  // "dateTime": yyyymmddThh:nn:ssmmm
  Memo,      // "bin.hex" with SUBTYPE="Text"
};

struct PacketField {
  std::string name;
  FieldKind kind = FieldKind::Text;
  std::string type_name = "string";  // the fieldtype as declared ("i4", "r8", ...)
  int width = 0;                     // WIDTH for text and fixed columns
  int decimals = 0;                  // DECIMALS for fixed columns
};

// A packet that cannot be read, or a column that a row set does not have.
class PacketError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The field kind and declared type name for a fieldtype attribute (any letter case);
// throws PacketError for a type this program does not read.
PacketField field_of_type(std::string name, std::string type_name, int width = 0, int decimals = 0);

}  // namespace pos

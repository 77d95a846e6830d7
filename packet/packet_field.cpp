#include "packet/packet_field.h"

#include <strings.h>

namespace pos {

PacketField field_of_type(std::string name, std::string type_name, int width, int decimals) {
  struct Known {
    const char* type;
    FieldKind kind;
  };
  static const Known known[] = {
      {"string", FieldKind::Text},       {"string.uni", FieldKind::Text}, {"i1", FieldKind::Integer},
      {"i2", FieldKind::Integer},        {"i4", FieldKind::Integer},      {"i8", FieldKind::Integer},
      {"ui1", FieldKind::Integer},       {"ui2", FieldKind::Integer},     {"ui4", FieldKind::Integer},
      {"r8", FieldKind::Float},          {"fixed", FieldKind::Fixed},     {"fixedFMT", FieldKind::Fixed},
      {"boolean", FieldKind::Boolean},   {"date", FieldKind::Date},       {"time", FieldKind::Time},
      {"dateTime", FieldKind::DateTime}, {"bin.hex", FieldKind::Memo},
  };
  for (const auto& k : known) {
    if (strcasecmp(k.type, type_name.c_str()) == 0)
      return PacketField{std::move(name), k.kind, std::move(type_name), width, decimals};
  }
  throw PacketError("column " + name + " has the unknown field type '" + type_name + "'");
}

}  // namespace pos

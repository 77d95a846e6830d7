#pragma once
// Turns a result set into a UTF-8 data packet. Columns whose type the database declares are
// written as the rows arrive; a result with undeclared columns (expressions) is held until
// its last row so that each column's type and width come from its values.

#include <memory>
#include <string>
#include <vector>

#include "headoffice/storage/database.h"
#include "packet/packet_field.h"

namespace pos {
class PacketWriter;
}

namespace pos::headoffice {

class PacketSink : public RowSink {
 public:
  PacketSink();
  ~PacketSink() override;

  void columns(std::vector<ColumnInfo> columns) override;
  void row(std::span<const Value> values) override;

  // The finished packet; call once, after the statement has run.
  std::string finish();

 private:
  void start_writer();

  std::vector<ColumnInfo> columns_;
  bool streaming_ = false;
  std::vector<Value> held_;  // rows of a held result, one after the other
  std::vector<Value> scratch_;
  std::unique_ptr<PacketWriter> writer_;
};

// The columns under names fit for the packet: upper case (as the terminals' queries spell
// them; PostgreSQL answers in lower case), XML-safe, and unique.
std::vector<ColumnInfo> packet_columns(std::vector<ColumnInfo> columns);

// The packet field for a column of a known kind: string (WIDTH), i4, i8 or r8.
PacketField packet_field(const ColumnInfo& column);

// `v` in the form the column's kind asks for; throws DatabaseError for a value that does not
// fit (a fraction or a word in an integer column).
Value fit_value(const Value& v, const ColumnInfo& column);

}  // namespace pos::headoffice

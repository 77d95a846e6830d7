#pragma once
// The in-memory row set a service answer is loaded into: columns found by name without regard
// to case, a current row, values as text / float / typed value. Rows are stored compactly: each
// row's values one after the other in large blocks, with no heap object per value. Not
// thread-safe.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "packet/packet_field.h"
#include "text/value.h"

namespace pos {

class RowSet {
 public:
  // Replaces the content with the packet in `data` and stands on the first row. On failure the
  // row set is left empty and PacketError is thrown whose message is the whole of `data`.
  void load(std::string_view data);
  void clear();

  const std::vector<PacketField>& fields() const { return fields_; }
  std::size_t field_count() const { return fields_.size(); }
  std::optional<std::size_t> find_field(std::string_view name) const;
  std::size_t field_index(std::string_view name) const;  // PacketError naming a missing column

  std::size_t row_count() const { return rows_; }
  std::size_t recno() const { return rows_ == 0 ? 0 : std::min(cur_, rows_ - 1) + 1; }  // 1-based
  void first() { cur_ = 0; }
  void next() {
    if (cur_ < rows_) ++cur_;
  }
  bool eof() const { return cur_ >= rows_; }

  // The current row's values. A column the answer lacks is a PacketError naming it.
  // Past the last row values read as null.
  bool is_null(std::string_view field) const { return is_null(field_index(field)); }
  std::string text(std::string_view field) const { return text(field_index(field)); }  // null -> ""
  double as_float(std::string_view field) const { return as_float(field_index(field)); }
  Value value(std::string_view field) const { return value(field_index(field)); }

  bool is_null(std::size_t col) const;
  std::string text(std::size_t col) const;  // Big5; dates as YYYY/MM/DD[ HH:NN:SS]
  double as_float(std::size_t col) const;   // null -> 0; a text that is not a number is a PacketError
  Value value(std::size_t col) const;       // typed: Integer / Float / text; null stays null

  // Any row, 0-based.
  Value value_at(std::size_t row, std::size_t col) const;

  // Replaces the content with `rows` (0-based, in that order) of `from`, its columns the same, and
  // stands on the first.
  void copy_rows(const RowSet& from, const std::vector<std::size_t>& rows);

  // The row set as a data packet (UTF-8), as it is saved to a file.
  std::string to_packet() const;

  // Used by the packet reader while loading.
  void reset(std::vector<PacketField> fields);
  void begin_row();
  void set_raw(std::size_t col, std::string_view bytes);  // canonical text of the value (Big5 for text)
  void end_row();

 private:
  // A row is stored whole, in column order, in one block: each value as a varint of its length + 1
  // (0 for null) and its bytes. Blocks have a fixed size (a larger row gets a block of its own), so
  // growing never copies stored rows. A row is found by where it starts; the cells of the row read
  // last are kept decoded.
  static constexpr std::size_t kBlock = std::size_t{1} << 20;
  static constexpr std::size_t kFirstBlock = std::size_t{1} << 14;  // most answers are a few rows
  static constexpr std::uint32_t kNull = 0xFFFFFFFFu;
  struct Cell {
    std::uint32_t offset;  // from the row's start
    std::uint32_t length;  // kNull for null
  };
  const std::vector<Cell>& cells(std::size_t row) const;
  std::string_view raw(std::size_t row, std::size_t col) const;
  bool raw_null(std::size_t row, std::size_t col) const;

  std::vector<PacketField> fields_;
  std::unordered_map<std::string, std::size_t> by_name_;  // upper-cased field name -> position
  std::vector<std::string> blocks_;
  std::vector<std::uint64_t> row_at_;  // block index << 32 | offset in the block
  std::string pending_;                // the row being loaded: its values' bytes
  std::vector<Cell> pending_cells_;    // and where they are in `pending_`
  mutable std::size_t decoded_row_ = SIZE_MAX;
  mutable std::vector<Cell> decoded_;
  std::size_t rows_ = 0;
  std::size_t cur_ = 0;
};

}  // namespace pos

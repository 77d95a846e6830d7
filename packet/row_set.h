#pragma once
// The in-memory row set a service answer is loaded into: columns found by name without regard
// to case, a current row, values as text / float / typed value. Rows are stored compactly in one
// byte arena (no heap object per value). Not thread-safe.

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

  // The row set as a data packet (UTF-8), and saved to a file (overwritten).
  std::string to_packet() const;
  void save_to_file(const std::string& path) const;

  // Used by the packet reader while loading.
  void reset(std::vector<PacketField> fields);
  void reserve(std::size_t value_bytes);
  void begin_row();
  void set_raw(std::size_t col, std::string_view bytes);  // canonical text of the value (Big5 for text)
  void end_row();

 private:
  static constexpr std::uint32_t kNull = 0xFFFFFFFFu;
  struct Slot {
    std::uint32_t offset;
    std::uint32_t length;  // kNull for null
  };
  // Slots live in fixed blocks, so that a growing row set never copies them to a larger block.
  static constexpr std::size_t kSlotBlock = std::size_t{1} << 16;
  const Slot& slot(std::size_t i) const { return slot_blocks_[i / kSlotBlock][i % kSlotBlock]; }
  Slot& slot(std::size_t i) { return slot_blocks_[i / kSlotBlock][i % kSlotBlock]; }
  std::string_view raw(std::size_t row, std::size_t col) const;
  bool raw_null(std::size_t row, std::size_t col) const;

  std::vector<PacketField> fields_;
  std::unordered_map<std::string, std::size_t> by_name_;  // upper-cased field name -> position
  std::string arena_;
  std::vector<std::unique_ptr<Slot[]>> slot_blocks_;  // rows_ * fields_.size() slots in all
  std::size_t slot_count_ = 0;
  std::size_t rows_ = 0;
  std::size_t cur_ = 0;
};

}  // namespace pos

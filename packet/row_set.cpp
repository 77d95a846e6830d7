#include "packet/row_set.h"

#include <charconv>
#include <cmath>
#include <fstream>

#include "packet/packet_writer.h"
#include "text/ascii.h"
#include "text/number_format.h"

namespace pos {

namespace {

bool parse_double(std::string_view s, double& out) {
  s = trim_blanks(s);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  if (s.empty()) return false;
  auto r = std::from_chars(s.data(), s.data() + s.size(), out);
  return r.ec == std::errc() && r.ptr == s.data() + s.size() && std::isfinite(out);
}

bool parse_int(std::string_view s, std::int64_t& out) {
  s = trim_blanks(s);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  if (s.empty()) return false;
  auto r = std::from_chars(s.data(), s.data() + s.size(), out);
  return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

}  // namespace

void RowSet::clear() {
  fields_.clear();
  by_name_.clear();
  arena_.clear();
  arena_.shrink_to_fit();
  slot_blocks_.clear();
  slot_count_ = 0;
  rows_ = cur_ = 0;
}

std::optional<std::size_t> RowSet::find_field(std::string_view name) const {
  if (auto it = by_name_.find(ascii_upper(name)); it != by_name_.end()) return it->second;
  return std::nullopt;
}

std::size_t RowSet::field_index(std::string_view name) const {
  if (auto i = find_field(name)) return *i;
  throw PacketError("Field '" + std::string(name) + "' not found");
}

std::string_view RowSet::raw(std::size_t row, std::size_t col) const {
  const Slot& s = slot(row * fields_.size() + col);
  if (s.length == kNull) return {};
  return std::string_view(arena_).substr(s.offset, s.length);
}

bool RowSet::raw_null(std::size_t row, std::size_t col) const {
  return slot(row * fields_.size() + col).length == kNull;
}

bool RowSet::is_null(std::size_t col) const {
  if (col >= fields_.size()) throw PacketError("field number " + std::to_string(col + 1) + " not found");
  return eof() || raw_null(cur_, col);
}

std::string RowSet::text(std::size_t col) const {
  if (is_null(col)) return {};
  std::string_view r = raw(cur_, col);
  switch (fields_[col].kind) {
    case FieldKind::Float:
    case FieldKind::Fixed: {
      double d;
      return parse_double(r, d) ? format_float(d) : std::string(r);
    }
    case FieldKind::Boolean:
      return (r == "TRUE" || r == "true" || r == "1") ? "True" : "False";
    default:
      return std::string(r);
  }
}

double RowSet::as_float(std::size_t col) const {
  if (is_null(col)) return 0;
  std::string_view r = raw(cur_, col);
  if (fields_[col].kind == FieldKind::Boolean) return (r == "TRUE" || r == "true" || r == "1") ? 1 : 0;
  double d;
  if (!parse_double(r, d))
    throw PacketError("'" + std::string(r) + "' is not a valid floating point value (" + fields_[col].name + ")");
  return d;
}

Value RowSet::value_at(std::size_t row, std::size_t col) const {
  if (row >= rows_ || col >= fields_.size() || raw_null(row, col)) return Value();
  std::string_view r = raw(row, col);
  switch (fields_[col].kind) {
    case FieldKind::Integer: {
      std::int64_t n;
      if (parse_int(r, n)) return Value(n);
      break;
    }
    case FieldKind::Float:
    case FieldKind::Fixed: {
      double d;
      if (parse_double(r, d)) return Value(d);
      break;
    }
    case FieldKind::Boolean:
      return Value(static_cast<std::int64_t>(r == "TRUE" || r == "true" || r == "1"));
    default:
      break;
  }
  return Value(std::string(r));
}

Value RowSet::value(std::size_t col) const {
  if (col >= fields_.size()) throw PacketError("field number " + std::to_string(col + 1) + " not found");
  return eof() ? Value() : value_at(cur_, col);
}

void RowSet::reset(std::vector<PacketField> fields) {
  clear();
  fields_ = std::move(fields);
  for (std::size_t i = 0; i < fields_.size(); ++i) by_name_.emplace(ascii_upper(fields_[i].name), i);
}

void RowSet::reserve(std::size_t value_bytes) { arena_.reserve(value_bytes); }

void RowSet::begin_row() {
  for (std::size_t i = 0; i < fields_.size(); ++i, ++slot_count_) {
    if (slot_count_ % kSlotBlock == 0) slot_blocks_.push_back(std::make_unique<Slot[]>(kSlotBlock));
    slot(slot_count_) = Slot{0, kNull};
  }
}

void RowSet::set_raw(std::size_t col, std::string_view bytes) {
  Slot& s = slot(rows_ * fields_.size() + col);
  s.offset = static_cast<std::uint32_t>(arena_.size());
  s.length = static_cast<std::uint32_t>(bytes.size());
  arena_.append(bytes);
}

void RowSet::end_row() { ++rows_; }

std::string RowSet::to_packet() const {
  PacketWriter w(fields_, false);
  std::vector<Value> row(fields_.size());
  for (std::size_t r = 0; r < rows_; ++r) {
    for (std::size_t c = 0; c < fields_.size(); ++c) {
      // Raw forms travel unchanged; only dates go back to their packet form through the writer.
      row[c] = raw_null(r, c) ? Value() : Value(std::string(raw(r, c)));
    }
    w.add_row(row);
  }
  return w.finish();
}

void RowSet::save_to_file(const std::string& path) const {
  std::string data = to_packet();
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(data.data(), static_cast<std::streamsize>(data.size()));
  out.close();
  if (!out) throw PacketError("cannot write " + path);
}

}  // namespace pos

#include "packet/row_set.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string_view>

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
  blocks_.clear();
  row_at_.clear();
  row_at_.shrink_to_fit();
  pending_.clear();
  pending_cells_.clear();
  decoded_row_ = SIZE_MAX;
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

const std::vector<RowSet::Cell>& RowSet::cells(std::size_t row) const {
  if (decoded_row_ == row) return decoded_;
  const std::string& block = blocks_[row_at_[row] >> 32];
  const auto* p = reinterpret_cast<const unsigned char*>(block.data()) + (row_at_[row] & 0xFFFFFFFFu);
  const auto* start = p;
  decoded_.resize(fields_.size());
  for (Cell& c : decoded_) {
    std::uint64_t n = 0;
    for (int shift = 0;; shift += 7) {
      const unsigned char b = *p++;
      n |= static_cast<std::uint64_t>(b & 0x7F) << shift;
      if (!(b & 0x80)) break;
    }
    c.offset = static_cast<std::uint32_t>(p - start);
    c.length = n == 0 ? kNull : static_cast<std::uint32_t>(n - 1);
    if (n) p += n - 1;
  }
  decoded_row_ = row;
  return decoded_;
}

std::string_view RowSet::raw(std::size_t row, std::size_t col) const {
  const Cell& c = cells(row)[col];
  if (c.length == kNull) return {};
  const std::string& block = blocks_[row_at_[row] >> 32];
  return std::string_view(block).substr((row_at_[row] & 0xFFFFFFFFu) + c.offset, c.length);
}

bool RowSet::raw_null(std::size_t row, std::size_t col) const { return cells(row)[col].length == kNull; }

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

void RowSet::copy_rows(const RowSet& from, const std::vector<std::size_t>& rows) {
  reset(from.fields_);
  for (std::size_t r : rows) {
    begin_row();
    for (std::size_t c = 0; c < fields_.size(); ++c)
      if (!from.raw_null(r, c)) set_raw(c, from.raw(r, c));
    end_row();
  }
  first();
}

void RowSet::reset(std::vector<PacketField> fields) {
  clear();
  fields_ = std::move(fields);
  for (std::size_t i = 0; i < fields_.size(); ++i) by_name_.emplace(ascii_upper(fields_[i].name), i);
}

void RowSet::begin_row() {
  pending_.clear();
  pending_cells_.assign(fields_.size(), Cell{0, kNull});
}

void RowSet::set_raw(std::size_t col, std::string_view bytes) {
  pending_cells_[col] = Cell{static_cast<std::uint32_t>(pending_.size()), static_cast<std::uint32_t>(bytes.size())};
  pending_.append(bytes);
}

void RowSet::end_row() {
  auto varint_size = [](std::uint64_t n) {
    std::size_t bytes = 1;
    for (; n >= 0x80; n >>= 7) ++bytes;
    return bytes;
  };
  std::size_t size = pending_.size();
  for (const Cell& c : pending_cells_) size += varint_size(c.length == kNull ? 0 : c.length + std::uint64_t{1});
  if (blocks_.empty() || blocks_.back().capacity() - blocks_.back().size() < size) {
    blocks_.emplace_back();
    blocks_.back().reserve(std::max(blocks_.size() == 1 ? kFirstBlock : kBlock, size));
  }
  std::string& block = blocks_.back();
  row_at_.push_back(static_cast<std::uint64_t>(blocks_.size() - 1) << 32 | block.size());
  for (const Cell& c : pending_cells_) {
    std::uint64_t n = c.length == kNull ? 0 : c.length + std::uint64_t{1};
    for (; n >= 0x80; n >>= 7) block += static_cast<char>((n & 0x7F) | 0x80);
    block += static_cast<char>(n);
    if (c.length != kNull) block.append(pending_, c.offset, c.length);
  }
  ++rows_;
}

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

}  // namespace pos

#include "headoffice/packet_sink.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>

#include "packet/packet_writer.h"
#include "text/ascii.h"

namespace pos::headoffice {
namespace {

bool parse_int(const std::string& s, std::int64_t& out) {
  if (s.empty()) return false;
  errno = 0;
  char* end = nullptr;
  const long long n = std::strtoll(s.c_str(), &end, 10);
  if (errno != 0 || *end != '\0') return false;
  out = n;
  return true;
}

bool parse_double(const std::string& s, double& out) {
  if (s.empty()) return false;
  char* end = nullptr;
  const double d = std::strtod(s.c_str(), &end);
  if (*end != '\0' || !std::isfinite(d)) return false;
  out = d;
  return true;
}

[[noreturn]] void misfit(const Value& v, const ColumnInfo& c, const char* what) {
  throw DatabaseError("column " + c.name + " holds '" + v.as_text() + "' where " + what + " is declared");
}

// The narrowest kind that holds every value of a held column.
ColumnKind kind_of_values(const std::vector<Value>& held, std::size_t col, std::size_t ncols) {
  bool any = false, all_int = true, all_num = true, big = false;
  for (std::size_t i = col; i < held.size(); i += ncols) {
    const Value& v = held[i];
    if (v.is_null()) continue;
    any = true;
    if (v.is_integer()) {
      if (v.integer() > INT32_MAX || v.integer() < INT32_MIN) big = true;
    } else if (v.is_float()) {
      all_int = false;
    } else {
      all_int = all_num = false;
    }
  }
  if (!any || !all_num) return ColumnKind::Text;
  if (all_int) return big ? ColumnKind::BigInteger : ColumnKind::Integer;
  return ColumnKind::Float;
}

int text_width(const std::vector<Value>& held, std::size_t col, std::size_t ncols) {
  std::size_t width = 1;
  for (std::size_t i = col; i < held.size(); i += ncols) {
    if (!held[i].is_null()) width = std::max(width, held[i].as_text().size());
  }
  return static_cast<int>(width);
}

// A column name that can stand as an XML attribute name: letters, digits, '_', '.', '-';
// anything else becomes '_'. An expression column keeps a readable name ("COUNT(*)" -> "COUNT___").
std::string attribute_name(const std::string& raw, std::size_t index) {
  std::string name;
  for (char ch : raw) {
    const unsigned char c = static_cast<unsigned char>(ch);
    name += std::isalnum(c) || c == '_' || c == '.' || c == '-' ? ascii_upper(ch) : '_';
  }
  if (name.empty()) name = "COLUMN" + std::to_string(index + 1);
  if (!std::isalpha(static_cast<unsigned char>(name[0])) && name[0] != '_') name = "_" + name;
  return name;
}

}  // namespace

std::vector<ColumnInfo> packet_columns(std::vector<ColumnInfo> columns) {
  std::vector<std::string> taken;
  for (std::size_t i = 0; i < columns.size(); ++i) {
    std::string name = attribute_name(columns[i].name, i);
    // A repeated name (A.ID and B.ID) gets a suffix, as the first keeps the plain one.
    const std::string base = name;
    for (int n = 1; std::find(taken.begin(), taken.end(), name) != taken.end(); ++n) {
      name = base + "_" + std::to_string(n);
    }
    taken.push_back(name);
    columns[i].name = std::move(name);
  }
  return columns;
}

PacketField packet_field(const ColumnInfo& column) {
  const std::string& name = column.name;
  switch (column.kind) {
    case ColumnKind::Integer:
      return field_of_type(name, "i4");
    case ColumnKind::BigInteger:
      return field_of_type(name, "i8");
    case ColumnKind::Float:
      return field_of_type(name, "r8");
    default:
      return field_of_type(name, "string", std::max(column.width, 1));
  }
}

Value fit_value(const Value& v, const ColumnInfo& c) {
  if (v.is_null()) return v;
  switch (c.kind) {
    case ColumnKind::Integer:
    case ColumnKind::BigInteger: {
      std::int64_t n = 0;
      if (v.is_integer()) {
        n = v.integer();
      } else if (v.is_float()) {
        if (v.number() != std::trunc(v.number()) || std::fabs(v.number()) > 9.0e15) misfit(v, c, "an integer");
        n = static_cast<std::int64_t>(v.number());
      } else if (!parse_int(v.text(), n)) {
        misfit(v, c, "an integer");
      }
      if (c.kind == ColumnKind::Integer && (n > INT32_MAX || n < INT32_MIN)) misfit(v, c, "a 32-bit integer");
      return Value(n);
    }
    case ColumnKind::Float: {
      if (v.is_float()) return v;
      if (v.is_integer()) return Value(static_cast<double>(v.integer()));
      double d = 0;
      if (!parse_double(v.text(), d)) misfit(v, c, "a number");
      return Value(d);
    }
    default:
      return v.is_text() ? v : Value(v.as_text());
  }
}

PacketSink::PacketSink() = default;
PacketSink::~PacketSink() = default;

void PacketSink::columns(std::vector<ColumnInfo> columns) {
  columns_ = packet_columns(std::move(columns));
  streaming_ = std::all_of(columns_.begin(), columns_.end(), [](const ColumnInfo& c) {
    return c.kind != ColumnKind::Unknown && (c.kind != ColumnKind::Text || c.width > 0);
  });
  scratch_.resize(columns_.size());
  if (streaming_) start_writer();
}

void PacketSink::start_writer() {
  std::vector<PacketField> fields;
  fields.reserve(columns_.size());
  for (const auto& c : columns_) fields.push_back(packet_field(c));
  writer_ = std::make_unique<PacketWriter>(std::move(fields), true);
}

void PacketSink::row(std::span<const Value> values) {
  if (!streaming_) {
    held_.insert(held_.end(), values.begin(), values.end());
    return;
  }
  for (std::size_t i = 0; i < values.size(); ++i) scratch_[i] = fit_value(values[i], columns_[i]);
  writer_->add_row(scratch_);
}

std::string PacketSink::finish() {
  if (!streaming_) {
    const std::size_t n = columns_.size();
    for (std::size_t col = 0; col < n; ++col) {
      ColumnInfo& c = columns_[col];
      if (c.kind == ColumnKind::Unknown) c.kind = kind_of_values(held_, col, n);
      if (c.kind == ColumnKind::Text && c.width == 0) c.width = text_width(held_, col, n);
    }
    start_writer();
    for (std::size_t r = 0; n && r < held_.size() / n; ++r) {
      for (std::size_t col = 0; col < n; ++col) scratch_[col] = fit_value(held_[r * n + col], columns_[col]);
      writer_->add_row(scratch_);
    }
    held_.clear();
  }
  if (!writer_) start_writer();
  return writer_->finish();
}

}  // namespace pos::headoffice

#include "packet/packet_writer.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "packet/xml_text.h"
#include "text/big5.h"

namespace pos {

namespace {

std::string float_text(double d) {
  char buf[32];
  auto r = std::to_chars(buf, buf + sizeof buf, d);
  return std::string(buf, r.ptr);
}

std::string digits_only(std::string_view s) {
  std::string out;
  for (char c : s)
    if (c >= '0' && c <= '9') out += c;
  return out;
}

// "YYYY/MM/DD[ HH:NN:SS]" (any separators) -> the packet's date, time and dateTime forms.
std::string packet_date(FieldKind kind, const std::string& text) {
  std::string d = digits_only(text);
  if (kind == FieldKind::Date) return d.substr(0, 8);
  if (kind == FieldKind::Time) {
    d.resize(6, '0');
    return d.substr(0, 2) + ":" + d.substr(2, 2) + ":" + d.substr(4, 2) + "000";
  }
  d.resize(14, '0');
  return d.substr(0, 8) + "T" + d.substr(8, 2) + ":" + d.substr(10, 2) + ":" + d.substr(12, 2) + "000";
}

}  // namespace

PacketWriter::PacketWriter(std::vector<PacketField> fields, bool texts_are_utf8)
    : fields_(std::move(fields)), utf8_(texts_are_utf8) {}

// Column names are text like the values: Big5 unless the writer was told otherwise.
std::string PacketWriter::utf8_name(const PacketField& f) const {
  return utf8_ || xml::is_ascii(f.name) ? f.name : big5_to_utf8_lossy(f.name);
}

void PacketWriter::add_row(std::span<const Value> values) {
  body_ += "<ROW";
  for (std::size_t i = 0; i < fields_.size() && i < values.size(); ++i) {
    const Value& v = values[i];
    if (v.is_null()) continue;
    const PacketField& f = fields_[i];
    std::string text;
    switch (f.kind) {
      case FieldKind::Text:
      case FieldKind::Memo:
        text = v.as_text();
        if (!utf8_ && !xml::is_ascii(text)) text = big5_to_utf8_lossy(text);
        break;
      case FieldKind::Integer:
        text = v.is_float() ? std::to_string(std::llround(v.number())) : v.as_text();
        break;
      case FieldKind::Float:
        text = v.is_float() ? float_text(v.number()) : v.as_text();
        break;
      case FieldKind::Fixed:
        if (v.is_float()) {
          char buf[64];
          std::snprintf(buf, sizeof buf, "%.*f", f.decimals, v.number());
          text = buf;
        } else {
          text = v.as_text();
        }
        break;
      case FieldKind::Boolean: {
        bool b = v.is_text() ? (v.text() == "TRUE" || v.text() == "True" || v.text() == "true" || v.text() == "1")
                             : (v.is_integer() ? v.integer() != 0 : v.number() != 0);
        text = b ? "TRUE" : "FALSE";
        break;
      }
      case FieldKind::Date:
      case FieldKind::Time:
      case FieldKind::DateTime:
        text = packet_date(f.kind, v.as_text());
        break;
    }
    body_ += ' ';
    xml::append_escaped(body_, utf8_name(f));
    body_ += "=\"";
    xml::append_escaped(body_, text);
    body_ += '"';
  }
  body_ += "/>\n";
  ++rows_;
}

std::string PacketWriter::finish() {
  std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";
  out.reserve(body_.size() + 256 + fields_.size() * 64);
  out += "<DATAPACKET Version=\"2.0\"><METADATA><FIELDS>\n";
  for (const auto& f : fields_) {
    out += "<FIELD attrname=\"";
    xml::append_escaped(out, utf8_name(f));
    out += "\" fieldtype=\"" + f.type_name + "\"";
    if ((f.kind == FieldKind::Text || f.kind == FieldKind::Fixed) && f.width > 0)
      out += " WIDTH=\"" + std::to_string(f.width) + "\"";
    if (f.kind == FieldKind::Fixed) out += " DECIMALS=\"" + std::to_string(f.decimals) + "\"";
    if (f.kind == FieldKind::Memo) out += " SUBTYPE=\"Text\"";
    out += "/>\n";
  }
  out += "</FIELDS><PARAMS/></METADATA><ROWDATA>\n";
  out += body_;
  out += "</ROWDATA></DATAPACKET>\n";
  body_.clear();
  rows_ = 0;
  return out;
}

}  // namespace pos

// Streaming reader of XML data packets into a RowSet: PacketLoader, and RowSet::load over it.

#include <expat.h>
#include <strings.h>

#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "packet/packet_loader.h"
#include "packet/row_set.h"
#include "packet/xml_text.h"
#include "text/ascii.h"
#include "text/big5.h"

namespace pos {

namespace {

bool same(const char* a, const char* b) { return strcasecmp(a, b) == 0; }

enum class Source { Utf8, Big5 };

// Decides how the document's bytes are read from its XML declaration; none means Big5.
// Big5 is parsed as ISO-8859-1 so that every byte reaches the handlers unchanged as one code point.
bool source_encoding(std::string_view doc, Source& src) {
  src = Source::Big5;
  if (doc.substr(0, 5) != "<?xml") return true;
  std::string_view decl = doc.substr(0, doc.find("?>"));
  auto at = decl.find("encoding");
  if (at == std::string_view::npos) return true;
  auto q = decl.find_first_of("\"'", at);
  if (q == std::string_view::npos) return false;
  auto end = decl.find(decl[q], q + 1);
  if (end == std::string_view::npos) return false;
  std::string name = ascii_upper(decl.substr(q + 1, end - q - 1));
  if (name == "UTF-8" || name == "UTF8" || name == "US-ASCII" || name == "ASCII") {
    src = Source::Utf8;
    return true;
  }
  return name == "BIG5" || name == "CP950" || name == "BIG5-HKSCS" || name == "X-BIG5" || name == "WINDOWS-950" ||
         name == "MS950";
}

struct Reader {
  Reader(RowSet& r, Source s) : rs(r), src(s) {}
  RowSet& rs;
  Source src;
  XML_Parser parser = nullptr;
  std::string error;
  int depth = 0;
  bool in_metadata = false, in_fields = false, in_rowdata = false, fields_done = false, seen_root = false;
  std::vector<PacketField> fields;
  std::unordered_map<std::string, std::size_t> by_name;  // upper-cased field names
  std::string scratch;

  void fail(std::string why) {
    if (error.empty()) error = std::move(why);
    XML_StopParser(parser, XML_FALSE);
  }

  // Text of an attribute value as the program keeps it (Big5 bytes).
  std::string_view decode_text(const char* utf8) {
    std::size_t n = std::strlen(utf8);
    std::string_view in(utf8, n);
    if (xml::is_ascii(in)) return in;
    if (src == Source::Utf8) {
      scratch = utf8_to_big5_lossy(in);
      return scratch;
    }
    // ISO-8859-1 trick: code points up to U+00FF are the original bytes; a character reference
    // beyond that is converted to Big5.
    scratch.clear();
    for (std::size_t i = 0; i < n;) {
      auto b = static_cast<unsigned char>(utf8[i]);
      if (b < 0x80) {
        scratch += static_cast<char>(b);
        ++i;
      } else if (b == 0xC2 || b == 0xC3) {
        scratch += static_cast<char>(((b & 0x03) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3F));
        i += 2;
      } else {
        std::size_t len = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : 2;
        scratch += utf8_to_big5_lossy(in.substr(i, len));
        i += len;
      }
    }
    return scratch;
  }

  // Canonical text of a date, time or dateTime value: YYYY/MM/DD, HH:NN:SS, YYYY/MM/DD HH:NN:SS.
  bool canonical_date(FieldKind kind, std::string_view v, std::string& out) {
    auto digits = [](std::string_view s) {
      for (char c : s)
        if (c < '0' || c > '9') return false;
      return true;
    };
    std::string_view date, time;
    if (kind == FieldKind::Date) {
      date = v;
    } else if (kind == FieldKind::Time) {
      time = v;
    } else {
      auto t = v.find_first_of("Tt");
      if (t == std::string_view::npos) return false;
      date = v.substr(0, t);
      time = v.substr(t + 1);
    }
    out.clear();
    if (kind != FieldKind::Time) {
      if (date.size() != 8 || !digits(date)) return false;
      out.append(date.substr(0, 4)).append("/").append(date.substr(4, 2)).append("/").append(date.substr(6, 2));
    }
    if (kind != FieldKind::Date) {
      if (time.size() < 8 || time[2] != ':' || time[5] != ':') return false;
      if (!out.empty()) out += ' ';
      out.append(time.substr(0, 8));
    }
    return true;
  }

  void start(const char* name, const char** atts) {
    ++depth;
    if (depth == 1) {
      if (!same(name, "DATAPACKET")) return fail(std::string("unknown root element ") + name);
      seen_root = true;
      return;
    }
    if (depth == 2 && same(name, "METADATA")) {
      in_metadata = true;
    } else if (depth == 3 && in_metadata && same(name, "FIELDS")) {
      in_fields = true;
    } else if (depth == 4 && in_fields && same(name, "FIELD")) {
      field(atts);
    } else if (depth == 2 && same(name, "ROWDATA")) {
      in_rowdata = true;
      if (!fields_done) finish_fields();
    } else if (depth == 3 && in_rowdata && same(name, "ROW")) {
      row(atts);
    }
  }

  void end(const char*) {
    if (depth == 2) in_metadata = false, in_rowdata = false;
    if (depth == 3) in_fields = false;
    --depth;
  }

  void field(const char** atts) {
    // The row set's columns are fixed once rows have begun.
    if (fields_done) return fail("a FIELD after ROWDATA");
    std::string name, type;
    int width = 0, decimals = 0;
    bool has_name = false;
    for (const char** a = atts; *a; a += 2) {
      if (same(a[0], "attrname")) {
        name = std::string(decode_text(a[1]));
        has_name = true;
      } else if (same(a[0], "fieldtype")) {
        type = a[1];
      } else if (same(a[0], "WIDTH")) {
        width = std::atoi(a[1]);
      } else if (same(a[0], "DECIMALS")) {
        decimals = std::atoi(a[1]);
      }
    }
    if (!has_name) return fail("a FIELD without attrname");
    try {
      fields.push_back(field_of_type(name, type, width, decimals));
    } catch (const PacketError& e) {
      return fail(e.what());
    }
    by_name.emplace(ascii_upper(name), fields.size() - 1);
  }

  void finish_fields() {
    rs.reset(fields);
    fields_done = true;
  }

  void row(const char** atts) {
    if (!fields_done) finish_fields();
    rs.begin_row();
    std::size_t hint = 0;
    for (const char** a = atts; *a; a += 2) {
      // The attribute's name in the row set's text, like the FIELD's attrname (used up before the
      // value is decoded into the same scratch buffer).
      const std::string_view attr = decode_text(a[0]);
      std::size_t col;
      if (hint < fields.size() && attr.size() == fields[hint].name.size() &&
          strncasecmp(attr.data(), fields[hint].name.data(), attr.size()) == 0) {
        col = hint;
      } else {
        auto it = by_name.find(ascii_upper(attr));
        if (it == by_name.end()) {
          if (same(a[0], "RowState")) continue;
          return fail(std::string("a ROW attribute names no field: ") + a[0]);
        }
        col = it->second;
      }
      hint = col + 1;
      FieldKind kind = fields[col].kind;
      if (kind == FieldKind::Date || kind == FieldKind::Time || kind == FieldKind::DateTime) {
        std::string out;
        if (!canonical_date(kind, a[1], out)) return fail("bad " + fields[col].type_name + " value " + a[1]);
        rs.set_raw(col, out);
      } else {
        rs.set_raw(col, decode_text(a[1]));
      }
    }
    rs.end_row();
  }
};

void XMLCALL on_start(void* ud, const XML_Char* name, const XML_Char** atts) {
  static_cast<Reader*>(ud)->start(name, atts);
}
void XMLCALL on_end(void* ud, const XML_Char* name) { static_cast<Reader*>(ud)->end(name); }

}  // namespace

struct PacketLoader::Impl {
  explicit Impl(RowSet& target) : rs(target), reader(target, Source::Big5) {}
  ~Impl() {
    if (reader.parser) XML_ParserFree(reader.parser);
  }

  // Parses `piece`; false when the document failed.
  bool parse(std::string_view piece, bool last) {
    // expat takes an int length: a huge piece goes in parts.
    constexpr std::size_t kMost = 1 << 30;
    do {
      const std::size_t len = std::min(kMost, piece.size());
      const bool end = last && len == piece.size();
      if (XML_Parse(reader.parser, piece.data(), static_cast<int>(len), end) != XML_STATUS_OK) return false;
      piece.remove_prefix(len);
    } while (!piece.empty());
    return reader.error.empty();
  }

  // Starts the parser once the document's start shows its encoding: a byte-order mark, blanks, and
  // the XML declaration when there is one.
  bool start(bool last) {
    std::string_view doc = head;
    const bool bom = doc.substr(0, 3) == "\xEF\xBB\xBF";
    if (bom) doc.remove_prefix(3);
    while (!doc.empty() && (doc.front() == ' ' || doc.front() == '\t' || doc.front() == '\r' || doc.front() == '\n'))
      doc.remove_prefix(1);
    if (!last) {
      if (head.size() < 3 && std::string_view("\xEF\xBB\xBF").starts_with(head)) return true;
      if (doc.size() < 5 && std::string_view("<?xml").starts_with(doc)) return true;  // not yet known
    }
    // The declaration is read whole before the parser starts, so that its encoding counts however
    // the answer arrives; none is anywhere near this long.
    if (doc.starts_with("<?xml") && doc.find("?>") == std::string_view::npos) return !last && head.size() < 4096;
    Source src;
    if (!source_encoding(doc, src)) return false;
    if (bom) src = Source::Utf8;
    reader.src = src;
    reader.parser = XML_ParserCreate(src == Source::Utf8 ? "UTF-8" : "ISO-8859-1");
    XML_SetUserData(reader.parser, &reader);
    XML_SetElementHandler(reader.parser, on_start, on_end);
    started = true;
    const std::string rest(doc);
    head.clear();
    head.shrink_to_fit();
    return parse(rest, last);
  }

  RowSet& rs;
  Reader reader;
  std::string head;  // the document's start, until the parser starts
  bool started = false, failed = false;
};

PacketLoader::PacketLoader(RowSet& target) : impl_(std::make_unique<Impl>(target)) { target.clear(); }

PacketLoader::~PacketLoader() = default;

bool PacketLoader::feed(std::string_view piece) {
  Impl& m = *impl_;
  if (m.failed) return false;
  if (m.started) {
    m.failed = !m.parse(piece, false);
  } else {
    m.head.append(piece);
    m.failed = !m.start(false);
  }
  return !m.failed;
}

bool PacketLoader::finish() {
  Impl& m = *impl_;
  if (!m.failed) m.failed = m.started ? !m.parse({}, true) : !m.start(true);
  if (!m.failed && !m.reader.seen_root) m.failed = true;
  if (!m.failed && !m.reader.fields_done) m.reader.finish_fields();  // a packet without ROWDATA has no rows
  if (m.failed) {
    m.rs.clear();
    return false;
  }
  m.rs.first();
  return true;
}

void RowSet::load(std::string_view data) {
  PacketLoader loader(*this);
  // Fed in pieces: given the whole document at once expat would keep a copy of all of it.
  constexpr std::size_t kPiece = 1 << 20;
  for (std::size_t at = 0; at < data.size(); at += kPiece)
    if (!loader.feed(data.substr(at, kPiece))) break;
  if (!loader.finish()) throw PacketError(std::string(data));
}

}  // namespace pos

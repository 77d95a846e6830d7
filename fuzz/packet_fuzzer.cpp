// Arbitrary bytes through PacketLoader in arbitrary pieces. The first four bytes choose the piece
// sizes; the rest is the answer. Whatever loads is read field by field and saved as a packet again.
// A crash, a sanitizer report or a broken property below is a finding.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "packet/packet_loader.h"
#include "packet/row_set.h"

namespace {

void check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "property broken: %s\n", what);
    std::abort();
  }
}

// Piece sizes from a small generator: mostly short, now and then long.
std::vector<std::size_t> pieces(std::uint32_t seed, std::size_t total) {
  std::vector<std::size_t> out;
  for (std::size_t at = 0; at < total;) {
    seed = seed * 1664525u + 1013904223u;
    std::size_t n = (seed >> 16) % 8 == 0 ? (seed >> 8) % 4096 + 1 : (seed >> 16) % 17 + 1;
    if (n > total - at) n = total - at;
    out.push_back(n);
    at += n;
  }
  return out;
}

// An ASCII name that XML takes as an attribute name.
bool plain_name(std::string_view name) {
  if (name.empty() || (name[0] >= '0' && name[0] <= '9')) return false;
  for (char c : name)
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_')) return false;
  return true;
}

// Every column of every row in each form a job asks for.
void read_all(pos::RowSet& rows) {
  for (rows.first(); !rows.eof(); rows.next()) {
    for (std::size_t c = 0; c < rows.field_count(); ++c) {
      const std::string& name = rows.fields()[c].name;
      check(rows.find_field(name).has_value(), "a loaded field is found by its name");
      (void)rows.is_null(c);
      (void)rows.text(c);
      (void)rows.value(c).as_text();
      try {
        (void)rows.as_float(c);
      } catch (const pos::PacketError&) {
        // a text that is not a number: the documented error
      }
    }
    check(rows.recno() >= 1 && rows.recno() <= rows.row_count(), "recno within the rows");
  }
  (void)rows.value_at(rows.row_count(), 0);  // past the end reads as null
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  const std::uint32_t seed = data[0] | data[1] << 8 | data[2] << 16 | static_cast<std::uint32_t>(data[3]) << 24;
  const std::string_view doc(reinterpret_cast<const char*>(data) + 4, size - 4);

  pos::RowSet piecewise;
  bool loaded;
  {
    pos::PacketLoader loader(piecewise);
    std::size_t at = 0;
    for (std::size_t n : pieces(seed, doc.size())) {
      if (!loader.feed(doc.substr(at, n))) break;
      at += n;
    }
    loaded = loader.finish();
  }

  // The same answer whole must give the same outcome.
  pos::RowSet whole;
  bool whole_loaded = true;
  try {
    whole.load(doc);
  } catch (const pos::PacketError& e) {
    whole_loaded = false;
    // what() is a C string: it ends at the answer's first NUL byte.
    check(std::string_view(e.what()) == doc.substr(0, doc.find('\0')), "the load error's message is the whole answer");
  }
  check(loaded == whole_loaded, "the outcome does not depend on the pieces");
  if (!loaded) {
    check(piecewise.row_count() == 0 && piecewise.field_count() == 0, "a failed load leaves the row set empty");
    return 0;
  }
  check(piecewise.row_count() == whole.row_count(), "the same rows whatever the pieces");
  check(piecewise.recno() == (piecewise.row_count() ? 1u : 0u), "a loaded row set stands on its first row");
  read_all(piecewise);

  // Saved and loaded again, it keeps its columns and rows, as long as every column name can stand
  // as an attribute name of a ROW (what service tables have).
  for (const auto& f : piecewise.fields())
    if (!plain_name(f.name)) return 0;
  pos::RowSet again;
  try {
    again.load(piecewise.to_packet());
  } catch (const pos::PacketError&) {
    check(false, "a saved row set loads again");
  }
  check(again.field_count() == piecewise.field_count(), "the saved packet keeps the columns");
  check(again.row_count() == piecewise.row_count(), "the saved packet keeps the rows");
  return 0;
}

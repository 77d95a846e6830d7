#pragma once
// Loads a data packet into a RowSet from pieces, as they arrive, so that the whole document is
// never held: only the row set's compact values and a small part of the document being parsed.

#include <cstddef>
#include <memory>
#include <string_view>

namespace pos {

class RowSet;

class PacketLoader {
 public:
  // Empties `target`.
  explicit PacketLoader(RowSet& target);
  ~PacketLoader();
  PacketLoader(const PacketLoader&) = delete;
  PacketLoader& operator=(const PacketLoader&) = delete;

  // Takes the next piece of the document. False once the document is known not to be a packet;
  // later pieces are then ignored.
  bool feed(std::string_view piece);

  // Ends the document. True when it was a whole packet: the row set holds it and stands on its
  // first row. Otherwise the row set is left empty.
  bool finish();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace pos

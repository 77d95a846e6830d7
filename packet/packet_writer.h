#pragma once
// Builds an XML data packet (UTF-8) from columns and rows. Always well-formed: every special
// character in a value is escaped; characters XML cannot carry at all are written as '?'.

#include <span>
#include <string>
#include <vector>

#include "packet/packet_field.h"
#include "text/value.h"

namespace pos {

class PacketWriter {
 public:
  // `texts_are_utf8`: text values are UTF-8 already (else they are Big5 and converted).
  explicit PacketWriter(std::vector<PacketField> fields, bool texts_are_utf8 = false);

  // Adds a row: one value per field, null for an absent attribute. Numbers are written in the
  // field's form (r8 shortest with 15 digits, fixed with its decimals, boolean TRUE/FALSE);
  // dates are taken as "YYYY/MM/DD[ HH:NN:SS]" texts.
  void add_row(std::span<const Value> values);

  // The whole document; the writer is empty afterwards.
  std::string finish();

  std::size_t rows() const { return rows_; }

 private:
  std::string utf8_name(const PacketField& f) const;

  std::vector<PacketField> fields_;
  bool utf8_;
  std::string body_;
  std::size_t rows_ = 0;
};

}  // namespace pos

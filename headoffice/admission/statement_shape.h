#pragma once
// A statement reduced to its shape: the text outside quoted values, upper-cased, with each run of
// blanks as one blank and a final ';' left out, and each value as a hole. A quoted value is one
// hole; a parenthesised list of quoted values ("('K1', 'K2')", as the terminal writes it) is one
// hole as well, whatever its length.

#include <string>
#include <string_view>
#include <vector>

namespace pos::headoffice {

struct StatementShape {
  static constexpr char kValue = '\x01';  // a hole for one quoted value
  static constexpr char kList = '\x02';   // a hole for a list of them

  std::string skeleton;
  // Per hole, in order: the value between its quotes (a doubled quote stays doubled), or the
  // whole list with its parentheses. Views into the statement.
  std::vector<std::string_view> holes;
  // False when the statement cannot have a shape: a quote left open, or a control character or
  // a hole marker outside the values.
  bool well_formed = true;
};

StatementShape shape_of(std::string_view sql);

}  // namespace pos::headoffice

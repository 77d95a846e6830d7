#pragma once
// Admission of a signed-in client's statements against the statement catalogue: a statement is
// admitted when it has the shape of a catalogue line for its endpoint, every fixed value of the
// line is the statement's, and every {machine} value is the client's own machine number (as it
// stands or upper-cased, as the query endpoint's statements arrive). Built once; thread-safe.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "headoffice/admission/statement_catalogue.h"

namespace pos::headoffice {

struct AdmissionResult {
  static constexpr std::size_t kNoLine = static_cast<std::size_t>(-1);
  std::size_t line = kNoLine;  // the catalogue line it has the shape of
  std::string refusal;         // why it is not admitted; empty when it is
  bool admitted() const { return refusal.empty(); }
};

class Admission {
 public:
  // Throws std::logic_error when two lines have the same shape.
  Admission();

  // The standard catalogue, compiled once.
  static const Admission& standard();

  // `machine`: the client's machine number; none for a client bound to no machine (the shared
  // credential), whose statements need only the shapes.
  AdmissionResult admit(Endpoint endpoint, std::string_view sql, const std::optional<std::string>& machine) const;

  // The run mark of the query-endpoint line `sql` has the shape of; None when it has none.
  RunMark run_mark(std::string_view sql) const;

 private:
  enum class Role { Fixed, Machine, Any };
  struct Hole {
    Role role;
    std::string fixed;  // Role::Fixed: the value (a list: the whole list) that must be there
  };
  struct Compiled {
    std::size_t line;
    unsigned endpoints;
    std::vector<Hole> holes;
  };
  std::unordered_map<std::string, std::vector<Compiled>> by_skeleton_;
};

// The first words of a statement for a log line: at most `words` words and 60 characters, with
// control characters as blanks.
std::string first_words(std::string_view sql, int words = 6);

}  // namespace pos::headoffice

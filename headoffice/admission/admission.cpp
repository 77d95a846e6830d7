#include "headoffice/admission/admission.h"

#include <stdexcept>

#include "headoffice/admission/statement_shape.h"
#include "text/ascii.h"

namespace pos::headoffice {
namespace {

// Values that stand for the holes of a catalogue line while it is read as a statement.
constexpr std::string_view kMachine = "\x10machine";
constexpr std::string_view kAny = "\x10value";
constexpr std::string_view kAnyList = "('\x10values')";

std::string with_hole_values(std::string text) {
  const std::pair<std::string_view, std::string> holes[] = {
      {"{machine}", "'" + std::string(kMachine) + "'"},
      {"{values}", std::string(kAnyList)},
      {"{value}", "'" + std::string(kAny) + "'"},
  };
  for (const auto& [name, stand_in] : holes) {
    for (auto at = text.find(name); at != std::string::npos; at = text.find(name, at + stand_in.size()))
      text.replace(at, name.size(), stand_in);
  }
  if (text.find('{') != std::string::npos) throw std::logic_error("unknown hole or fragment in: " + text);
  return text;
}

bool is_machine(std::string_view value, const std::string& machine) {
  if (value == machine) return true;
  if (value.size() != machine.size()) return false;
  for (std::size_t i = 0; i < value.size(); ++i)
    if (value[i] != ascii_upper(machine[i])) return false;
  return true;
}

}  // namespace

Admission::Admission() {
  const auto lines = statement_catalogue();
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string text = with_hole_values(expanded_text(lines[i]));
    const StatementShape shape = shape_of(text);
    if (!shape.well_formed) throw std::logic_error("a catalogue line that is no statement: " + text);
    Compiled c{i, lines[i].endpoints, {}};
    for (std::string_view h : shape.holes) {
      if (h == kMachine)
        c.holes.push_back({Role::Machine, {}});
      else if (h == kAny || h == kAnyList)
        c.holes.push_back({Role::Any, {}});
      else
        c.holes.push_back({Role::Fixed, std::string(h)});
    }
    auto& same = by_skeleton_[shape.skeleton];
    for (const Compiled& other : same) {
      bool alike = other.holes.size() == c.holes.size();
      for (std::size_t h = 0; alike && h < c.holes.size(); ++h)
        alike = other.holes[h].role == c.holes[h].role && other.holes[h].fixed == c.holes[h].fixed;
      if (alike && (other.endpoints & c.endpoints))
        throw std::logic_error("two catalogue lines of one shape: " + std::string(lines[other.line].job) + "; " +
                               std::string(lines[i].job));
    }
    same.push_back(std::move(c));
  }
}

const Admission& Admission::standard() {
  static const Admission admission;
  return admission;
}

AdmissionResult Admission::admit(Endpoint endpoint, std::string_view sql,
                                 const std::optional<std::string>& machine) const {
  const StatementShape shape = shape_of(sql);
  AdmissionResult result;
  const auto found = shape.well_formed ? by_skeleton_.find(shape.skeleton) : by_skeleton_.end();
  if (found == by_skeleton_.end()) {
    result.refusal = "not a statement the terminal program sends";
    return result;
  }
  for (const Compiled& c : found->second) {
    if (!(c.endpoints & static_cast<unsigned>(endpoint)) || c.holes.size() != shape.holes.size()) continue;
    bool fits = true;
    std::optional<std::string_view> other_machine;
    for (std::size_t h = 0; fits && h < c.holes.size(); ++h) {
      const Hole& hole = c.holes[h];
      if (hole.role == Role::Fixed)
        fits = shape.holes[h] == hole.fixed;
      else if (hole.role == Role::Machine && machine && !is_machine(shape.holes[h], *machine))
        other_machine = shape.holes[h];
    }
    if (!fits) continue;
    result.line = c.line;
    if (other_machine)
      result.refusal = "it names machine '" + std::string(other_machine->substr(0, 20)) + "', not this terminal's own";
    return result;
  }
  result.refusal = endpoint == Endpoint::Query ? "not a statement the terminal program sends to the query endpoint"
                                               : "not a statement the terminal program sends as a script";
  return result;
}

RunMark Admission::run_mark(std::string_view sql) const {
  const AdmissionResult found = admit(Endpoint::Query, sql, std::nullopt);
  return found.admitted() ? statement_catalogue()[found.line].mark : RunMark::None;
}

std::string first_words(std::string_view sql, int words) {
  std::string out;
  int count = 0;
  bool in_blank = true;
  for (char c : sql) {
    const bool blank = c == ' ' || static_cast<unsigned char>(c) < 0x20 || c == 0x7f;
    if (blank) {
      in_blank = true;
      continue;
    }
    if (in_blank) {
      if (++count > words) break;
      if (!out.empty()) out += ' ';
      in_blank = false;
    }
    if (out.size() >= 60 && (static_cast<unsigned char>(c) & 0xC0) != 0x80) break;
    out += c;
  }
  return out;
}

}  // namespace pos::headoffice

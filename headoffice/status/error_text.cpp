#include "headoffice/status/error_text.h"

#include "text/ascii.h"

namespace pos::headoffice {
namespace {

constexpr std::string_view kBlanks = " \t\r\n";

std::string_view trimmed(std::string_view s) {
  const auto first = s.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(kBlanks) - first + 1);
}

}  // namespace

std::string readable_error(std::string_view answer) {
  std::string_view s = trimmed(answer);
  if (ascii_upper(s.substr(0, 8)) == "<RESULT>") s = trimmed(s.substr(8));
  if (s.size() >= 9 && ascii_upper(s.substr(s.size() - 9)) == "</RESULT>") s = trimmed(s.substr(0, s.size() - 9));
  return std::string(s);
}

}  // namespace pos::headoffice

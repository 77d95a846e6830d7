#include "text/number_format.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <system_error>

namespace pos {

std::string_view trim_blanks(std::string_view s) {
  const auto first = s.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

namespace {

constexpr std::size_t kSignificant = 15;

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Trims blanks and drops a leading '+' (from_chars takes only '-'). False
// unless a digit or '.' follows the sign, which also keeps out "inf"/"nan".
bool prepare(std::string_view& s) {
  s = trim_blanks(s);
  if (!s.empty() && s.front() == '+') {
    s.remove_prefix(1);
    if (!s.empty() && s.front() == '-') return false;
  }
  const std::size_t i = (!s.empty() && s.front() == '-') ? 1 : 0;
  return i < s.size() && (is_digit(s[i]) || s[i] == '.');
}

// Parses all of `s` into `out`; false on any leftover or range error.
template <class T>
bool parse_all(std::string_view s, T& out) {
  const char* end = s.data() + s.size();
  const auto [ptr, ec] = std::from_chars(s.data(), end, out);
  return ec == std::errc() && ptr == end;
}

// Adds one to a string of decimal digits.
void increment_digits(std::string& digits) {
  for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
    if (*it != '9') {
      ++*it;
      return;
    }
    *it = '0';
  }
  digits.insert(digits.begin(), '1');
}

}  // namespace

std::string format_whole_number(double v) {
  double r = std::round(v);  // halves away from zero
  if (r == 0) r = 0;         // turns -0 into 0
  char buf[400];
  std::snprintf(buf, sizeof buf, "%.0f", r);
  return buf;
}

// Binary doubles such as 1.005 sit just below the written half
// (1.00499999999999989...), so rounding the binary value would give 1.00.
// The value is first written with 15 significant digits (exact for any
// decimal a user typed with up to 15 digits), then rounded in decimal.
std::string format_two_decimals(double v) {
  char buf[400];
  if (!std::isfinite(v)) {
    std::snprintf(buf, sizeof buf, "%8.2f", v);
    return buf;
  }
  std::snprintf(buf, sizeof buf, "%.*e", static_cast<int>(kSignificant - 1), std::fabs(v));
  // buf is "d.dddddddddddddde+XX": collect the digits and the exponent.
  std::string digits(1, buf[0]);
  const char* e = std::strchr(buf, 'e');
  digits.append(buf + 2, static_cast<std::size_t>(e - (buf + 2)));
  const int exponent = std::atoi(e + 1);

  // Digits up to the hundredths place, i.e. the value in cents.
  const int keep = exponent + 3;
  std::string cents;
  if (keep >= 0) {
    const auto k = static_cast<std::size_t>(keep);
    cents = digits.substr(0, k);
    cents.resize(k, '0');
    if (k < digits.size() && digits[k] >= '5') increment_digits(cents);
  }
  cents.erase(0, cents.find_first_not_of('0'));
  if (cents.size() < 3) cents.insert(0, 3 - cents.size(), '0');

  const bool negative = v < 0 && cents.find_first_not_of('0') != std::string::npos;
  std::string out = (negative ? "-" : "") + cents.substr(0, cents.size() - 2) + "." + cents.substr(cents.size() - 2);
  if (out.size() < 8) out.insert(0, 8 - out.size(), ' ');
  return out;
}

int parse_integer_or(std::string_view text, int dflt) {
  int value = 0;
  return prepare(text) && parse_all(text, value) ? value : dflt;
}

double parse_number_or(std::string_view text, double dflt) {
  double value = 0;
  return prepare(text) && parse_all(text, value) ? value : dflt;
}

std::string number_from_text_whole(std::string_view text) { return format_whole_number(parse_number_or(text, 0)); }

}  // namespace pos

#pragma once

// Number formatting and lenient number parsing for report and SQL text.
//
// Parsing: leading and trailing blanks (space, tab) are ignored, since
// fixed-width CHAR columns arrive padded ("12   " is 12). A blank inside the
// number ("1 2") makes the text not a number. '.' is always the decimal
// separator, whatever the locale.

#include <string>
#include <string_view>

namespace pos {

// `text` without the blanks (space, tab) before and after it.
std::string_view trim_blanks(std::string_view text);

// Like printf "%8.f" with blanks stripped, but halves round away from zero
// (100.5 -> "101", -2.5 -> "-3") and -0 prints as "0". Wide values are kept whole.
std::string format_whole_number(double v);

// Like printf "%8.2f" (leading blanks kept), but halves round away from zero
// on the value written with 15 significant digits (1.005 -> "    1.01").
// A value that rounds to zero prints without a sign.
std::string format_two_decimals(double v);

// Decimal integer with optional sign; `dflt` when empty, not an integer
// ("12.5", "1e3", "12a") or outside the range of int.
int parse_integer_or(std::string_view text, int dflt);

// Decimal number ("12.5", "-3", ".5", "1e3", "+2"); `dflt` when empty, not a
// number (hex, "inf" and "nan" are not accepted) or outside the range of double.
double parse_number_or(std::string_view text, double dflt);

// format_whole_number(parse_number_or(text, 0)): "" -> "0", "100.5" -> "101".
std::string number_from_text_whole(std::string_view text);

}  // namespace pos

#include "packet/xml_text.h"

#include "text/big5.h"

namespace pos::xml {

bool is_ascii(std::string_view s) {
  for (unsigned char c : s)
    if (c >= 0x80) return false;
  return true;
}

namespace {

// U+FFFE and U+FFFF: well-formed UTF-8, but no XML character.
bool non_character(std::string_view utf8) { return utf8 == "\xEF\xBF\xBE" || utf8 == "\xEF\xBF\xBF"; }

}  // namespace

void append_escaped(std::string& out, std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    auto c = static_cast<unsigned char>(s[i]);
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      case '\t':
        out += "&#9;";
        break;
      case '\n':
        out += "&#10;";
        break;
      case '\r':
        out += "&#13;";
        break;
      default:
        if (c < 0x20) {
          out += '?';
        } else if (c < 0x80) {
          out += static_cast<char>(c);
        } else if (std::size_t n = utf8_sequence(s, i); n && !non_character(s.substr(i, n))) {
          out.append(s, i, n);
          i += n;
          continue;
        } else {
          out += '?';
        }
    }
    ++i;
  }
}

}  // namespace pos::xml

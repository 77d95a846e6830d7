#pragma once
// Text pieces shared by the packet reader and writer.

#include <string>
#include <string_view>

namespace pos::xml {

// Appends `text` (UTF-8) as an XML attribute value: markup characters and line breaks escaped,
// characters XML cannot carry (other control bytes, broken UTF-8) written as '?'.
void append_escaped(std::string& out, std::string_view utf8);

// True when every byte is below 0x80.
bool is_ascii(std::string_view s);

}  // namespace pos::xml

#pragma once

// Big5 (Windows code page 950) is the program's internal text encoding:
// std::string values hold Big5 bytes, UTF-8 appears only at the edges.

#include <cstddef>
#include <string>
#include <string_view>

#include "text/text_error.h"

namespace pos {

// Converts Big5 bytes to UTF-8. Throws TextError naming the byte offset and
// value of the first byte that does not convert or of a cut-off character.
std::string big5_to_utf8(std::string_view big5);

// Converts UTF-8 to Big5. Throws TextError naming the byte offset and bytes
// of the first character that is malformed or has no Big5 form.
std::string utf8_to_big5(std::string_view utf8);

// Same as utf8_to_big5; reads well for turning UTF-8 source literals into
// Big5 once, e.g. static const std::string kDone = big5("完成");
std::string big5(std::string_view utf8);

// Big5 to UTF-8, with '?' for any character that does not convert.
std::string big5_to_utf8_lossy(std::string_view big5);

// UTF-8 to Big5, with '?' for any character that is malformed or that Big5 cannot represent.
std::string utf8_to_big5_lossy(std::string_view utf8);

// Length of the well-formed UTF-8 character at s[i] (1 to 4), or 0 when it is malformed.
std::size_t utf8_sequence(std::string_view s, std::size_t i);

// True for a byte that starts a double-byte Big5 character (0x81..0xFE).
constexpr bool is_big5_lead(unsigned char b) { return b >= 0x81 && b <= 0xFE; }

// Length of the longest prefix of `text` of at most `width` bytes that does
// not end inside a double-byte character. A lead byte plus whatever byte
// follows is one character; a lead byte at the very end counts alone.
std::size_t big5_fit(std::string_view text, std::size_t width);

}  // namespace pos

#include "text/big5.h"

#include <gtest/gtest.h>

#include <string>

namespace pos {
namespace {

// Message of the TextError thrown by `f`, or "" when nothing is thrown.
template <class F>
std::string error_of(F f) {
  try {
    f();
  } catch (const TextError& e) {
    return e.what();
  }
  return "";
}

TEST(Big5Conversion, ConvertsKnownCharactersAndRoundTrips) {
  struct Case {
    std::string utf8;
    std::string big5;
  };
  const Case cases[] = {
      {"", ""},
      {"ABC 123", "ABC 123"},
      {"送", "\xB0\x65"},
      {"中文 ok", "\xA4\xA4\xA4\xE5 ok"},
      {"送貨單 No.5", "\xB0\x65\xB3\x66\xB3\xE6 No.5"},
      {"€ 100", "\xA3\xE1 100"},
      {std::string("a\0b", 3), std::string("a\0b", 3)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.utf8);
    EXPECT_EQ(utf8_to_big5(c.utf8), c.big5);
    EXPECT_EQ(big5(c.utf8), c.big5);
    EXPECT_EQ(big5_to_utf8(c.big5), c.utf8);
  }
}

TEST(Big5Conversion, HandlesTextLongerThanFirstOutputGuess) {
  // 0x80 stands alone in Big5 but takes two bytes in UTF-8.
  const std::string in = std::string(5000, '\x80') + big5("送");
  std::string expected;
  for (int i = 0; i < 5000; ++i) expected += "\xC2\x80";
  EXPECT_EQ(big5_to_utf8(in), expected + "送");
}

TEST(Big5Conversion, BadBig5NamesOffsetAndBytes) {
  struct Case {
    std::string big5;
    std::string message;
  };
  const Case cases[] = {
      {"AB\xA4", "incomplete Big5 character at byte 2 (0xA4)"},
      {"abc\xA4\x20", "invalid Big5 text at byte 3 (0xA4 0x20)"},
      {"\xB0\x65x\xFF", "invalid Big5 text at byte 3 (0xFF)"},
      {"\xFA\x40", "invalid Big5 text at byte 0 (0xFA 0x40)"},  // user-defined area
  };
  for (const auto& c : cases) {
    EXPECT_EQ(error_of([&] { big5_to_utf8(c.big5); }), c.message);
    // A failure must not leave state behind for the next call.
    EXPECT_EQ(big5_to_utf8("\xA4\xA4"), "中");
  }
}

TEST(Big5Conversion, UnconvertibleUtf8NamesOffsetAndBytes) {
  struct Case {
    std::string utf8;
    std::string message;
  };
  const Case cases[] = {
      {"ab😀", "UTF-8 text not convertible to Big5 at byte 2 (0xF0 0x9F 0x98 0x80)"},
      {"送ñ", "UTF-8 text not convertible to Big5 at byte 3 (0xC3 0xB1)"},
      {"a\xFF"
       "b",
       "UTF-8 text not convertible to Big5 at byte 1 (0xFF)"},
      {"x\xE9\x80", "incomplete UTF-8 character at byte 1 (0xE9 0x80)"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(error_of([&] { utf8_to_big5(c.utf8); }), c.message);
    EXPECT_EQ(utf8_to_big5("中"), "\xA4\xA4");
  }
}

TEST(Big5Fit, CutsOnlyBetweenCharacters) {
  struct Case {
    std::string text;
    std::size_t width;
    std::size_t fit;
  };
  const Case cases[] = {
      {"", 5, 0},
      {"ABCD", 0, 0},
      {"ABCD", 2, 2},
      {"ABCD", 9, 4},
      {"A\xB0\x65"
       "B",
       2, 1},  // 送 does not fit whole
      {"A\xB0\x65"
       "B",
       3, 3},
      {"\xA4\xA4\xA4\xA4", 3, 2},  // a trail byte in lead range is still a trail
      {"\xA4\xA4\xA4", 3, 3},      // dangling lead at the end counts alone
      {"\xA4"
       "AB",
       1, 0},  // a lead takes the next byte whatever it is
      {"\xA4"
       "AB",
       2, 2},
      {"\x80"
       "A",
       1, 1},  // 0x80 and 0xFF are single bytes
      {"\xFF"
       "A",
       1, 1},
      {"\x81"
       "A",
       1, 0},
      {"\xFE"
       "A",
       1, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(big5_fit(c.text, c.width), c.fit) << "width " << c.width;
  }
}

}  // namespace
}  // namespace pos

#include "text/number_format.h"

#include <gtest/gtest.h>

#include <climits>

namespace pos {
namespace {

TEST(FormatWholeNumber, RoundsHalvesAwayFromZeroWithoutPadding) {
  const std::pair<double, const char*> cases[] = {
      {100.5, "101"},
      {2.5, "3"},
      {-2.5, "-3"},
      {0.5, "1"},
      {-0.5, "-1"},
      {0.4, "0"},
      {-0.4, "0"},
      {-0.0, "0"},
      {1234.49, "1234"},
      {-7, "-7"},
      {123456789.0, "123456789"},
      {1e15, "1000000000000000"},
  };
  for (const auto& [v, text] : cases) {
    EXPECT_EQ(format_whole_number(v), text) << v;
  }
}

TEST(FormatTwoDecimals, PadsToEightAndRoundsWrittenHalvesAwayFromZero) {
  const std::pair<double, const char*> cases[] = {
      {12.5, "   12.50"},      {0, "    0.00"},
      {-3.456, "   -3.46"},    {123456.789, "123456.79"},
      {1.005, "    1.01"},     {2.675, "    2.68"},
      {-2.675, "   -2.68"},    {0.125, "    0.13"},
      {0.005, "    0.01"},     {0.0049, "    0.00"},
      {-0.001, "    0.00"},    {99.995, "  100.00"},
      {0.1 + 0.2, "    0.30"}, {9999999.999, "10000000.00"},
      {1e-300, "    0.00"},    {1e20, "100000000000000000000.00"},
  };
  for (const auto& [v, text] : cases) {
    EXPECT_EQ(format_two_decimals(v), text) << v;
  }
}

TEST(ParseIntegerOr, AcceptsSignedDecimalsWithOuterBlanksOnly) {
  const std::pair<const char*, int> cases[] = {
      {"42", 42},
      {"-7", -7},
      {"+5", 5},
      {"007", 7},
      {"  12  ", 12},
      {"\t3\t", 3},
      {"12   ", 12},
      {"2147483647", INT_MAX},
      {"-2147483648", INT_MIN},
      // everything below is not an int
      {"", -1},
      {"   ", -1},
      {"12.5", -1},
      {"95.5", -1},
      {"1e3", -1},
      {"12a", -1},
      {"1 2", -1},
      {"+-5", -1},
      {"-+5", -1},
      {"++5", -1},
      {"-", -1},
      {"+", -1},
      {"0x10", -1},
      {"2147483648", -1},
      {"-2147483649", -1},
      {"\xA4\x40", -1},
  };
  for (const auto& [text, value] : cases) {
    EXPECT_EQ(parse_integer_or(text, -1), value) << '"' << text << '"';
  }
}

TEST(ParseNumberOr, AcceptsDecimalNumbersWithOuterBlanksOnly) {
  const std::pair<const char*, double> cases[] = {
      {"12.5", 12.5},
      {"-3", -3},
      {".5", 0.5},
      {"-.5", -0.5},
      {"+.5", 0.5},
      {"5.", 5},
      {"1e3", 1000},
      {"1E-2", 0.01},
      {"+2", 2},
      {"  12  ", 12},
      {"12   ", 12},
      {"\t-1.25", -1.25},
      // everything below is not a number
      {"", -99},
      {" ", -99},
      {"1 2", -99},
      {"abc", -99},
      {"0x1A", -99},
      {"inf", -99},
      {"-inf", -99},
      {"nan", -99},
      {"infinity", -99},
      {"1e", -99},
      {"1e999", -99},
      {"12,5", -99},
      {"+-2", -99},
      {".", -99},
      {"-", -99},
      {"1.2.3", -99},
  };
  for (const auto& [text, value] : cases) {
    EXPECT_DOUBLE_EQ(parse_number_or(text, -99), value) << '"' << text << '"';
  }
}

TEST(NumberFromTextWhole, ParsesThenFormatsWhole) {
  const std::pair<const char*, const char*> cases[] = {
      {"", "0"}, {"100.5", "101"}, {"  -2.5 ", "-3"}, {"abc", "0"}, {"12", "12"},
  };
  for (const auto& [text, whole] : cases) {
    EXPECT_EQ(number_from_text_whole(text), whole) << '"' << text << '"';
  }
}

}  // namespace
}  // namespace pos

#include "text/sql_text.h"

#include <gtest/gtest.h>

#include "text/big5.h"

namespace pos {
namespace {

TEST(UpperServiceSql, UppercasesAsciiButNotBig5TrailBytes) {
  struct Case {
    std::string in;
    std::string out;
  };
  const Case cases[] = {
      {"select * from t where a = 'abc'", "SELECT * FROM T WHERE A = 'ABC'"},
      {"ab\xB0\x65"
       "cd",
       "AB\xB0\x65"
       "CD"},                                                            // 送 = B0 65
      {big5("where name='送貨 note'"), big5("WHERE NAME='送貨 NOTE'")},  // 貨 = B3 66
      {"\xA4\xA4"
       "a",
       "\xA4\xA4"
       "A"},  // trail in lead range, then ASCII
      {"\xA4"
       "aa",
       "\xA4"
       "aA"},                // lead takes the next byte whatever it is
      {"ab\xA4", "AB\xA4"},  // dangling lead at the end
      {"\x80"
       "a\xFF"
       "b",
       "\x80"
       "A\xFF"
       "B"},
      {"", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(upper_service_sql(c.in), c.out) << c.in;
  }
}

TEST(SqlEscape, DoublesApostrophesAndLeavesBig5Alone) {
  struct Case {
    std::string in;
    std::string escaped;
    std::string quoted;
  };
  const Case cases[] = {
      {"", "", "''"},
      {"O'Neil", "O''Neil", "'O''Neil'"},
      {"''", "''''", "''''''"},
      {"\xB3\x5C", "\xB3\x5C", "'\xB3\x5C'"},  // 許: trail byte is a backslash
      {"\xB0\x65'", "\xB0\x65''", "'\xB0\x65'''"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(sql_escape(c.in), c.escaped);
    EXPECT_EQ(sql_quoted(c.in), c.quoted);
  }
  EXPECT_EQ(sql_list({"A", "O'Neil"}), "('A', 'O''Neil')");
}

}  // namespace
}  // namespace pos

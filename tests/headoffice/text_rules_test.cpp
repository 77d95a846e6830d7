// Text rules of the wire that are easy to get subtly wrong.

#include <gtest/gtest.h>

#include "headoffice/generators/calendar.h"
#include "headoffice/packet_sink.h"
#include "headoffice/statement_kind.h"
#include "headoffice/storage/postgres_database.h"
#include "headoffice/wire_text.h"
#include "tests/headoffice/terminal_client.h"
#include "text/big5.h"

namespace pos::test {
namespace {

using namespace pos::headoffice;

TEST(WireTextTest, CredentialsComeOutOfTheTerminalsEncodedQueryString) {
  const auto plain = credentials_from_query("user_name=SYSDBA&password=quillbark");
  EXPECT_EQ(plain.user, "SYSDBA");
  EXPECT_EQ(plain.password, "quillbark");

  // What the terminal's encoding makes of the script URL, and odd passwords through it.
  const std::vector<std::string> passwords = {"quillbark", "a=b", "x&y=z", "50%off", "p w+", "\xB1\x4B\xBD\x58"};
  for (const std::string& password : passwords) {
    const std::string url = encode_url("/Vark/ado/sql_scripts.php?user_name=SYSDBA&password=" + password);
    const auto creds = credentials_from_query(url.substr(url.find('?') + 1));
    EXPECT_EQ(creds.user, "SYSDBA") << url;
    EXPECT_EQ(creds.password, password) << url;
  }
  EXPECT_EQ(encode_url("user_name=a b"), "user_name%3Da%20b");

  EXPECT_FALSE(credentials_from_query("").user.has_value());
  EXPECT_FALSE(credentials_from_query("user_name=U").password.has_value());
  EXPECT_FALSE(credentials_from_query("xuser_name=U&mypassword=P").user.has_value());
  EXPECT_FALSE(credentials_from_query("xuser_name=U&mypassword=P").password.has_value());
  EXPECT_EQ(percent_decode("%zz%4"), "%zz%4");
}

TEST(WireTextTest, SecretsCompareWhole) {
  EXPECT_TRUE(same_secret("quillbark", "quillbark"));
  EXPECT_FALSE(same_secret("quillbar", "quillbark"));
  EXPECT_FALSE(same_secret("quillbarkquillbark", "quillbark"));  // a repeat of the secret
  EXPECT_FALSE(same_secret("", "quillbark"));
  EXPECT_TRUE(same_secret("", ""));
  EXPECT_FALSE(same_secret("x", ""));
}

// The terminal looks for "OK" and "success" anywhere in an answer, byte by byte.
TEST(WireTextTest, ErrorAnswersCarryNoSuccessMark) {
  EXPECT_EQ(error_answer("no such column: OK_PRICE"), "<RESULT>no such column: Ok_PRICE");
  EXPECT_EQ(error_answer("no column named success"), "<RESULT>no column named succ-ess");
  EXPECT_EQ(error_answer("OKOK successsuccess"), "<RESULT>OkOk succ-esssucc-ess");
  // A Big5 character whose second byte is 'O' or 's', followed by "K" or "uccess".
  const std::string trail_o = "\xA4\x4F";  // 一 is A4 40; A4 4F is a character ending in 'O'
  const std::string answer = without_success_marks(trail_o + "K " + "\xA4\x73" + "uccess");
  EXPECT_EQ(answer.find("OK"), std::string::npos);
  EXPECT_EQ(answer.find("success"), std::string::npos);
  EXPECT_EQ(answer.substr(0, 2), trail_o);  // the character itself is untouched
  // Text Big5 lacks still yields an answer.
  EXPECT_EQ(error_answer("bad \xF0\x9F\x98\x80 OK"), "<RESULT>bad ? Ok");
  EXPECT_EQ(error_answer("找不到表格"), "<RESULT>" + big5("找不到表格"));
}

TEST(StatementKindTest, FirstWordDecidesWhatMayRun) {
  EXPECT_EQ(statement_kind("  select * from x"), "SELECT");
  EXPECT_EQ(statement_kind("((SELECT 1))"), "SELECT");
  EXPECT_EQ(statement_kind("-- note\n/* x */ DELETE FROM x"), "DELETE");
  EXPECT_EQ(statement_kind(""), "");
  EXPECT_TRUE(statement_allowed("UPDATE"));
  EXPECT_FALSE(statement_allowed("ATTACH"));
  EXPECT_FALSE(statement_allowed("DROP"));
  EXPECT_FALSE(statement_allowed("PRAGMA"));
  EXPECT_FALSE(statement_allowed(""));
}

TEST(PacketColumnsTest, NamesAreValidUniqueAttributeNames) {
  const auto cols = packet_columns({{"prod_id", ColumnKind::Text, 20},
                                    {"PROD_ID", ColumnKind::Text, 20},
                                    {"COUNT(*)", ColumnKind::Integer, 0},
                                    {"'X' || PROD_ID", ColumnKind::Text, 0},
                                    {"1ST", ColumnKind::Text, 0},
                                    {"", ColumnKind::Text, 0}});
  EXPECT_EQ(cols[0].name, "PROD_ID");
  EXPECT_EQ(cols[1].name, "PROD_ID_1");
  EXPECT_EQ(cols[2].name, "COUNT___");
  EXPECT_EQ(cols[3].name, "_X_____PROD_ID");
  EXPECT_EQ(cols[4].name, "_1ST");
  EXPECT_EQ(cols[5].name, "COLUMN6");
}

TEST(PacketColumnsTest, ValuesMustFitTheirDeclaredKind) {
  const ColumnInfo qty{"QTY", ColumnKind::Integer, 0};
  EXPECT_EQ(fit_value(Value(3.0), qty), Value(std::int64_t{3}));
  EXPECT_EQ(fit_value(Value("12"), qty), Value(std::int64_t{12}));
  EXPECT_THROW(fit_value(Value(2.5), qty), DatabaseError);
  EXPECT_THROW(fit_value(Value("abc"), qty), DatabaseError);
  EXPECT_THROW(fit_value(Value(std::int64_t{1} << 40), qty), DatabaseError);
  const ColumnInfo price{"PRICE", ColumnKind::Float, 0};
  EXPECT_EQ(fit_value(Value(120), price), Value(120.0));
  EXPECT_THROW(fit_value(Value("12x"), price), DatabaseError);
  EXPECT_EQ(fit_value(Value(), price), Value());
}

TEST(ParametersTest, QuestionMarksInsideQuotesStayText) {
  EXPECT_EQ(numbered_parameters("UPDATE T SET A = ?, B = '?' WHERE C = ? AND \"D?\" = ?"),
            "UPDATE T SET A = $1, B = '?' WHERE C = $2 AND \"D?\" = $3");
}

TEST(CalendarTest, DaysAddAcrossMonthsAndLeapYears) {
  EXPECT_EQ(add_days("2024/05/31", -90), "2024/03/02");
  EXPECT_EQ(add_days("2024/02/28", 1), "2024/02/29");
  EXPECT_EQ(add_days("2023/02/28", 1), "2023/03/01");
  EXPECT_EQ(add_days("2024/12/31", 1), "2025/01/01");
  EXPECT_THROW(parse_date("2024/02/30"), std::invalid_argument);
  EXPECT_THROW(parse_date("2024-05-31"), std::invalid_argument);
  EXPECT_EQ(roc_year(parse_date("2024/05/31")), 113);
}

}  // namespace
}  // namespace pos::test

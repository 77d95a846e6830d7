#include "localdb/table_cursor.h"

#include <gtest/gtest.h>

#include "localdb/errors.h"
#include "localdb/local_work.h"
#include "tests/support/temp_database.h"
#include "text/big5.h"

namespace pos {
namespace {

using testing::TempDatabase;

class Cursor : public ::testing::Test {
 protected:
  void SetUp() override {
    db.run(
        {"CREATE TABLE ITEMS (CODE VARCHAR(6) NOT NULL, FIXED CHAR(4), PRICE DOUBLE PRECISION, "
         "AMOUNT NUMERIC(9,2), QTY INTEGER, SMALL SMALLINT, DAY_ DATE, STAMP TIMESTAMP, "
         "\"START\" VARCHAR(5), FLAG VARCHAR(1) DEFAULT 'N')"});
  }
  std::vector<std::vector<Value>> all(const std::string& cols = "CODE, PRICE, QTY, FLAG") {
    return db.con().query("SELECT " + cols + " FROM ITEMS ORDER BY CODE, QTY");
  }
  TempDatabase db;
  TableCursor cur{db.con()};
};

TEST_F(Cursor, TypesAndWidthsComeFromTheDatabase) {
  cur.set_command_text("SELECT * FROM ITEMS");
  cur.open();
  const auto& c = cur.columns();
  ASSERT_EQ(c.size(), 10u);
  EXPECT_EQ(c[0].name, "CODE");
  EXPECT_EQ(c[0].kind, ColumnKind::Text);
  EXPECT_EQ(c[0].length, 6u);
  EXPECT_EQ(c[1].kind, ColumnKind::Text);
  EXPECT_EQ(c[1].length, 4u);
  EXPECT_EQ(c[2].kind, ColumnKind::Float);
  EXPECT_EQ(c[3].kind, ColumnKind::Scaled);
  EXPECT_EQ(c[3].scale, -2);
  EXPECT_EQ(c[4].kind, ColumnKind::Integer);
  EXPECT_EQ(c[5].kind, ColumnKind::Integer);
  EXPECT_EQ(c[6].kind, ColumnKind::Date);
  EXPECT_EQ(c[7].kind, ColumnKind::Timestamp);
  EXPECT_EQ(c[8].name, "START");
}

TEST_F(Cursor, AppendedRowRoundTripsEveryType) {
  cur.set_command_text("SELECT * FROM ITEMS");
  cur.open();
  cur.append();
  cur.set_text("CODE", "A1");
  cur.set_text("FIXED", "ab");
  cur.set_text("PRICE", " 12.5 ");  // blanks around a number are ignored
  cur.set_double("AMOUNT", 3.456);  // stored with two decimals
  cur.set_text("QTY", "7");
  cur.set_integer("SMALL", 3);
  cur.set_text("DAY_", "2026/12/08");
  cur.set_text("STAMP", "2026-12-08 16:32:45");
  cur.set_text("START", "0830");  // a reserved word as a column name
  cur.post();
  EXPECT_TRUE(cur.apply().empty());

  cur.open();
  ASSERT_EQ(cur.row_count(), 1u);
  EXPECT_EQ(cur.text_of("FIXED"), "ab  ");  // CHAR keeps its trailing blanks
  EXPECT_EQ(cur.value("PRICE"), Value(12.5));
  EXPECT_EQ(cur.value("AMOUNT"), Value(3.46));
  EXPECT_EQ(cur.value("QTY"), Value(7));
  EXPECT_EQ(cur.value("SMALL"), Value(3));
  EXPECT_EQ(cur.text_of("DAY_"), "2026/12/08");
  EXPECT_EQ(cur.text_of("STAMP"), "2026/12/08 16:32:45");
  EXPECT_EQ(cur.text_of("START"), "0830");
  EXPECT_EQ(cur.text_of("FLAG"), "N");  // not set: the table's default
}

TEST_F(Cursor, TextIsCutToTheWidthInBytesNeverThroughACharacter) {
  cur.set_command_text("SELECT * FROM ITEMS");
  cur.open();
  const std::string tea = big5("茶葉蛋");  // three double-byte characters
  struct Case {
    std::string in, stored;
  } cases[] = {
      {"ABCDEFGH", "ABCDEF"},
      {"A" + tea, "A" + big5("茶葉")},    // 7 bytes: the third character would be split
      {"AB" + tea, "AB" + big5("茶葉")},  // 8 bytes: exactly two characters fit
      {tea, tea},
  };
  int n = 0;
  for (const auto& c : cases) {
    cur.append();
    cur.set_text("CODE", c.in);
    cur.set_integer("QTY", n++);
    EXPECT_EQ(cur.text_of("CODE"), c.stored);
    cur.post();
  }
  EXPECT_TRUE(cur.apply().empty());
  auto rows = db.con().query("SELECT CODE FROM ITEMS ORDER BY QTY");
  ASSERT_EQ(rows.size(), 4u);
  for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(rows[i][0].text(), cases[i].stored);
}

TEST_F(Cursor, ATextANumericColumnCannotReadFailsWhenSet) {
  cur.set_command_text("SELECT * FROM ITEMS");
  cur.open();
  cur.append();
  cur.set_text("CODE", "A1");
  cur.set_text("PRICE", "1.5");
  EXPECT_THROW(cur.set_text("PRICE", "abc"), FieldValueError);
  EXPECT_THROW(cur.set_text("QTY", "12.5"), FieldValueError);
  EXPECT_THROW(cur.set_text("AMOUNT", "1,5"), FieldValueError);
  EXPECT_THROW(cur.set_integer("SMALL", 70000), FieldValueError);
  EXPECT_THROW(cur.set_double("DAY_", 3.0), FieldValueError);
  EXPECT_EQ(cur.value("PRICE"), Value(1.5));  // the refused value left the field alone
  cur.set_text("QTY", "");                    // empty text in a number column is null
  EXPECT_TRUE(cur.is_null("QTY"));
  cur.set_double("CODE", 100.0);  // numbers written to text columns as text
  EXPECT_EQ(cur.text_of("CODE"), "100");
}

TEST_F(Cursor, EditingOneOfTwoIdenticalRowsChangesOnlyThatRow) {
  db.run({"INSERT INTO ITEMS (CODE, QTY) VALUES ('SAME', 1)", "INSERT INTO ITEMS (CODE, QTY) VALUES ('SAME', 1)"});
  cur.set_command_text("SELECT * FROM ITEMS WHERE CODE = 'SAME'");
  cur.open();
  ASSERT_EQ(cur.row_count(), 2u);
  cur.next();
  cur.edit();
  cur.set_integer("QTY", 2);
  cur.post();
  EXPECT_TRUE(cur.apply().empty());
  auto rows = all();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0][2], Value(1));
  EXPECT_EQ(rows[1][2], Value(2));
  EXPECT_EQ(rows[1][3].text(), "N");  // columns not set keep their values
}

TEST_F(Cursor, LocateFindsTheFirstExactMatch) {
  db.run({"INSERT INTO ITEMS (CODE, QTY) VALUES ('s1', 1)", "INSERT INTO ITEMS (CODE, QTY) VALUES ('S1', 2)",
          "INSERT INTO ITEMS (CODE, QTY) VALUES ('S1', 3)"});
  cur.set_command_text("select * from items order by qty");
  cur.open();
  ASSERT_TRUE(cur.locate("code", Value("S1")));
  EXPECT_EQ(cur.value("QTY"), Value(2));
  EXPECT_EQ(cur.recno(), 2u);
  EXPECT_FALSE(cur.locate("CODE", Value("S")));
}

TEST_F(Cursor, RefusedRowsAreReportedAndTheOthersWritten) {
  cur.set_command_text("SELECT * FROM ITEMS");
  cur.open();
  for (int i = 1; i <= 3; ++i) {
    cur.append();
    if (i != 2) cur.set_text("CODE", "R" + std::to_string(i));  // row 2 lacks its NOT NULL code
    cur.set_integer("QTY", i);
    cur.post();
  }
  auto refused = cur.apply();
  ASSERT_EQ(refused.size(), 1u);
  EXPECT_EQ(refused[0].values[4], Value(2));
  EXPECT_NE(refused[0].message.find("CODE"), std::string::npos) << refused[0].message;
  EXPECT_EQ(all().size(), 2u);
  EXPECT_EQ(cur.row_count(), 2u);
  EXPECT_EQ(cur.pending(), 0u);
}

TEST_F(Cursor, AppendWithoutReadingAndApplyInsideATransaction) {
  db.run({"INSERT INTO ITEMS (CODE, QTY) VALUES ('OLD', 1)"});
  {
    LocalWork unit(db.con());
    cur.set_command_text("select * FROM ITEMS");
    cur.open();
    cur.append();
    cur.set_text("CODE", "NEW");
    cur.post();
    EXPECT_TRUE(cur.apply().empty());
    EXPECT_EQ(cur.text_of("CODE"), "NEW");  // still on the appended row
    EXPECT_EQ(cur.row_count(), 2u);         // reading now sees both rows
  }                                         // rolled back
  EXPECT_EQ(all().size(), 1u);
}

TEST_F(Cursor, EditAfterAppendAndApplyUpdatesTheNewRow) {
  cur.set_command_text("SELECT * FROM ITEMS WHERE CODE = 'X'");
  cur.open();
  EXPECT_EQ(cur.row_count(), 0u);
  cur.append();
  cur.set_text("CODE", "X");
  cur.set_integer("QTY", 1);
  cur.post();
  cur.apply();
  cur.edit();
  cur.set_integer("QTY", 5);
  cur.post();
  EXPECT_TRUE(cur.apply().empty());
  auto rows = all();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][2], Value(5));
}

TEST_F(Cursor, ExecuteRunsTheCommandWithoutAResult) {
  db.run({"INSERT INTO ITEMS (CODE) VALUES ('A')"});
  cur.set_command_text("DELETE FROM  ITEMS ");
  cur.execute();
  EXPECT_TRUE(all().empty());
}

TEST_F(Cursor, MisuseIsAClearError) {
  EXPECT_THROW(cur.row_count(), DbError);  // not open
  cur.set_command_text("SELECT * FROM ITEMS");
  cur.open();
  EXPECT_THROW(cur.edit(), DbError);  // no row
  EXPECT_THROW(cur.set_text("NO_SUCH", "x"), DbError);
  cur.set_command_text("SELECT COUNT(*) FROM ITEMS");
  cur.open();
  EXPECT_THROW(cur.append(), DbError);  // not one table's rows
}

}  // namespace
}  // namespace pos

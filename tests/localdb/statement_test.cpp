#include <gtest/gtest.h>

#include "localdb/errors.h"
#include "localdb/local_query.h"
#include "localdb/named_params.h"
#include "tests/support/temp_database.h"
#include "text/big5.h"

namespace pos {
namespace {

using testing::TempDatabase;

TEST(NamedParams, ReplacedOutsideQuotesAndComments) {
  auto p =
      parse_named_params("INSERT INTO T(A,B) VALUES(:a, :B_2) -- :not\n/* :nor */ WHERE X = ':no' || \":q\" || :A");
  EXPECT_EQ(p.sql, "INSERT INTO T(A,B) VALUES(?, ?) -- :not\n/* :nor */ WHERE X = ':no' || \":q\" || ?");
  EXPECT_EQ(p.names, (std::vector<std::string>{"A", "B_2", "A"}));
  auto doubled = parse_named_params("SELECT 'it''s :x' FROM T WHERE A = :Y");
  EXPECT_EQ(doubled.names, (std::vector<std::string>{"Y"}));
}

class Statements : public ::testing::Test {
 protected:
  void SetUp() override {
    db.run({"CREATE TABLE LOC_TYPE (TYPE_NO VARCHAR(10), TYPE_NAME VARCHAR(8), QTY INTEGER, PRICE DOUBLE PRECISION)"});
  }
  TempDatabase db;
  LocalQuery q{db.con()};
};

TEST_F(Statements, LinesParametersAndReadingByName) {
  q.add("Insert into LOC_TYPE(TYPE_NO,TYPE_NAME,QTY,PRICE) ");
  q.add(" VALUES(:TYPE_NO,:TYPE_NAME,:QTY,:PRICE) ");
  EXPECT_EQ(q.text(), "Insert into LOC_TYPE(TYPE_NO,TYPE_NAME,QTY,PRICE) \n VALUES(:TYPE_NO,:TYPE_NAME,:QTY,:PRICE) ");
  const std::string name = big5("飲料類");  // 6 bytes
  for (int i = 1; i <= 3; ++i) {
    q.set_param("type_no", Value("T" + std::to_string(i)));
    q.set_param("TYPE_NAME", Value(name));
    q.set_param("QTY", Value(i));
    if (i < 3)
      q.set_param("PRICE", Value("12.5"));  // a text the engine reads as a number
    else
      q.set_param("PRICE", Value());
    q.execute();
  }
  EXPECT_THROW(q.set_param("NOPE", Value(1)), DbError);

  q.close();
  q.clear();
  q.add("SELECT * FROM LOC_TYPE ORDER BY TYPE_NO");
  q.open();
  ASSERT_EQ(q.row_count(), 3u);
  EXPECT_EQ(q.text_of("type_name"), name);
  EXPECT_EQ(q.value("QTY"), Value(1));
  EXPECT_EQ(q.value("PRICE"), Value(12.5));
  q.next();
  q.next();
  EXPECT_TRUE(q.is_null("PRICE"));
  q.next();
  EXPECT_TRUE(q.eof());
  EXPECT_TRUE(q.is_null("TYPE_NO"));  // no current row reads as null
  EXPECT_THROW(q.value("NO_SUCH_FIELD"), DbError);
}

TEST_F(Statements, OverlongParameterIsCutBeforeASplitCharacter) {
  q.add("INSERT INTO LOC_TYPE (TYPE_NO, TYPE_NAME) VALUES ('A', :N)");
  q.set_param("N", Value("ab" + big5("飲料類")));  // 8 bytes fit: "ab" + two characters
  q.execute();
  q.clear();
  q.add("INSERT INTO LOC_TYPE (TYPE_NO, TYPE_NAME) VALUES ('B', :N)");
  q.set_param("N", Value("abc" + big5("飲料類")));  // 8 bytes would split the third character
  q.execute();
  auto rows = db.con().query("SELECT TYPE_NAME FROM LOC_TYPE ORDER BY TYPE_NO");
  EXPECT_EQ(rows[0][0].text(), "ab" + big5("飲料類"));
  EXPECT_EQ(rows[1][0].text(), "abc" + big5("飲料"));
}

TEST_F(Statements, ErrorsCarryTheDatabaseText) {
  q.add("SELECT * FROM NO_SUCH_TABLE");
  try {
    q.open();
    FAIL();
  } catch (const DbError& e) {
    EXPECT_NE(std::string(e.what()).find("NO_SUCH_TABLE"), std::string::npos) << e.what();
  }
}

TEST_F(Statements, PreparedStatementsAreReusedAndForgottenAfterSchemaChanges) {
  auto a = db.con().prepare("SELECT * FROM LOC_TYPE");
  EXPECT_EQ(db.con().prepare("SELECT * FROM LOC_TYPE"), a);
  EXPECT_EQ(a->columns().size(), 4u);
  db.run({"ALTER TABLE LOC_TYPE ADD EXTRA VARCHAR(3)"});
  auto b = db.con().prepare("SELECT * FROM LOC_TYPE");
  EXPECT_NE(b, a);
  EXPECT_EQ(b->columns().size(), 5u);
}

}  // namespace
}  // namespace pos

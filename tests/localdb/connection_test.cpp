#include "localdb/connection.h"

#include <gtest/gtest.h>

#include "localdb/errors.h"
#include "localdb/local_work.h"
#include "tests/support/temp_database.h"

namespace pos {
namespace {

using testing::TempDatabase;

TEST(ConnectionString, TerminalFolderGivesTheLocalServerPath) {
  EXPECT_EQ(default_local_database("/opt/pos/"), "127.0.0.1:/opt/pos/Data/POS_LOC.GDB");
  EXPECT_EQ(default_local_database("/opt/pos"), "127.0.0.1:/opt/pos/Data/POS_LOC.GDB");
  EXPECT_TRUE(is_embedded_path("/tmp/x/POS_LOC.GDB"));
  EXPECT_TRUE(is_embedded_path("POS_LOC.GDB"));
  EXPECT_FALSE(is_embedded_path("127.0.0.1:/opt/pos/Data/POS_LOC.GDB"));
  EXPECT_FALSE(is_embedded_path("127.0.0.1/3051:/opt/pos/Data/POS_LOC.GDB"));  // a server on another port
  EXPECT_TRUE(is_embedded_path("/opt/pos:old/POS_LOC.GDB"));
}

TEST(Connection, OpenFailureCarriesTheDatabaseMessage) {
  LocalConnection con;
  bool after_connect_ran = false;
  con.after_connect = [&] { after_connect_ran = true; };
  ConnectionParams p;
  p.database = "/nonexistent-folder/POS_LOC.GDB";
  try {
    con.open(p);
    FAIL() << "opened a missing file";
  } catch (const DbError& e) {
    std::string msg = e.what();
    EXPECT_NE(msg.find("/nonexistent-folder/POS_LOC.GDB"), std::string::npos) << msg;
    EXPECT_NE(msg.find("No such file"), std::string::npos) << msg;
  }
  EXPECT_FALSE(con.connected());
  EXPECT_FALSE(after_connect_ran);
}

TEST(Connection, AfterConnectRunsOnEveryOpen) {
  TempDatabase db;
  int runs = 0;
  db.con().after_connect = [&] { ++runs; };
  db.reopen();
  db.reopen();
  EXPECT_EQ(runs, 2);
}

class Transactions : public ::testing::Test {
 protected:
  void SetUp() override {
    db.run({"CREATE TABLE T (ID INTEGER, NAME VARCHAR(10))"});
    db.run({"INSERT INTO T VALUES (1, 'one')"});
  }
  std::size_t rows() { return db.con().query("SELECT * FROM T").size(); }
  TempDatabase db;
};

TEST_F(Transactions, StatementsWithoutATransactionCommitOnTheirOwn) {
  db.reopen();
  EXPECT_EQ(rows(), 1u);
}

TEST_F(Transactions, RollbackLeavesTheTableAsItWas) {
  {
    LocalWork unit(db.con());
    db.run({"DELETE FROM T", "INSERT INTO T VALUES (2, 'two')", "INSERT INTO T VALUES (3, 'three')"});
    EXPECT_EQ(rows(), 2u);  // visible inside the transaction
  }                         // not committed: rolled back
  auto all = db.con().query("SELECT ID, NAME FROM T");
  ASSERT_EQ(all.size(), 1u);
  EXPECT_EQ(all[0][1].text(), "one");
}

TEST_F(Transactions, CommittedWorkSurvivesAndAFailedStatementDoesNotSpoilTheRest) {
  db.con().begin();
  db.run({"INSERT INTO T VALUES (2, 'two')"});
  EXPECT_THROW(db.run({"INSERT INTO T VALUES (3, 'far too long')"}), DbError);
  db.con().commit();
  db.reopen();
  EXPECT_EQ(rows(), 2u);
}

TEST_F(Transactions, UnitsOfWorkNestAndUndoOnlyWhatTheyBegan) {
  LocalWork outer(db.con());
  EXPECT_TRUE(outer.owns_transaction());
  db.run({"INSERT INTO T VALUES (2, 'two')"});
  {
    LocalWork dropped(db.con());
    EXPECT_FALSE(dropped.owns_transaction());
    db.run({"INSERT INTO T VALUES (3, 'three')"});
    atomically(db.con(), [&] { db.run({"INSERT INTO T VALUES (4, 'four')"}); });
  }  // not committed: 3 and 4 go, 2 stays
  EXPECT_THROW(atomically(db.con(), [&] { db.run({"INSERT INTO T VALUES (5, 'far too long')"}); }), DbError);
  atomically(db.con(), [&] { db.run({"INSERT INTO T VALUES (6, 'six')"}); });
  EXPECT_EQ(db.con().open_work(), 1);
  outer.commit();
  EXPECT_FALSE(db.con().in_transaction());
  db.reopen();
  auto ids = db.con().query("SELECT ID FROM T ORDER BY ID");
  ASSERT_EQ(ids.size(), 3u);
  EXPECT_EQ(ids[1][0], Value(2));
  EXPECT_EQ(ids[2][0], Value(6));
  EXPECT_THROW(db.con().savepoint("NO_TRANSACTION"), DbError);
  EXPECT_THROW(db.con().commit(), DbError);
}

TEST_F(Transactions, AConnectionShutDownSaysSo) {
  LocalConnection other;
  other.open(db.params());
  auto id = db.con().query("SELECT CURRENT_CONNECTION FROM RDB$DATABASE").at(0).at(0);
  other.execute("DELETE FROM MON$ATTACHMENTS WHERE MON$ATTACHMENT_ID = ?", std::vector<Value>{id});
  EXPECT_THROW(db.con().query("SELECT ID FROM T"), LocalConnectionLost);
  // A statement that is merely wrong is not a lost connection.
  try {
    other.query("SELECT NO_SUCH_COLUMN FROM T");
    ADD_FAILURE() << "no error";
  } catch (const LocalConnectionLost& e) {
    ADD_FAILURE() << e.what();
  } catch (const DbError&) {
  }
}

}  // namespace
}  // namespace pos

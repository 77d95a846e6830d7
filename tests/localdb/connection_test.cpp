#include "localdb/connection.h"

#include <gtest/gtest.h>

#include "localdb/errors.h"
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
    LocalTransaction tx(db.con());
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

TEST_F(Transactions, SavepointUndoesOnlyWhatFollowsIt) {
  LocalTransaction tx(db.con());
  db.run({"INSERT INTO T VALUES (2, 'two')"});
  db.con().savepoint("BEFORE_THREE");
  db.run({"INSERT INTO T VALUES (3, 'three')"});
  db.con().rollback_to_savepoint("BEFORE_THREE");
  db.con().release_savepoint("BEFORE_THREE");
  tx.commit();
  EXPECT_EQ(rows(), 2u);
  EXPECT_THROW(db.con().savepoint("NO_TRANSACTION"), DbError);
  EXPECT_THROW(db.con().commit(), DbError);
}

}  // namespace
}  // namespace pos

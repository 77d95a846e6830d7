// Job 7 against the reference service and a real terminal database: members, sub-cards, class
// discounts and the member change log.

#include <gtest/gtest.h>

#include <fstream>

#include "tests/support/cutting_proxy.h"
#include "tests/support/terminal.h"

namespace pos::testing {
namespace {

using Rows = std::vector<std::vector<std::string>>;

std::string member(const std::string& id, const std::string& cls = "C1", const std::string& discount = "8.5") {
  return "INSERT INTO MEMBER (MEMBER_ID, MEMBER_NAME, MEMBER_CLASSID, DISCOUNT, TOTAL_AMT, TOTAL_POINT, U_DATE, NOTE) "
         "VALUES ('" +
         id + "', 'name " + id + "', '" + cls + "', " + discount + ", 500, 70, '2020/01/01', NULL);";
}
std::string logged(const std::string& id, const std::string& state, const std::string& machine = "001") {
  return "INSERT INTO MEMBER_TEMP (MCH_NO, MEMBER_ID, STATE) VALUES ('" + machine + "', '" + id + "', '" + state +
         "');";
}
std::string sub_card(const std::string& member_id, const std::string& card, const std::string& holder) {
  return "INSERT INTO VIPCARD_SUB (MEMBER_ID, MAINCARD_ID, SUBCARD_ID, SUBCARD_MAN, ADD_RATE) VALUES ('" + member_id +
         "', 'MAIN', '" + card + "', '" + holder + "', 2);";
}

class MembersJob : public ::testing::Test {
 protected:
  void SetUp() override {
    service.sql(
        "INSERT INTO MCH_ITEM (MCH_NO, STOCK_ID) VALUES ('001', 'ST01');"
        "INSERT INTO MEMBER_CLASS VALUES ('C1', 'gold', 95.5);"
        "INSERT INTO MEMLEVEL_PDCLASS_DIS VALUES ('C1', 'P1', 'food', 87.5, NULL);"
        "INSERT INTO MEMLEVEL_PDCLASS_DIS VALUES ('C1', 'P2', 'drink', NULL, 'r');");
    terminal.fix_date("2024/05/31");
    terminal.start({"1"});
    local("ALTER TABLE MEMBER ADD EXTRA VARCHAR(10)");
  }
  void local(const std::string& sql) { terminal.form().SQLCon_Loc.execute(sql); }
  Rows rows(const std::string& sql) { return terminal.local_rows(sql); }
  std::vector<std::string> pending() {
    std::vector<std::string> out;
    for (auto& r : service.rows("SELECT MCH_NO || ':' || MEMBER_ID || ':' || STATE FROM MEMBER_TEMP ORDER BY 1"))
      out.push_back(r[0]);
    return out;
  }

  ReferenceService service;
  Terminal terminal{service};
};

TEST_F(MembersJob, ChangesUpdateFollowsTheLogAndConvertsByItsRules) {
  const std::string too_long(90, 'L');
  service.sql(member("M01") + member("M02", "NOCLASS", "NULL") + member("M03") + logged("m01", "UPDATE") +
              logged("M02", "INSERT") + logged("M04", "UPDATE") /* not at head office */ + logged("M09", "DELETE") +
              logged("M02", "UPDATE", "002") + logged("M03", "CHANGE") + logged("M03", "CHANGE", "002") +
              logged(too_long, "UPDATE"));
  local("INSERT INTO MEMBER (MEMBER_ID, MEMBER_NAME, EXTRA, TOTAL_AMT) VALUES ('m01', 'old', 'keep', 9)");
  local("INSERT INTO MEMBER (MEMBER_ID, MEMBER_NAME) VALUES ('M09', 'leaves')");
  local("INSERT INTO VIPCARD_SUB (MEMBER_ID, SUBCARD_ID) VALUES ('M09', 'S9')");
  ASSERT_EQ(terminal.run(0, {}), "");

  // m01 was fetched as M01 and written over the row it was logged as; a member without a class.
  EXPECT_EQ(rows("SELECT MEMBER_ID, MEMBER_NAME, EXTRA, CLASS_ID, DISCOUNT, IDIS, TOTAL_AMT, TOTAL_POINT, U_DATE, "
                 "NOTE FROM MEMBER ORDER BY MEMBER_ID"),
            (Rows{{"M01", "name M01", "keep", "C1", "8.5", "0", "0", "0", "2024/05/31", ""},
                  {"M02", "name M02", "", "NOCLASS", "", "0", "0", "0", "2024/05/31", ""}}));
  EXPECT_EQ(rows("SELECT MEMBER_ID, SUBCARD_ID FROM VIPCARD_SUB"), (Rows{{"M09", "S9"}}));  // a deleted member's stay
  // An entry of another state is cleared unapplied; a key too long to remember fails alone.
  EXPECT_EQ(pending(), (std::vector<std::string>{"001:" + too_long + ":UPDATE", "002:M02:UPDATE", "002:M03:CHANGE"}));
  EXPECT_EQ(terminal.counters(7).failed, 1u);
  std::ifstream saved(terminal.home() / "123.txt", std::ios::binary);
  const std::string query{std::istreambuf_iterator<char>(saved), std::istreambuf_iterator<char>()};
  EXPECT_TRUE(query.ends_with("       ON A.MEMBER_CLASSID = B.CLASS_ID \r\n       where A.MEMBER_ID = 'M04'\r\n"))
      << query;
}

TEST_F(MembersJob, AnEmptyLogSendsItsQueriesButNoRemovalThenRebuildsTheDiscounts) {
  ASSERT_EQ(terminal.run(0, {}), "");
  std::vector<ReceivedStatement> sent;
  for (const auto& s : service.statements())
    if (s.text.find("MEMBER_TEMP") != std::string::npos || s.text.find("MEMLEVEL") != std::string::npos)
      sent.push_back(s);
  EXPECT_EQ(sent,
            (std::vector<ReceivedStatement>{
                {"query", "SELECT MEMBER_ID FROM MEMBER_TEMP WHERE MCH_NO = '001' AND STATE = 'DELETE'  "},
                {"query",
                 "SELECT MEMBER_ID FROM MEMBER_TEMP WHERE MCH_NO = '001' AND (STATE = 'UPDATE' OR STATE = "
                 "'INSERT')  "},
                {"query",
                 "SELECT MEMBER_ID FROM MEMBER_TEMP WHERE MCH_NO = '001' AND STATE <> 'DELETE' AND STATE <> "
                 "'UPDATE' AND STATE <> 'INSERT' "},
                {"query", "SELECT MEM_CLASSID,PD_CLASSID,PD_CLASSNAME,DISCOUNT,REMARK FROM MEMLEVEL_PDCLASS_DIS "},
            }));
}

TEST_F(MembersJob, FullUpdateReplacesEveryMemberAndThenClearsTheLog) {
  service.sql(member("M01") + logged("M01", "UPDATE") + logged("M01", "UPDATE", "002"));
  local("INSERT INTO MEMBER (MEMBER_ID, MEMBER_NAME, EXTRA) VALUES ('M01', 'old', 'gone')");
  ASSERT_EQ(terminal.run(1, {7}), "");
  EXPECT_EQ(rows("SELECT MEMBER_ID, EXTRA, DISCOUNT, IDIS FROM MEMBER"), (Rows{{"M01", "", "0", "95.5"}}));
  EXPECT_EQ(pending(), (std::vector<std::string>{"002:M01:UPDATE"}));
  // The removal names the entries listed before the members were fetched, without a semicolon.
  bool sent = false;
  for (const auto& s : service.statements())
    sent = sent || s.text ==
                       "DELETE FROM MEMBER_TEMP WHERE MCH_NO = '001' AND STATE <> 'DELETE' AND MEMBER_ID IN "
                       "('M01') ";
  EXPECT_TRUE(sent);
}

TEST_F(MembersJob, SubCardsAreMatchedByTheirWholeIdAndGoWhenHeadOfficeHasNone) {
  service.sql(member("M01") + member("M02") + sub_card("M01", "S1", "new one") + sub_card("M01", "S2", "changed") +
              sub_card("M01", "SX", "upper"));
  local("INSERT INTO VIPCARD_SUB (MEMBER_ID, SUBCARD_ID, SUBCARD_MAN) VALUES ('M01', 'S2', 'old')");
  local("INSERT INTO VIPCARD_SUB (MEMBER_ID, SUBCARD_ID, SUBCARD_MAN) VALUES ('M01', 'S3', 'kept')");
  local("INSERT INTO VIPCARD_SUB (MEMBER_ID, SUBCARD_ID, SUBCARD_MAN) VALUES ('M01', 'sx', 'lower')");
  local("INSERT INTO VIPCARD_SUB (MEMBER_ID, SUBCARD_ID, SUBCARD_MAN) VALUES ('M02', 'T1', 'goes')");
  ASSERT_EQ(terminal.run(1, {7}), "");
  EXPECT_EQ(rows("SELECT MEMBER_ID, SUBCARD_ID, SUBCARD_MAN, MAINCARD_ID FROM VIPCARD_SUB ORDER BY SUBCARD_ID"),
            (Rows{{"M01", "S1", "new one", "MAIN"},
                  {"M01", "S2", "changed", "MAIN"},
                  {"M01", "S3", "kept", ""},
                  {"M01", "SX", "upper", "MAIN"},
                  {"M01", "sx", "lower", ""}}));
}

TEST_F(MembersJob, ClassDiscountsAreRebuiltWithTheirDefaultAndKeptWhenTheFetchFails) {
  ASSERT_EQ(terminal.run(-1, {7}), "");  // the rebuild runs in every mode
  EXPECT_EQ(rows("SELECT MEM_CLASSID, PD_CLASSID, PD_CLASSNAME, DISCOUNT, REMARK FROM MEMLEVEL_PDCLASS_DIS ORDER BY 2"),
            (Rows{{"C1", "P1", "food", "87.5", ""}, {"C1", "P2", "drink", "100", "r"}}));
  service.sql("DROP TABLE MEMLEVEL_PDCLASS_DIS;");
  EXPECT_NE(terminal.run(-1, {7}), "");
  EXPECT_EQ(rows("SELECT COUNT(*) FROM MEMLEVEL_PDCLASS_DIS"), (Rows{{"2"}}));
}

// Head office cannot answer the member's sub-cards: the member fails alone, keeping its row and its
// key (once, run after run), until head office answers.
TEST_F(MembersJob, AFailureInsideTheLogStepKeepsTheMemberAndItsKeyUntilTakenAgain) {
  service.sql(member("M01") + logged("M01", "UPDATE") + "ALTER TABLE VIPCARD_SUB RENAME TO BROKEN;");
  local("INSERT INTO MEMBER (MEMBER_ID, MEMBER_NAME) VALUES ('M01', 'old')");
  for (int run = 0; run < 2; ++run) {
    EXPECT_EQ(terminal.run(0, {}), "");
    EXPECT_EQ(terminal.counters(7).failed, 1u);
    EXPECT_EQ(rows("SELECT MEMBER_NAME FROM MEMBER"), (Rows{{"old"}}));
    EXPECT_EQ(pending(), (std::vector<std::string>{}));
    EXPECT_EQ(rows("SELECT TAKEN_AS, KEY_VALUE FROM POS_TAKEN_KEYS"), (Rows{{"MEMBER_TEMP CHANGE", "M01"}}));
  }
  service.sql("ALTER TABLE BROKEN RENAME TO VIPCARD_SUB;");
  EXPECT_EQ(terminal.run(0, {}), "");
  EXPECT_EQ(rows("SELECT MEMBER_NAME FROM MEMBER"), (Rows{{"name M01"}}));
  EXPECT_EQ(rows("SELECT COUNT(*) FROM POS_TAKEN_KEYS"), (Rows{{"0"}}));
}

TEST_F(MembersJob, AFailedMemberIsLoggedAndKeepsTheKeysTakenBeforeTheFetch) {
  service.sql(member("M01") + member("M02") + logged("M01", "UPDATE"));
  service.sql("UPDATE MEMBER SET MEMBER_NAME = 'BAD' WHERE MEMBER_ID = 'M02';");
  local("ALTER TABLE MEMBER ADD CONSTRAINT NO_BAD CHECK (MEMBER_NAME IS DISTINCT FROM 'BAD')");
  local("INSERT INTO MEMBER (MEMBER_ID, MEMBER_NAME) VALUES ('M02', 'old')");
  ASSERT_EQ(terminal.run(1, {7}), "");
  const auto log = terminal.log_lines();
  EXPECT_NE(std::find(log.begin(), log.end(), "M02Data Error...!"), log.end());
  EXPECT_EQ(rows("SELECT MEMBER_ID, MEMBER_NAME FROM MEMBER ORDER BY 1"),
            (Rows{{"M01", "name M01"}, {"M02", "old"}}));  // the old row survived its failed replacement
  EXPECT_EQ(pending(), (std::vector<std::string>{}));
  EXPECT_EQ(rows("SELECT TAKEN_AS, KEY_VALUE FROM POS_TAKEN_KEYS"), (Rows{{"MEMBER_TEMP CHANGE", "M01"}}));
}

TEST_F(MembersJob, AServiceLostMidLoopStopsAfterOneMessage) {
  std::string sql;
  for (int i = 1; i <= 6; ++i) sql += member("M0" + std::to_string(i));
  service.sql(sql);
  // Opening check, deleted list, its removal, member list, then two members' sub-cards.
  CuttingProxy proxy(service.port(), 6);
  Terminal cut(service, "001", proxy.port());
  EXPECT_EQ(cut.run(1, {7}), "silent abort");
  EXPECT_EQ(cut.dialogs().messages().size(), 1u);
  EXPECT_EQ(cut.local_rows("SELECT COUNT(*) FROM MEMBER"), (Rows{{"2"}}));
}

}  // namespace
}  // namespace pos::testing

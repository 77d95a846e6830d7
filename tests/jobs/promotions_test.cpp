// Jobs 6, 8 and the gift half of 12 against the reference service and a real terminal database:
// the marked change logs, the rewrite of a promotion, the mappings and the full updates by date.

#include <gtest/gtest.h>

#include <fstream>

#include "packet/row_set.h"
#include "tests/support/terminal.h"

namespace pos::testing {
namespace {

using Rows = std::vector<std::vector<std::string>>;

std::string header(const std::string& table, const std::string& id, const std::string& ini, const std::string& end,
                   const std::string& type = "1", const std::string& over = "100") {
  return "INSERT INTO " + table +
         " (MASTERBILLID, BILL_DATE, INI_DATE, END_DATE, REASON, OVER_AMT, BILL_TYPE) VALUES ('" + id +
         "', '2024/01/01', '" + ini + "', '" + end + "', NULL, " + over + ", '" + type + "');";
}
// A sales promotion line: N_QTY, PACK_QTY, G_QTY, OLD_PRICE and VIP_PRICE as SQL values.
std::string sales_line(const std::string& id, const std::string& line, const std::string& n_qty = "2",
                       const std::string& pack_qty = "3", const std::string& vip = "90") {
  return "INSERT INTO PSALE_SUB (MASTERBILLID, TEMPPRODID, PROD_ID, PSALE_PRICE, OLD_PRICE, VIP_PRICE, N_QTY, G_QTY, "
         "PACK_QTY, PLIMIT_QTY, STOP_SALE) VALUES ('" +
         id + "', '" + line + "', 'P" + line + "', 100, NULL, " + vip + ", " + n_qty + ", NULL, " + pack_qty +
         ", 5, 'N');";
}
std::string gift_line(const std::string& id, const std::string& line) {
  return "INSERT INTO GSALE_SUB (MASTERBILLID, TEMPPRODID, PROD_ID, PSALE_PRICE, VIP_PRICE, N_QTY, G_QTY) VALUES ('" +
         id + "', '" + line + "', 'P', 100, NULL, NULL, 1);";
}
std::string any_choice(const std::string& id, const std::string& ini, const std::string& end) {
  return "INSERT INTO PTSALE_MASTER (MASTERBILLID, PRO_ID, INI_DATE, END_DATE, PTSALE_QTY, PTSALE_PRICE) VALUES ('" +
         id + "', 'X', '" + ini + "', '" + end +
         "', 3, 99);"
         "INSERT INTO PTSALE_SUB (MASTERBILLID, TEMPPRODID, PROD_ID) VALUES ('" +
         id +
         "', 'L1', 'P1');"
         "INSERT INTO PTSALE_SUB (MASTERBILLID, TEMPPRODID, PROD_ID) VALUES ('" +
         id + "', 'L2', 'P2');";
}
std::string logged(const std::string& log, const std::string& id, const std::string& state,
                   const std::string& machine = "001") {
  return "INSERT INTO " + log + " (MCH_NO, MASTERBILLID, STATE) VALUES ('" + machine + "', '" + id + "', '" + state +
         "');";
}

class Promotions : public ::testing::Test {
 protected:
  void SetUp() override {
    service.sql("INSERT INTO MCH_ITEM (MCH_NO, STOCK_ID) VALUES ('001', 'ST01');");
    terminal.fix_date("2024/05/31");
    terminal.start({"1"});
  }
  void local(const std::string& sql) { terminal.form().SQLCon_Loc.execute(sql); }
  // Head office declares every column of `table` as text, so that a value such as 150.5 can stand in
  // a column the jobs parse as an integer.
  void texts_only(const std::string& table) {
    std::string columns;
    for (const auto& r : service.rows("SELECT name FROM pragma_table_info('" + table + "')"))
      columns += (columns.empty() ? "" : ", ") + r[0] + " TEXT";
    service.sql("ALTER TABLE " + table + " RENAME TO OLD_T; CREATE TABLE " + table + " (" + columns +
                "); INSERT INTO " + table + " SELECT * FROM OLD_T; DROP TABLE OLD_T;");
  }
  Rows rows(const std::string& sql) { return terminal.local_rows(sql); }
  Rows log_entries(const std::string& log) {
    return service.rows("SELECT MCH_NO, MASTERBILLID, STATE, TRAN_CODE FROM " + log + " ORDER BY 1, 2");
  }

  ReferenceService service;
  Terminal terminal{service};
};

TEST_F(Promotions, EmptyLogsStillSendTheirMarkingReadingAndRemovingStatementsInOrder) {
  ASSERT_EQ(terminal.run(0, {}), "");
  for (const auto& [log, endpoint] : std::vector<std::pair<std::string, std::string>>{
           {"PSALE_TEMP", "script"}, {"PTSALE_TEMP", "query"}, {"GSALE_TEMP", "query"}}) {
    std::vector<std::string> sent;
    for (const auto& s : service.statements()) {
      std::string upper = s.text;
      for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      if (upper.find(log) == std::string::npos) continue;
      const std::string verb = upper.substr(0, upper.find(' '));
      sent.push_back((verb == "SELECT" ? "query" : s.endpoint) + " " + verb);
    }
    EXPECT_EQ(sent, (std::vector<std::string>{endpoint + " UPDATE", "query SELECT", endpoint + " DELETE",
                                              endpoint + " UPDATE", "query SELECT", endpoint + " DELETE"}))
        << log;
  }
}

TEST_F(Promotions, AChangesUpdateRewritesLoggedPromotionsWholeAndConvertsTheirLines) {
  texts_only("PSALE_MASTER");
  texts_only("PSALE_SUB");
  service.sql(header("PSALE_MASTER", "P1", "2024/05/01", "2024/06/30", "1", "150.5") +
              sales_line("P1", "L1", "NULL", "2.5") + sales_line("P1", "L2", "2", "6", "NULL") +
              header("PSALE_MASTER", "P3", "2024/05/01", "2024/06/30", "2") + sales_line("P3", "L1") +
              logged("PSALE_TEMP", "P1", "UPDATE") + logged("PSALE_TEMP", "P2", "DELETE") +
              logged("PSALE_TEMP", "P3", "UPDATE") + logged("PSALE_TEMP", "P1", "UPDATE", "002"));
  for (const char* line : {"('P1', 'L1')", "('P1', 'L3')", "('P2', 'L1')", "('P3', 'L1')", "('P3', 'L2')"})
    local(std::string("INSERT INTO PROMOTION (MASTERBILLID, TEMPPRODID) VALUES ") + line);
  ASSERT_EQ(terminal.run(0, {}), "");
  // P1 rewritten (L3, gone at head office, goes); P2 deleted; P3 became type 2: its old lines stay.
  EXPECT_EQ(rows("SELECT MASTERBILLID, TEMPPRODID, N_QTY, PACK_QTY, OVER_AMT, G_QTY, OLD_PRICE, VIP_PRICE, PLIMIT_QTY, "
                 "REASON FROM PROMOTION ORDER BY 1, 2"),
            (Rows{{"P1", "L1", "1", "1", "0", "0", "", "90", "5", ""},
                  {"P1", "L2", "6", "6", "0", "0", "", "", "5", ""},
                  {"P3", "L1", "", "", "", "", "", "", "", ""},
                  {"P3", "L2", "", "", "", "", "", "", "", ""}}));
  EXPECT_EQ(log_entries("PSALE_TEMP"), (Rows{{"002", "P1", "UPDATE", ""}}));
}

// The lines head office cannot answer fail the promotion alone; its entry stays marked and the next
// run takes it with the entries logged since.
TEST_F(Promotions, APromotionLeftMarkedIsCompletedByTheNextRun) {
  service.sql(header("PSALE_MASTER", "P1", "2024/05/01", "2024/06/30") + sales_line("P1", "L1") +
              logged("PSALE_TEMP", "P1", "UPDATE") + "ALTER TABLE PSALE_SUB RENAME TO AWAY;");
  EXPECT_EQ(terminal.run(0, {}), "");
  EXPECT_EQ(terminal.counters(6).failed, 1u);
  EXPECT_EQ(log_entries("PSALE_TEMP"), (Rows{{"001", "P1", "UPDATE", "W"}}));
  service.sql("ALTER TABLE AWAY RENAME TO PSALE_SUB;" + logged("PSALE_TEMP", "P9", "UPDATE"));
  ASSERT_EQ(terminal.run(0, {}), "");
  EXPECT_EQ(rows("SELECT MASTERBILLID, TEMPPRODID FROM PROMOTION"), (Rows{{"P1", "L1"}}));
  EXPECT_TRUE(log_entries("PSALE_TEMP").empty());
}

TEST_F(Promotions, ARefusedLineKeepsThePromotionsOldLinesAndItsEntry) {
  service.sql(header("PSALE_MASTER", "P1", "2024/05/01", "2024/06/30") + sales_line("P1", "L1") +
              sales_line("P1", "L2", "2", "-1") + logged("PSALE_TEMP", "P1", "UPDATE"));
  local("ALTER TABLE PROMOTION ADD CONSTRAINT NO_NEGATIVE CHECK (PACK_QTY >= 0)");
  local("INSERT INTO PROMOTION (MASTERBILLID, TEMPPRODID) VALUES ('P1', 'OLD')");
  ASSERT_EQ(terminal.run(0, {}), "");
  EXPECT_EQ(rows("SELECT TEMPPRODID FROM PROMOTION"), (Rows{{"OLD"}}));
  EXPECT_EQ(log_entries("PSALE_TEMP"), (Rows{{"001", "P1", "UPDATE", "W"}}));  // taken again next run
  EXPECT_EQ(terminal.counters(6).refused, 1u);
}

// A promotion whose rewrite the local database refuses keeps its old lines run after run, also
// across an empty answer, while other promotions are deleted; once the rewrite is accepted, the
// change log drains. Once for each way the logs are acknowledged: scripts (6) and statements (8).
TEST(PromotionsHeldBack, ARefusedRewriteKeepsTheOldLinesAcrossRunsUntilItIsWrittenWhole) {
  const struct {
    int job;
    std::string master, sub, log, local;
    bool typed;  // a header type and lines that may be stopped
  } shapes[] = {{6, "PSALE_MASTER", "PSALE_SUB", "PSALE_TEMP", "PROMOTION", true},
                {8, "PTSALE_MASTER", "PTSALE_SUB", "PTSALE_TEMP", "PTSALE", false}};
  for (const auto& k : shapes) {
    SCOPED_TRACE(k.log);
    ReferenceService service;
    Terminal terminal{service};
    auto line = [&](const std::string& id, const std::string& l, const std::string& name) {
      return "INSERT INTO " + k.sub + " (MASTERBILLID, TEMPPRODID, PROD_NAME" + (k.typed ? ", STOP_SALE" : "") +
             ") VALUES ('" + id + "', '" + l + "', '" + name + "'" + (k.typed ? ", 'N'" : "") + ");";
    };
    service.sql(
        "INSERT INTO MCH_ITEM (MCH_NO, STOCK_ID) VALUES ('001', 'ST01');"
        "INSERT INTO " +
        k.master + " (MASTERBILLID, INI_DATE, END_DATE" + (k.typed ? ", BILL_TYPE" : "") +
        ") VALUES ('A', '2024/05/01', '2024/06/30'" + (k.typed ? ", '1'" : "") + ");" + line("A", "L1", "x") +
        line("A", "L2", "BAD") + logged(k.log, "A", "UPDATE") + logged(k.log, "B", "DELETE"));
    terminal.start({"0"});
    auto& con = terminal.form().SQLCon_Loc;
    con.execute("ALTER TABLE " + k.local + " ADD CONSTRAINT NO_BAD CHECK (PROD_NAME IS DISTINCT FROM 'BAD')");
    for (const char* id : {"A", "B", "C", "D", "E"})
      con.execute("INSERT INTO " + k.local + " (MASTERBILLID, TEMPPRODID) VALUES ('" + id + "', '" +
                  (id == std::string("A") ? "OLD" : "L1") + "')");
    auto lines = [&] {
      return terminal.local_rows("SELECT MASTERBILLID, TEMPPRODID FROM " + k.local + " ORDER BY 1, 2");
    };
    auto entries = [&] { return service.rows("SELECT MASTERBILLID, STATE, TRAN_CODE FROM " + k.log + " ORDER BY 1"); };
    const Rows held{{"A", "UPDATE", "W"}};

    ASSERT_EQ(terminal.run(0), "");  // refused: A keeps its lines, B goes
    EXPECT_EQ(terminal.counters(static_cast<std::size_t>(k.job)).refused, 1u);
    EXPECT_EQ(lines(), (Rows{{"A", "OLD"}, {"C", "L1"}, {"D", "L1"}, {"E", "L1"}}));
    EXPECT_EQ(entries(), held);

    service.sql(logged(k.log, "C", "DELETE"));
    ASSERT_EQ(terminal.run(0), "");  // refused again, C goes
    EXPECT_EQ(lines(), (Rows{{"A", "OLD"}, {"D", "L1"}, {"E", "L1"}}));
    EXPECT_EQ(entries(), held);

    service.sql("UPDATE " + k.sub + " SET MASTERBILLID = 'AWAY' WHERE MASTERBILLID = 'A';" +
                logged(k.log, "D", "DELETE"));
    ASSERT_EQ(terminal.run(0), "");  // an empty answer: A keeps its lines, its entry goes; D goes
    EXPECT_EQ(lines(), (Rows{{"A", "OLD"}, {"E", "L1"}}));
    EXPECT_TRUE(entries().empty());

    service.sql("UPDATE " + k.sub + " SET MASTERBILLID = 'A' WHERE MASTERBILLID = 'AWAY';" +
                logged(k.log, "A", "UPDATE") + logged(k.log, "E", "DELETE"));
    ASSERT_EQ(terminal.run(0), "");  // refused a third time, E goes
    EXPECT_EQ(lines(), (Rows{{"A", "OLD"}}));
    EXPECT_EQ(entries(), held);

    service.sql("UPDATE " + k.sub + " SET PROD_NAME = 'y' WHERE PROD_NAME = 'BAD';");
    ASSERT_EQ(terminal.run(0), "");  // accepted: A is rewritten whole and the log drains
    EXPECT_EQ(lines(), (Rows{{"A", "L1"}, {"A", "L2"}}));
    EXPECT_TRUE(entries().empty());
  }
}

TEST_F(Promotions, FullUpdatesUpsertTodaysLinesAndPurgeEndedOnes) {
  service.sql(header("PSALE_MASTER", "TODAY", "2024/05/01", "2024/05/31") +
              sales_line("TODAY", "L1", "2", "3", "NULL") +
              header("PSALE_MASTER", "LATER", "2024/06/01", "2024/06/30") + sales_line("LATER", "L1") +
              header("GSALE_MASTER", "G1", "2024/05/31", "2024/06/30", "1", "NULL") + gift_line("G1", "L1"));
  local("INSERT INTO PROMOTION (MASTERBILLID, TEMPPRODID, END_DATE) VALUES ('ENDED', 'L1', '2024/05/30')");
  for (int run = 0; run < 2; ++run) ASSERT_EQ(terminal.run(1, {6, 12}), "") << run;
  EXPECT_EQ(rows("SELECT MASTERBILLID, TEMPPRODID, VIP_PRICE, N_QTY FROM PROMOTION"),
            (Rows{{"TODAY", "L1", "100", "3"}}));
  // The gift table is made with OVER_AMT; N_QTY missing gives 0, VIP_PRICE falls back in full update.
  EXPECT_EQ(rows("SELECT MASTERBILLID, TEMPPRODID, VIP_PRICE, N_QTY, G_QTY, OVER_AMT FROM GPROMOTION"),
            (Rows{{"G1", "L1", "100", "0", "1", "0"}}));
}

TEST_F(Promotions, GiftChangesReachATerminalWithoutTheTableAndATableWithoutOverAmtGetsIt) {
  texts_only("GSALE_MASTER");
  service.sql(header("GSALE_MASTER", "G1", "2024/05/01", "2024/06/30", "1", "150.5") + gift_line("G1", "L1") +
              logged("GSALE_TEMP", "G1", "UPDATE"));
  ASSERT_EQ(terminal.run(0, {}), "");
  EXPECT_EQ(rows("SELECT MASTERBILLID, VIP_PRICE, OVER_AMT FROM GPROMOTION"), (Rows{{"G1", "", "0"}}));

  local("DROP TABLE GPROMOTION");
  local(
      "CREATE TABLE GPROMOTION (MASTERBILLID VARCHAR(20), BILL_DATE VARCHAR(10), INI_DATE VARCHAR(10), END_DATE "
      "VARCHAR(10), REASON VARCHAR(100), PROD_ID VARCHAR(20), PROD_NAME VARCHAR(50), PROD_BARCODE VARCHAR(20), "
      "PD_ITEMID VARCHAR(10), PSALE_FLAG VARCHAR(10), PSALE_PRICE DOUBLE PRECISION, OLD_PRICE DOUBLE PRECISION, "
      "VIP_PRICE DOUBLE PRECISION, N_QTY INT, G_PROD_ID VARCHAR(20), G_PROD_NAME VARCHAR(50), G_QTY INT, "
      "STORE_ID VARCHAR(10), TEMPPRODID VARCHAR(20), SEC_DIS VARCHAR(1))");
  service.sql(logged("GSALE_TEMP", "G1", "UPDATE"));
  ASSERT_EQ(terminal.run(0, {}), "");
  EXPECT_EQ(rows("SELECT MASTERBILLID, OVER_AMT FROM GPROMOTION"), (Rows{{"G1", "0"}}));
  EXPECT_TRUE(log_entries("GSALE_TEMP").empty());
}

TEST_F(Promotions, AnyChoiceFullUpdateSavesItsAnswerAndReloadsTheTableOnlyWhenThereIsOne) {
  local("INSERT INTO PTSALE (MASTERBILLID, TEMPPRODID) VALUES ('OLD', 'L1')");
  ASSERT_EQ(terminal.run(1, {8}), "");  // nothing current: the table stays, the answer is saved empty
  EXPECT_EQ(rows("SELECT MASTERBILLID FROM PTSALE"), (Rows{{"OLD"}}));
  RowSet saved;
  std::ifstream in(terminal.home() / "ptpromotion.cds", std::ios::binary);
  saved.load(std::string{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()});
  EXPECT_EQ(saved.row_count(), 0u);
  EXPECT_TRUE(saved.find_field("TEMPPRODID").has_value());

  service.sql(any_choice("A1", "2024/05/01", "2024/05/31") + any_choice("A2", "2024/04/01", "2024/05/30"));
  ASSERT_EQ(terminal.run(1, {8}), "");
  EXPECT_EQ(rows("SELECT MASTERBILLID, TEMPPRODID, PTSALE_QTY, PTSALE_PRICE, REMARK FROM PTSALE ORDER BY 2"),
            (Rows{{"A1", "L1", "3", "99", ""}, {"A1", "L2", "3", "99", ""}}));
  std::ifstream again(terminal.home() / "ptpromotion.cds", std::ios::binary);
  saved.load(std::string{std::istreambuf_iterator<char>(again), std::istreambuf_iterator<char>()});
  EXPECT_EQ(saved.row_count(), 2u);
}

}  // namespace
}  // namespace pos::testing

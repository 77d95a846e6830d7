// Jobs 1, 2, 4, 9, 10, 11, 12 (points) and 14 against the reference service and a real terminal
// database, grouped by job.

#include <gtest/gtest.h>

#include "tests/support/terminal.h"

namespace pos::testing {
namespace {

using Rows = std::vector<std::vector<std::string>>;

class ReferenceTables : public ::testing::Test {
 protected:
  void SetUp() override {
    service.sql(
        "INSERT INTO MCH_ITEM (MCH_NO, STOCK_ID, MCH_NAME, MCH_IP) VALUES ('001', 'ST01', 'front', '10.0.0.1');");
    terminal.fix_date("2024/05/31");
    terminal.start({"1"});
  }
  // Head office without the table's key, so that an answer can repeat a key.
  void without_key(const std::string& table) {
    service.sql("ALTER TABLE " + table + " RENAME TO OLD_T; CREATE TABLE " + table +
                " AS SELECT * FROM OLD_T; DROP TABLE OLD_T;");
  }
  void local(const std::string& sql) { terminal.form().SQLCon_Loc.execute(sql); }
  Rows rows(const std::string& sql) { return terminal.local_rows(sql); }

  ReferenceService service;
  Terminal terminal{service};
};

TEST_F(ReferenceTables, StaffIsUpsertedInChangesUpdateAndRefilledWholeInFullUpdate) {
  without_key("EMPLOYEE");
  service.sql(
      "INSERT INTO EMPLOYEE VALUES ('E1', 'Ann', 'p1', 'c1'); INSERT INTO EMPLOYEE VALUES ('E1', 'Bea', 'p2', 'c2');"
      "INSERT INTO EMPLOYEE VALUES ('E2', 'Cal', NULL, 'c3');");
  local("INSERT INTO LOC_PERS (LAB_NO, CNAME) VALUES ('E9', 'gone at head office')");
  ASSERT_EQ(terminal.run(0, {}), "");
  EXPECT_EQ(rows("SELECT LAB_NO, CNAME, PASSW, CHK_CODE FROM LOC_PERS ORDER BY LAB_NO"),
            (Rows{{"E1", "Bea", "p2", "c2"}, {"E2", "Cal", "", "c3"}, {"E9", "gone at head office", "", ""}}));

  ASSERT_EQ(terminal.run(1, {1}), "");
  EXPECT_EQ(rows("SELECT LAB_NO FROM LOC_PERS ORDER BY LAB_NO"), (Rows{{"E1"}, {"E2"}}));
}

TEST_F(ReferenceTables, AShiftIsUpdatedInPlaceKeepingItsOtherColumns) {
  local("ALTER TABLE LOC_WRK ADD NOTE VARCHAR(10)");
  local("INSERT INTO LOC_WRK (WRK_NO, OVE_, NOTE) VALUES ('1', '15:00', 'keep')");
  service.sql("INSERT INTO WRK_ITEM VALUES ('1', 'Morning', 'A', '07:00', '16:00', '9');");
  ASSERT_EQ(terminal.run(1, {2}), "");
  EXPECT_EQ(rows("SELECT WRK_NO, WRK_NAME, \"START\", OVE_, WORK_TIME, NOTE FROM LOC_WRK"),
            (Rows{{"1", "Morning", "07:00", "16:00", "9", "keep"}}));

  service.sql("DELETE FROM WRK_ITEM;");
  ASSERT_EQ(terminal.run(0, {}), "");
  EXPECT_EQ(terminal.counters(2).written, 0u);
  EXPECT_EQ(rows("SELECT WRK_NO FROM LOC_WRK").size(), 1u);
}

TEST_F(ReferenceTables, InvoicePeriodsAreJoinedAsTheyComeAndRangesCutToTheirColumns) {
  service.sql(
      "INSERT INTO INV_WORD VALUES ('113', '1', 'AB'); INSERT INTO INV_WORD VALUES ('113', '05', 'CD');"
      "INSERT INTO EINVOICE_WORD VALUES ('001', '113', '05', 'XY', '123456789012', '1234567899', '2024/05/01', 'u');"
      "INSERT INTO EINVOICE_WORD VALUES ('002', '113', '07', 'ZZ', '1', '2', NULL, NULL);");
  local("INSERT INTO LOC_WORD (YY, MM, INV_WORD) VALUES ('113', '01', 'XX')");
  local("INSERT INTO LOC_WORD (YY, MM, INV_WORD) VALUES ('113', '05', 'OL')");
  ASSERT_EQ(terminal.run(1, {4}), "");
  EXPECT_EQ(rows("SELECT YY, MM, INV_WORD FROM LOC_WORD ORDER BY MM, INV_WORD"),
            (Rows{{"113", "01", "XX"}, {"113", "05", "CD"}, {"113", "1", "AB"}}));  // 1131 is not 11301
  EXPECT_EQ(rows("SELECT MCH_NO, EYY, EMM, BG_NUM, ED_NUM FROM EINVOICE_WORD"),
            (Rows{{"001", "113", "05", "1234567890", "1234567899"}}));
}

TEST_F(ReferenceTables, KeyboardTablesAreRebuiltWithTheLastRowOfAKeyAndKeptWhenAFetchFails) {
  without_key("LOC_KEY_MAP");
  service.sql(
      "INSERT INTO LOC_KEY_MAP VALUES ('K1', 'P1', 'one', NULL); INSERT INTO LOC_KEY_MAP VALUES ('K1', 'P2', 'two', "
      "'m');"
      "INSERT INTO LOC_KEY_MAP_SUB VALUES ('K1', 'P1', 'one', NULL); INSERT INTO LOC_KEY_MAP_SUB VALUES ('K1', 'P2', "
      "'two', NULL);");
  local("INSERT INTO LOC_KEY_MAP (ID_NO, PDC_NO) VALUES ('OLD', 'X')");
  ASSERT_EQ(terminal.run(-1, {10}), "");  // the job does not look at the mode
  EXPECT_EQ(rows("SELECT ID_NO, PDC_NO, PDC_NAME, MEMO FROM LOC_KEY_MAP"), (Rows{{"K1", "P2", "two", "m"}}));
  EXPECT_EQ(rows("SELECT ID_NO, PDC_NO FROM LOC_KEY_MAP_SUB ORDER BY PDC_NO"), (Rows{{"K1", "P1"}, {"K1", "P2"}}));

  service.sql("DROP TABLE LOC_KEY_MAP_SUB;");
  EXPECT_NE(terminal.run(0, {}), "");
  EXPECT_EQ(rows("SELECT COUNT(*) FROM LOC_KEY_MAP_SUB"), (Rows{{"2"}}));

  service.sql("CREATE TABLE LOC_KEY_MAP_SUB (ID_NO TEXT, PDC_NO TEXT, PDC_NAME TEXT, MEMO TEXT);");
  ASSERT_EQ(terminal.run(0, {}), "");
  EXPECT_TRUE(rows("SELECT * FROM LOC_KEY_MAP_SUB").empty());  // an empty answer empties it
}

TEST_F(ReferenceTables, MachinesAndLevelsAreUpdatedInPlaceAndNeverRemoved) {
  service.sql(
      "INSERT INTO MCH_ITEM (MCH_NO, STOCK_ID, MCH_NAME, MCH_IP) VALUES ('002', 'ST01', 'back', '10.0.0.2');"
      "INSERT INTO MEMDIS_LEVEL VALUES ('C1', 1, 0, 999, 95); INSERT INTO MEMDIS_LEVEL VALUES ('C1', 2, 1000, 5000, "
      "90);");
  local("INSERT INTO MCH_ITEM (MCH_NO, MCH_NAME) VALUES ('009', 'retired')");
  local("INSERT INTO MCH_ITEM (MCH_NO, MCH_NAME) VALUES ('002', 'old name')");
  local("INSERT INTO MEMDIS_LEVEL (CLASS_ID, LEVEL_ID, I_DISCOUNT) VALUES ('C1', 2, 80)");
  local("INSERT INTO MEMDIS_LEVEL (CLASS_ID, LEVEL_ID, I_DISCOUNT) VALUES ('C9', 1, 70)");
  ASSERT_EQ(terminal.run(1, {9, 11}), "");
  EXPECT_EQ(rows("SELECT MCH_NO, MCH_IP, MCH_NAME FROM MCH_ITEM ORDER BY MCH_NO"),
            (Rows{{"001", "10.0.0.1", "front"}, {"002", "10.0.0.2", "back"}, {"009", "", "retired"}}));
  EXPECT_EQ(rows("SELECT CLASS_ID, LEVEL_ID, LO_AMT, HI_AMT, I_DISCOUNT FROM MEMDIS_LEVEL ORDER BY CLASS_ID, LEVEL_ID"),
            (Rows{{"C1", "1", "0", "999", "95"}, {"C1", "2", "1000", "5000", "90"}, {"C9", "1", "", "", "70"}}));

  // A level without a number gives a lookup the local database refuses: the run ends with its message.
  service.sql("INSERT INTO MEMDIS_LEVEL VALUES ('C2', NULL, 0, 1, 99);");
  const std::string error = terminal.run(1, {11});
  EXPECT_NE(error.find("Unexpected end of command"), std::string::npos) << error;
}

TEST_F(ReferenceTables, PointsSettingsFromTodayOnAreFetchedEarliestFirst) {
  service.sql(
      "INSERT INTO POINT_SET VALUES ('2024/05/30', 100, 1, NULL, NULL); INSERT INTO POINT_SET VALUES ('2024/06/01', "
      "50, "
      "2, '2024/05/01', 'u'); INSERT INTO POINT_SET VALUES ('2024/05/31', 200, 3, NULL, NULL);");
  local("INSERT INTO POINT_SET (INI_DATE, SAL_AMT, CHG_POINT) VALUES ('2024/05/30', 1, 1)");
  ASSERT_EQ(terminal.run(0, {}), "");
  EXPECT_EQ(rows("SELECT INI_DATE, SAL_AMT, CHG_POINT, CHG_USER FROM POINT_SET ORDER BY INI_DATE"),
            (Rows{{"2024/05/30", "1", "1", ""}, {"2024/05/31", "200", "3", ""}, {"2024/06/01", "50", "2", "u"}}));
  EXPECT_EQ(terminal.counters(12).fetched, 2u);
}

TEST_F(ReferenceTables, CardStopsReplaceTheListOnlyWhenHeadOfficeHasOne) {
  local("INSERT INTO SMARTCARD_DATA (MEMBER_ID, PIN_CODE) VALUES ('OLD1', 'x')");
  local("INSERT INTO SMARTCARD_DATA (MEMBER_ID, PIN_CODE) VALUES ('OLD2', 'y')");
  service.sql("INSERT INTO SMARTCARD_DATA VALUES ('C1', 'M1', NULL, '2024/01/01', NULL, 'N', NULL);");
  ASSERT_EQ(terminal.run(1, {14}), "");
  EXPECT_EQ(rows("SELECT COUNT(*) FROM SMARTCARD_DATA"), (Rows{{"2"}}));  // nothing stopped: kept

  service.sql("UPDATE SMARTCARD_DATA SET STOP_YN = 'Y';");
  service.sql("ALTER TABLE SMARTCARD_DATA RENAME TO BROKEN;");
  EXPECT_NE(terminal.run(1, {14}), "");
  EXPECT_EQ(rows("SELECT COUNT(*) FROM SMARTCARD_DATA"), (Rows{{"2"}}));  // a failed fetch: kept

  service.sql("ALTER TABLE BROKEN RENAME TO SMARTCARD_DATA;");
  ASSERT_EQ(terminal.run(1, {14}), "");
  EXPECT_EQ(rows("SELECT MEMBER_ID, PIN_CODE, CR_DATE, CHG_DATE FROM SMARTCARD_DATA"),
            (Rows{{"M1", "", "2024/01/01", ""}}));
}

TEST_F(ReferenceTables, WithNoModeTheModeBoundJobsWriteOnlyTheirFirstLine) {
  service.sql(
      "INSERT INTO EMPLOYEE VALUES ('E1', 'Ann', NULL, NULL); INSERT INTO WRK_ITEM VALUES ('1', 'M', 'A', 'a', 'b', "
      "'c');"
      "INSERT INTO INV_WORD VALUES ('113', '05', 'CD');"
      "INSERT INTO SMARTCARD_DATA VALUES ('C1', 'M1', NULL, NULL, NULL, 'Y', NULL);");
  ASSERT_EQ(terminal.run(-1, {1, 2, 4, 14}), "");
  EXPECT_EQ(terminal.log_lines().size(), 7u);  // timestamp, four first lines, closing line, timestamp
  for (const char* table : {"LOC_PERS", "LOC_WRK", "LOC_WORD", "SMARTCARD_DATA"})
    EXPECT_TRUE(rows(std::string("SELECT * FROM ") + table).empty()) << table;
}

}  // namespace
}  // namespace pos::testing

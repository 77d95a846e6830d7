// Job 5 against the reference service and a real terminal database.

#include <gtest/gtest.h>

#include "tests/support/terminal.h"

namespace pos::testing {
namespace {

class BundleJob : public ::testing::Test {
 protected:
  void SetUp() override {
    service.sql(
        "INSERT INTO MCH_ITEM (MCH_NO, STOCK_ID, TOP_ITEMID) VALUES ('001', 'ST01', '');"
        "INSERT INTO PROD_SALE (PROD_ID, SAL_BARCODE, SAL_NAME, PACK_QTY, SAL_UNITNAME, SAL_PRICE, VIP_PRICE) "
        "VALUES ('P1', 'B6', '六入裝', 6, '組', 99.5, 95);"
        "INSERT INTO PROD_SALE (PROD_ID, SAL_BARCODE, SAL_NAME, PACK_QTY, SAL_UNITNAME, SAL_PRICE, VIP_PRICE) "
        "VALUES ('P2', 'B12', '十二入裝', 12, '箱', 180, NULL);");
    terminal.start({"0"});
    auto& con = terminal.form().SQLCon_Loc;
    con.execute("INSERT INTO PROD_SALE (PROD_ID, SAL_BARCODE) VALUES ('OLD', 'OLD')");
    con.execute("INSERT INTO LOC_PDC (PDC_NO, PROD_ID, BAR_CODE) VALUES ('B6', 'B6', 'x')");
    con.execute("INSERT INTO LOC_PDC (PDC_NO, PROD_ID, BAR_CODE) VALUES ('Q', 'Q', 'B12')");
    con.execute("INSERT INTO LOC_PDC (PDC_NO, PROD_ID, BAR_CODE) VALUES ('KEEP', 'KEEP', 'K')");
  }
  ReferenceService service;
  Terminal terminal{service};
};

TEST_F(BundleJob, ChangesUpdateReplacesTheTableByPositionAndClearsProductsItReplaces) {
  ASSERT_EQ(terminal.run(0, {}), "");
  auto rows = terminal.local_rows(
      "SELECT PROD_ID, SAL_BARCODE, PACK_QTY, SAL_PRICE, VIP_PRICE, STOP_YN FROM PROD_SALE ORDER BY PROD_ID");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"P1", "B6", "6", "99.5", "95", "N"}));
  EXPECT_EQ(rows[1], (std::vector<std::string>{"P2", "B12", "12", "180", "", "N"}));  // null stays null
  auto products = terminal.local_rows("SELECT PROD_ID FROM LOC_PDC");
  ASSERT_EQ(products.size(), 1u);
  EXPECT_EQ(products[0][0], "KEEP");
}

TEST_F(BundleJob, ABlankBundleBarcodeDeletesNoProduct) {
  service.sql(
      "INSERT INTO PROD_SALE (PROD_ID, SAL_BARCODE, PACK_QTY) VALUES ('P3', '', 2);"
      "INSERT INTO PROD_SALE (PROD_ID, SAL_BARCODE, PACK_QTY) VALUES ('P4', '   ', 3);");
  auto& con = terminal.form().SQLCon_Loc;
  con.execute("INSERT INTO LOC_PDC (PDC_NO, PROD_ID, BAR_CODE) VALUES ('N1', 'N1', '')");
  con.execute("INSERT INTO LOC_PDC (PDC_NO, PROD_ID, BAR_CODE) VALUES ('N2', 'N2', '  ')");
  con.execute("INSERT INTO LOC_PDC (PDC_NO, PROD_ID) VALUES ('N3', '')");
  ASSERT_EQ(terminal.run(0, {}), "");
  EXPECT_EQ(terminal.local_rows("SELECT PDC_NO FROM LOC_PDC ORDER BY 1"),
            (std::vector<std::vector<std::string>>{{"KEEP"}, {"N1"}, {"N2"}, {"N3"}}));
  EXPECT_EQ(terminal.local_rows("SELECT COUNT(*) FROM PROD_SALE")[0][0], "4");
}

TEST_F(BundleJob, FullUpdateOnlyLogs) {
  ASSERT_EQ(terminal.run(1, {5}), "");
  auto log = terminal.log_lines();
  ASSERT_EQ(log.size(), 4u);
  EXPECT_EQ(log[1], " 組銷資料傳送中...!");
  EXPECT_EQ(terminal.local_rows("SELECT * FROM PROD_SALE").size(), 1u);
  EXPECT_EQ(terminal.local_rows("SELECT * FROM LOC_PDC").size(), 3u);
}

TEST_F(BundleJob, AFailedFetchLeavesTheOldRows) {
  service.sql("DROP TABLE PROD_SALE;");
  EXPECT_NE(terminal.run(0, {5}), "");
  auto rows = terminal.local_rows("SELECT PROD_ID FROM PROD_SALE");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][0], "OLD");
}

}  // namespace
}  // namespace pos::testing

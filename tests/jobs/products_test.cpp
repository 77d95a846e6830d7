// Job 0 against the reference service and a real terminal database.

#include <gtest/gtest.h>

#include <algorithm>

#include "localdb/catalogue.h"
#include "tests/support/cutting_proxy.h"
#include "tests/support/terminal.h"
#include "text/big5.h"

namespace pos::testing {
namespace {

const char* kColumns =
    "PROD_ID,PROD_NAME,PROD_ID2,PROD_SNAME,PROD_BARCODE,UNITNAME,SALE_PRICE,PSALE_PRICE,STD_COST,AVG_COST,"
    "PD_CLASSID,SAL_TAG,PD_ITEMID,VIP_PRICE,CR_PRICE,TAX_KIND,P_PU,P_PU2,MEM_DISCOUNT,P_PRICE,P_PRICE2,N_PRICE,"
    "FREE_TAX,HEA_TAX,POINT_YN,PROD_SCALE,STOCK_QTY,DEF_PROFIT,MS,PUT_ID";

// A product row with the given number, bar code, category and prices; the rest plain.
std::string product(const std::string& id, const std::string& barcode, const std::string& item = "S1",
                    const std::string& sale = "100", const std::string& psale = "120", const std::string& vip = "NULL",
                    const std::string& n_price = "NULL", const std::string& name = "'茶葉蛋'") {
  return std::string("INSERT INTO PRODUCT (") + kColumns + ") VALUES ('" + id + "'," + name + ",'" + id + "-2','蛋','" +
         barcode + "','個'," + sale + "," + psale + ",12.5,11,'C1','0','" + item + "'," + vip +
         ",NULL,'1','','','',NULL,NULL," + n_price + ",0,0,'Y','','5',0.1,'','');";
}

class ProductsJob : public ::testing::Test {
 protected:
  void SetUp() override {
    service.sql(
        "INSERT INTO MCH_ITEM (MCH_NO, STOCK_ID, TOP_ITEMID) VALUES ('001', 'ST01', '');"
        "INSERT INTO PROD_DEPART (PD_DEPID, PD_DEPNAME) VALUES ('D1', '食品部');"
        "INSERT INTO PROD_TOPITEM (TOP_ITEMID, TOP_ITEMNAME, PD_DEPID) VALUES ('01', '食品', 'D1');"
        "INSERT INTO PROD_TOPITEM (TOP_ITEMID, TOP_ITEMNAME, PD_DEPID) VALUES ('02', '日用品', 'D1');"
        "INSERT INTO PROD_HIITEM (PD_GRPID, PD_GRPNAME, TOP_ITEMID) VALUES ('G1', '熟食', '01');"
        "INSERT INTO PROD_HIITEM (PD_GRPID, PD_GRPNAME, TOP_ITEMID) VALUES ('G2', '清潔', '02');"
        "INSERT INTO PROD_HIITEM (PD_GRPID, PD_GRPNAME, TOP_ITEMID) VALUES ('G3', '孤兒', NULL);"
        "INSERT INTO PROD_ITEM (PD_ITEMID, PD_ITEMNAME, PD_GRPID, M_SHOW) VALUES ('S1', '蛋類', 'G1', 'YES');"
        "INSERT INTO PROD_ITEM (PD_ITEMID, PD_ITEMNAME, PD_GRPID, M_SHOW) VALUES ('S2', '洗劑', 'G2', '');"
        "INSERT INTO PROD_ITEM (PD_ITEMID, PD_ITEMNAME, PD_GRPID, M_SHOW) VALUES ('S3', '雜項', 'G3', NULL);");
  }
  std::vector<std::string> pending(const std::string& state_filter = "1=1") {
    std::vector<std::string> out;
    for (auto& r :
         service.rows("SELECT PROD_ID || ':' || STATE FROM PRODUCT_TEMP WHERE " + state_filter + " ORDER BY PROD_ID"))
      out.push_back(r[0]);
    return out;
  }
  ReferenceService service;
  Terminal terminal{service};
};

TEST_F(ProductsJob, FullUpdateWritesEveryProductByTheMappingAndLeavesTheChangeLog) {
  service.sql(product("P1", "4710001", "S1", "100.5", "120") +
              product("P2", "4710002", "S2", "NULL", "80", "90", "75") +
              "INSERT INTO PRODUCT_TEMP (MCH_NO, PROD_ID, STATE) VALUES ('001', 'P1', 'UPDATE');");
  ASSERT_EQ(terminal.run(1, {0}), "");
  auto log = terminal.log_lines();
  EXPECT_EQ(log[1], " 商品分類傳送中...!");
  EXPECT_EQ(log[2], " 商品資料傳送中...!");

  auto rows = terminal.local_rows(
      "SELECT PDC_NO, PROD_ID, PDC_NAME, BAR_CODE, GEN_PRICE, STD_PRICE, STK_PRICE, VIP_PRICE, CR_PRICE, N_PRICE, "
      "P_PRICE, PDC_TYPE, INV_NAME FROM LOC_PDC ORDER BY PDC_NO");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0][0], "P1");
  EXPECT_EQ(rows[0][1], "P1");
  EXPECT_EQ(rows[0][4], "101");  // 100.5: a half goes away from zero
  EXPECT_EQ(rows[0][5], "120");
  EXPECT_EQ(rows[0][6], "12.5");  // "   12.50"
  EXPECT_EQ(rows[0][7], "120");   // null VIP_PRICE: PSALE_PRICE
  EXPECT_EQ(rows[0][8], "120");
  EXPECT_EQ(rows[0][9], "120");  // null N_PRICE in full update: PSALE_PRICE
  EXPECT_EQ(rows[0][11], "S1");
  EXPECT_EQ(rows[1][4], "0");  // empty SALE_PRICE
  EXPECT_EQ(rows[1][7], "90");
  EXPECT_EQ(rows[1][9], "75");
  EXPECT_EQ(pending(), (std::vector<std::string>{"P1:UPDATE"}));  // a full update never removes them
}

TEST_F(ProductsJob, ChangesUpdateReplacesPredecessorsAppliesDeletesAndAcknowledges) {
  service.sql(product("P1", "4710009") + product("P3", "") +
              "INSERT INTO PRODUCT_TEMP (MCH_NO, PROD_ID, STATE) VALUES ('001', 'P1', 'UPDATE');"
              "INSERT INTO PRODUCT_TEMP (MCH_NO, PROD_ID, STATE) VALUES ('001', 'P3', 'INSERT');"
              "INSERT INTO PRODUCT_TEMP (MCH_NO, PROD_ID, STATE) VALUES ('001', 'P4', 'UPDATE');"  // not in PRODUCT
              "INSERT INTO PRODUCT_TEMP (MCH_NO, PROD_ID, STATE) VALUES ('001', 'P9', 'DELETE');"
              "INSERT INTO PRODUCT_TEMP (MCH_NO, PROD_ID, STATE) VALUES ('002', 'P9', 'DELETE');");
  terminal.start({"0"});
  auto& con = terminal.form().SQLCon_Loc;
  // P1 under its old bar code, another product holding P1's new bar code, P9 to delete, and two
  // products without a bar code that must not replace each other.
  con.execute("INSERT INTO LOC_PDC (PDC_NO, PROD_ID, BAR_CODE, P_PRICE) VALUES ('P1', 'P1', '4710001', 5)");
  con.execute("INSERT INTO LOC_PDC (PDC_NO, PROD_ID, BAR_CODE) VALUES ('PX', 'PX', '4710009')");
  con.execute("INSERT INTO LOC_PDC (PDC_NO, PROD_ID, BAR_CODE) VALUES ('P9', 'P9', '4710099')");
  con.execute("INSERT INTO LOC_PDC (PDC_NO, PROD_ID, BAR_CODE) VALUES ('P5', 'P5', '')");

  ASSERT_EQ(terminal.run(0, {}), "");
  auto rows = terminal.local_rows("SELECT PROD_ID, BAR_CODE, P_PRICE FROM LOC_PDC ORDER BY PROD_ID");
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"P1", "4710009", ""}));  // one fresh row, P_PRICE unset
  EXPECT_EQ(rows[1][0], "P3");
  EXPECT_EQ(rows[2][0], "P5");                                    // an empty bar code matched nothing
  EXPECT_EQ(pending(), (std::vector<std::string>{"P9:DELETE"}));  // only the other terminal's entry is left
  for (const auto& line : terminal.log_lines()) EXPECT_EQ(line.find("Data Error"), std::string::npos) << line;
}

TEST_F(ProductsJob, AFailingProductIsLoggedTheOthersWrittenAndItsKeyTakenAgainNextRun) {
  service.sql(product("P1", "1") + product("P2", "2", "S1", "100", "120", "NULL", "NULL", "'BAD'") +
              product("P3", "3") +
              "INSERT INTO PRODUCT_TEMP (MCH_NO, PROD_ID, STATE) VALUES ('001', 'P1', 'UPDATE');"
              "INSERT INTO PRODUCT_TEMP (MCH_NO, PROD_ID, STATE) VALUES ('001', 'P2', 'UPDATE');"
              "INSERT INTO PRODUCT_TEMP (MCH_NO, PROD_ID, STATE) VALUES ('001', 'P3', 'UPDATE');");
  terminal.start({"0"});
  auto& con = terminal.form().SQLCon_Loc;
  // The local database refuses P2's row; its old row must survive the failed replacement.
  con.execute("INSERT INTO LOC_PDC (PDC_NO, PROD_ID, BAR_CODE, PDC_NAME) VALUES ('P2', 'P2', '2', 'old')");
  con.execute("ALTER TABLE LOC_PDC ADD CONSTRAINT NO_BAD CHECK (PDC_NAME IS DISTINCT FROM 'BAD')");

  ASSERT_EQ(terminal.run(0, {}), "");
  auto log = terminal.log_lines();
  std::size_t errors = 0;
  for (const auto& l : log) errors += l == "P2Data Error...!";
  EXPECT_EQ(errors, 1u);
  auto rows = terminal.local_rows("SELECT PROD_ID, PDC_NAME FROM LOC_PDC ORDER BY PROD_ID");
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[1], (std::vector<std::string>{"P2", "old"}));
  // The entries went before the fetch; the failed product's key is kept here instead.
  EXPECT_TRUE(pending().empty());
  const std::string taken = "SELECT TAKEN_AS, KEY_VALUE FROM POS_TAKEN_KEYS";
  EXPECT_EQ(terminal.local_rows(taken), (std::vector<std::vector<std::string>>{{"PRODUCT_TEMP CHANGE", "P2"}}));

  // The next run, with the fault gone, takes it first.
  con.execute("ALTER TABLE LOC_PDC DROP CONSTRAINT NO_BAD");
  ASSERT_EQ(terminal.run(0, {0}), "");
  EXPECT_TRUE(terminal.local_rows(taken).empty());
  EXPECT_EQ(terminal.local_rows("SELECT PDC_NAME FROM LOC_PDC WHERE PROD_ID = 'P2'")[0][0], "BAD");
  EXPECT_FALSE(IndexMissing(terminal.form().SQLQuery3, "LOC_PDC2"));

  // A category fetch that fails leaves the rows that were there.
  service.sql("DROP TABLE PROD_DEPART;");
  EXPECT_NE(terminal.run(1, {0}), "");
  EXPECT_EQ(terminal.local_rows("SELECT * FROM LOC_TYPE").size(), 3u);
}

TEST_F(ProductsJob, KeysAStatementWouldChangeAreFetchedAndRemovedAndOnesTooLongToRememberFailAlone) {
  const std::string too_long(90, 'L');
  service.sql(product("P1", "1") + product("p7", "7") + product("P;8", "8") +
              "INSERT INTO PRODUCT_TEMP (MCH_NO, PROD_ID, STATE) VALUES ('001', 'p7', 'UPDATE');"
              "INSERT INTO PRODUCT_TEMP (MCH_NO, PROD_ID, STATE) VALUES ('001', 'P;8', 'UPDATE');"
              "INSERT INTO PRODUCT_TEMP (MCH_NO, PROD_ID, STATE) VALUES ('001', '" +
              too_long +
              "', 'UPDATE');"
              "INSERT INTO PRODUCT_TEMP (MCH_NO, PROD_ID, STATE) VALUES ('001', 'P1', 'UPDATE');");
  const std::string taken = "SELECT KEY_VALUE FROM POS_TAKEN_KEYS";
  for (int run = 0; run < 2; ++run) {
    SCOPED_TRACE(run);
    ASSERT_EQ(terminal.run(0, {0}), "");
    // p7 is fetched as head office keeps it; its entry and P;8's went (a statement would have changed
    // them). The long key's row failed.
    EXPECT_EQ(pending(), (std::vector<std::string>{too_long + ":UPDATE"}));
    EXPECT_TRUE(terminal.local_rows(taken).empty());
    EXPECT_EQ(terminal.counters(0).failed, 1u);
    const auto log = terminal.log_lines();
    EXPECT_NE(std::find(log.begin(), log.end(), too_long + "Data Error...!"), log.end());
  }
  EXPECT_EQ(terminal.local_rows("SELECT PROD_ID FROM LOC_PDC ORDER BY PROD_ID"),
            (std::vector<std::vector<std::string>>{{"P1"}, {"P;8"}, {"p7"}}));
}

TEST_F(ProductsJob, AServiceLostMidLoopStopsTheJobAfterOneMessageAndKeepsTheWrittenProducts) {
  std::string sql;
  for (int i = 1; i <= 6; ++i) {
    std::string id = "P" + std::to_string(i);
    sql += product(id, "47100" + std::to_string(i)) +
           "INSERT INTO PRODUCT_TEMP (MCH_NO, PROD_ID, STATE) VALUES ('001', '" + id + "', 'UPDATE');";
  }
  service.sql(sql);
  // Opening check, categories, designated category, delete list (empty: nothing to remove),
  // change list, the removal of its entries, then two products: the third finds nothing listening.
  CuttingProxy proxy(service.port(), 8);
  Terminal cut(service, "001", proxy.port());
  EXPECT_EQ(cut.run(0, {}), "silent abort");
  EXPECT_EQ(cut.dialogs().messages().size(), 1u);  // one connection message, not one per product
  auto rows = cut.local_rows("SELECT PROD_ID FROM LOC_PDC ORDER BY PROD_ID");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1][0], "P2");
  // The entries were removed; the terminal keeps their keys and takes them again next time.
  EXPECT_TRUE(pending().empty());
  EXPECT_EQ(cut.local_rows("SELECT COUNT(*) FROM POS_TAKEN_KEYS")[0][0], "6");
  for (const auto& line : cut.log_lines()) EXPECT_EQ(line.find("Data Error"), std::string::npos) << line;
}

}  // namespace
}  // namespace pos::testing

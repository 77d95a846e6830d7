// What init, seed and change leave in the database.

#include <gtest/gtest.h>

#include <chrono>

#include "headoffice/generators/changer.h"
#include "headoffice/generators/seeder.h"
#include "headoffice/storage/database_url.h"
#include "headoffice/storage/schema.h"
#include "tests/headoffice/test_databases.h"
#include "text/big5.h"

namespace pos::test {
namespace {

using namespace pos::headoffice;

std::vector<std::vector<Value>> rows_of(Connection& c, const std::string& sql) {
  RowCollector rows;
  c.execute(sql, &rows);
  return rows.rows();
}

std::int64_t count(Connection& c, const std::string& sql) { return query_value(c, sql).integer(); }

TEST(SeedTest, SameSeedAndDateGiveTheSameData) {
  auto a = open_database(fresh_database_url("seed_a"))->connect();
  auto b = open_database(fresh_database_url("seed_b"))->connect();
  SeedOptions o = fixture_seed_options();
  seed_database(*a, o);
  seed_database(*b, o);
  seed_database(*b, o);  // seeding again replaces, never adds
  for (const auto& t : service_tables()) {
    SCOPED_TRACE(t.name);
    std::string order;
    for (const auto& k : t.primary_key.empty() ? column_names(t) : t.primary_key)
      order += (order.empty() ? "" : ",") + k;
    const std::string sql = "SELECT * FROM " + t.name + " ORDER BY " + order;
    EXPECT_EQ(rows_of(*a, sql), rows_of(*b, sql));
  }
  o.seed = 2;
  seed_database(*b, o);
  EXPECT_NE(rows_of(*a, "SELECT PROD_NAME FROM PRODUCT ORDER BY PROD_ID"),
            rows_of(*b, "SELECT PROD_NAME FROM PRODUCT ORDER BY PROD_ID"));
}

// Every text fits Big5 and its column's width in Big5 bytes; the nullable prices are null in
// some rows and set in others; the promotions cover every phase a terminal must handle.
TEST(SeedTest, DataIsRealisticForTheTerminals) {
  auto c = open_database(fresh_database_url("realistic"))->connect();
  seed_database(*c, fixture_seed_options());
  for (const auto& t : service_tables()) {
    const auto rows = rows_of(*c, "SELECT * FROM " + t.name);
    for (std::size_t col = 0; col < t.columns.size(); ++col) {
      const auto& def = t.columns[col];
      if (!def.type.starts_with("VARCHAR")) continue;
      const std::size_t width = std::stoul(def.type.substr(8));
      for (const auto& r : rows) {
        if (r[col].is_null()) continue;
        std::string big5_text;
        ASSERT_NO_THROW(big5_text = utf8_to_big5(r[col].text())) << t.name << "." << def.name << " " << r[col].text();
        ASSERT_LE(big5_text.size(), width) << t.name << "." << def.name << " " << r[col].text();
      }
    }
  }
  for (const char* column : {"VIP_PRICE", "CR_PRICE", "P_PRICE", "P_PRICE2", "N_PRICE"}) {
    const auto nulls = count(*c, std::string("SELECT COUNT(*) FROM PRODUCT WHERE ") + column + " IS NULL");
    EXPECT_GT(nulls, 0) << column;
    EXPECT_LT(nulls, 500) << column;
  }
  EXPECT_GT(count(*c, "SELECT COUNT(*) FROM PRODUCT WHERE PROD_BARCODE IS NULL"), 0);
  EXPECT_GT(count(*c, "SELECT COUNT(*) FROM PRODUCT WHERE SALE_PRICE <> PSALE_PRICE"), 0);
  EXPECT_GT(count(*c, "SELECT COUNT(*) FROM MEMBER WHERE MEMBER_CLASSID NOT IN (SELECT CLASS_ID FROM MEMBER_CLASS)"),
            0);
  const std::string today = "'2024/05/31'";
  EXPECT_GT(count(*c, "SELECT COUNT(*) FROM PSALE_MASTER WHERE END_DATE < " + today), 0);
  EXPECT_GT(count(*c, "SELECT COUNT(*) FROM PSALE_MASTER WHERE INI_DATE > " + today), 0);
  EXPECT_GT(count(*c, "SELECT COUNT(*) FROM PSALE_MASTER WHERE INI_DATE = " + today), 0);
  EXPECT_GT(count(*c, "SELECT COUNT(*) FROM PSALE_MASTER WHERE END_DATE = " + today), 0);
  EXPECT_GT(count(*c, "SELECT COUNT(*) FROM PSALE_MASTER WHERE BILL_TYPE = '2'"), 0);
  EXPECT_GT(count(*c, "SELECT COUNT(*) FROM PSALE_SUB WHERE STOP_SALE = 'Y'"), 0);
  EXPECT_GT(count(*c, "SELECT COUNT(*) FROM SMARTCARD_DATA WHERE STOP_YN = 'N'"), 0);
  // Each terminal has its machine row and its own e-invoice ranges.
  for (const char* mch : {"001", "002"}) {
    EXPECT_EQ(count(*c, std::string("SELECT COUNT(*) FROM MCH_ITEM WHERE MCH_NO = '") + mch + "'"), 1);
    EXPECT_GT(count(*c, std::string("SELECT COUNT(*) FROM EINVOICE_WORD WHERE MCH_NO = '") + mch + "'"), 0);
  }
  // Every product's category is in the hierarchy.
  EXPECT_EQ(count(*c, "SELECT COUNT(*) FROM PRODUCT WHERE PD_ITEMID NOT IN (SELECT PD_ITEMID FROM PROD_ITEM)"), 0);
}

TEST(ChangeTest, ChangesAreWrittenAndLoggedForEveryTerminal) {
  auto c = open_database(fresh_database_url("change"))->connect();
  seed_database(*c, fixture_seed_options());
  const auto before = rows_of(*c, "SELECT PROD_ID, SALE_PRICE FROM PRODUCT ORDER BY PROD_ID");

  ChangeOptions o;
  o.what = ChangeWhat::Products;
  o.count = 5;
  o.inserts = 3;
  o.deletes = 2;
  o.seed = 7;
  o.today = "2024/06/01";
  const ChangeSummary s = apply_changes(*c, o);
  ASSERT_EQ(s.updated.size(), 5u);
  ASSERT_EQ(s.inserted.size(), 3u);
  ASSERT_EQ(s.deleted.size(), 2u);
  EXPECT_EQ(s.log_entries, 20);
  for (const char* mch : {"001", "002"}) {
    const std::string where =
        std::string("SELECT COUNT(*) FROM PRODUCT_TEMP WHERE MCH_NO = '") + mch + "' AND STATE = ";
    EXPECT_EQ(count(*c, where + "'UPDATE'"), 5);
    EXPECT_EQ(count(*c, where + "'INSERT'"), 3);
    EXPECT_EQ(count(*c, where + "'DELETE'"), 2);
  }
  for (const auto& id : s.deleted) {
    EXPECT_EQ(count(*c, "SELECT COUNT(*) FROM PRODUCT WHERE PROD_ID = '" + id + "'"), 0);
  }
  for (const auto& id : s.inserted) {
    EXPECT_EQ(count(*c, "SELECT COUNT(*) FROM PRODUCT WHERE PROD_ID = '" + id + "' AND CHG_DATE IS NOT NULL"), 1);
  }
  for (const auto& id : s.updated) {
    EXPECT_EQ(count(*c, "SELECT COUNT(*) FROM PRODUCT WHERE PROD_ID = '" + id + "' AND CHG_DATE = '2024/06/01'"), 1);
  }
  EXPECT_EQ(count(*c, "SELECT COUNT(*) FROM PRODUCT"), static_cast<std::int64_t>(before.size()) + 1);

  // Promotions: the log entries of the three promotion kinds start untaken; a deleted bill
  // leaves no lines behind.
  for (ChangeWhat what : {ChangeWhat::SalesPromotions, ChangeWhat::AnyChoice, ChangeWhat::Gifts}) {
    ChangeOptions p;
    p.what = what;
    p.count = 2;
    p.inserts = 1;
    p.deletes = 1;
    p.terminals = {"001"};
    p.seed = 3;
    p.today = "2024/06/01";
    const ChangeSummary ps = apply_changes(*c, p);
    const std::string log = what == ChangeWhat::SalesPromotions ? "PSALE"
                            : what == ChangeWhat::AnyChoice     ? "PTSALE"
                                                                : "GSALE";
    EXPECT_EQ(count(*c, "SELECT COUNT(*) FROM " + log + "_TEMP WHERE MCH_NO = '001' AND TRAN_CODE = ''"), 4) << log;
    EXPECT_EQ(count(*c, "SELECT COUNT(*) FROM " + log + "_TEMP WHERE MCH_NO = '002'"), 0) << log;
    EXPECT_EQ(count(*c, "SELECT COUNT(*) FROM " + log + "_SUB WHERE MASTERBILLID = '" + ps.deleted.at(0) + "'"), 0);
    EXPECT_GT(count(*c, "SELECT COUNT(*) FROM " + log + "_SUB WHERE MASTERBILLID = '" + ps.inserted.at(0) + "'"), 0);
  }

  ChangeOptions m;
  m.what = ChangeWhat::Members;
  m.count = 1;
  m.deletes = 300;  // more than there are
  m.today = "2024/06/01";
  EXPECT_THROW(apply_changes(*c, m), std::runtime_error);
  EXPECT_EQ(count(*c, "SELECT COUNT(*) FROM MEMBER_TEMP"), 0);
}

TEST(SchemaTest, InitIsRepeatableAndResetEmpties) {
  auto c = open_database(fresh_database_url("schema"))->connect();
  EXPECT_FALSE(schema_present(*c));
  create_schema(*c, false);
  c->execute("INSERT INTO MCH_ITEM (MCH_NO) VALUES ('009')");
  create_schema(*c, false);
  EXPECT_TRUE(schema_present(*c));
  EXPECT_EQ(count(*c, "SELECT COUNT(*) FROM MCH_ITEM"), 1);
  create_schema(*c, true);
  EXPECT_EQ(count(*c, "SELECT COUNT(*) FROM MCH_ITEM"), 0);
}

#ifndef HEADOFFICE_TEST_POSTGRES
TEST(SeedTest, StoreScaleSeedsWellUnderAMinute) {
  auto c = open_database(fresh_database_url("store"))->connect();
  SeedOptions o = scale_options("store");
  o.today = "2024/05/31";
  const auto start = std::chrono::steady_clock::now();
  seed_database(*c, o);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(seconds, 30.0);
  EXPECT_EQ(count(*c, "SELECT COUNT(*) FROM PRODUCT"), 50000);
  EXPECT_EQ(count(*c, "SELECT COUNT(*) FROM MEMBER"), 20000);
}
#endif

}  // namespace
}  // namespace pos::test

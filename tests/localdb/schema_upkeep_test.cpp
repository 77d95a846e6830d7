#include "localdb/schema_upkeep.h"

#include <gtest/gtest.h>

#include "localdb/catalogue.h"
#include "localdb/errors.h"
#include "localdb/terminal_schema.h"
#include "tests/support/temp_database.h"

namespace pos {
namespace {

using testing::TempDatabase;

class Upkeep : public ::testing::Test {
 protected:
  std::string column_type(const std::string& table, const std::string& column) {
    auto rows = db.con().query(
        "SELECT f.RDB$FIELD_TYPE, f.RDB$FIELD_LENGTH FROM RDB$RELATION_FIELDS r JOIN RDB$FIELDS f ON "
        "f.RDB$FIELD_NAME = r.RDB$FIELD_SOURCE WHERE r.RDB$RELATION_NAME = '" +
        table + "' AND r.RDB$FIELD_NAME = '" + column + "'");
    if (rows.empty()) return "missing";
    int type = static_cast<int>(rows[0][0].integer());
    if (type == 37) return "VARCHAR(" + rows[0][1].as_text() + ")";
    if (type == 27) return "DOUBLE";
    return "type " + std::to_string(type);
  }
  TempDatabase db;
  LocalQuery q{db.con()};
};

TEST_F(Upkeep, AddsWhatIsMissingOnceAndLeavesWiderColumns) {
  db.run({"CREATE TABLE LOC_PDC (PDC_NO VARCHAR(20), POINT_YN VARCHAR(3))"});
  upgrade_local_schema(q);
  EXPECT_EQ(column_type("LOC_PDC", "POINT_YN"), "VARCHAR(3)");
  EXPECT_EQ(column_type("LOC_PDC", "PROD_SCALE"), "VARCHAR(30)");
  EXPECT_EQ(column_type("LOC_PDC", "STOCK_QTY"), "VARCHAR(5)");
  EXPECT_EQ(column_type("LOC_PDC", "DEF_PROFIT"), "DOUBLE");
  EXPECT_EQ(column_type("LOC_PDC", "MS"), "VARCHAR(1)");
  EXPECT_EQ(column_type("LOC_PDC", "PUT_ID"), "VARCHAR(10)");
  EXPECT_EQ(column_type("EINVOICE_WORD", "MCH_NO"), "VARCHAR(5)");
  EXPECT_FALSE(IndexMissing(q, "IDX_EINVOICE_WORD_0"));

  // A second start finds everything and changes nothing.
  db.run({"INSERT INTO EINVOICE_WORD (MCH_NO) VALUES ('001')"});
  db.reopen();
  upgrade_local_schema(q);
  EXPECT_EQ(db.con().query("SELECT * FROM EINVOICE_WORD").size(), 1u);
  EXPECT_EQ(db.con().query("SELECT * FROM RDB$INDICES WHERE RDB$RELATION_NAME = 'EINVOICE_WORD'").size(), 1u);
}

TEST_F(Upkeep, WithoutTheProductTableColumnStepsFailQuietly) {
  EXPECT_NO_THROW(upgrade_local_schema(q));
  EXPECT_FALSE(TableMissing(q, "EINVOICE_WORD"));
  EXPECT_TRUE(TableMissing(q, "LOC_PDC"));
  EXPECT_FALSE(EnsureVarcharColumn(q, "LOC_PDC", "MS", "1"));
  EXPECT_FALSE(EnsureDoubleColumn(q, "LOC_PDC", "DEF_PROFIT"));
}

TEST_F(Upkeep, AFailureAroundTheInvoiceTableStopsTheUpkeep) {
  // The index name is taken by another table: the invoice table is made, its index is not.
  db.run({"CREATE TABLE LOC_PDC (PDC_NO VARCHAR(20))", "CREATE TABLE OTHER (A INTEGER)",
          "CREATE INDEX IDX_EINVOICE_WORD_0 ON OTHER (A)"});
  EXPECT_THROW(upgrade_local_schema(q), DbError);
  EXPECT_EQ(column_type("LOC_PDC", "POINT_YN"), "VARCHAR(1)");  // the step before ran
  EXPECT_FALSE(TableMissing(q, "EINVOICE_WORD"));
  EXPECT_EQ(column_type("LOC_PDC", "PROD_SCALE"), "missing");  // the steps after did not
  EXPECT_EQ(column_type("LOC_PDC", "PUT_ID"), "missing");
}

// A terminal at the oldest level this program knows, upgraded once, holds every table, column and
// index of the schema: a table or column a new job needs reaches the terminals already in stores.
TEST_F(Upkeep, AnOlderTerminalGetsEveryTableAndColumnItLacks) {
  for (const auto& statement : older_level_statements()) db.con().execute(statement);
  EXPECT_TRUE(TableMissing(q, "POS_TAKEN_KEYS"));
  upgrade_local_schema(q);
  for (const SchemaTable& table : terminal_schema()) {
    for (const SchemaColumn& column : table.columns) {
      std::string name = column.name;
      if (name.front() == '"') name = name.substr(1, name.size() - 2);
      EXPECT_NE(column_type(table.name, name), "missing") << table.name << "." << name;
    }
    for (const auto& index : table.indexes) {
      const auto name = index.substr(13, index.find(' ', 13) - 13);  // after "CREATE INDEX "
      EXPECT_FALSE(IndexMissing(q, name)) << name;
    }
  }
}

TEST_F(Upkeep, LetterCaseOfNames) {
  db.run({"CREATE TABLE LOC_PDC (PDC_NO VARCHAR(20), MS VARCHAR(1))", "CREATE INDEX LOC_PDC1 ON LOC_PDC (PDC_NO)"});
  EXPECT_FALSE(IndexMissing(q, "loc_pdc1"));
  EXPECT_TRUE(IndexMissing(q, "loc_pdc2"));
  EXPECT_FALSE(TableMissing(q, "loc_pdc"));
  // Lower-case table name: the catalogue check misses, the alteration adds to LOC_PDC anyway...
  EXPECT_TRUE(EnsureVarcharColumn(q, "loc_pdc", "PUT_ID", "10"));
  EXPECT_EQ(column_type("LOC_PDC", "PUT_ID"), "VARCHAR(10)");
  // ...and when the column is there already the alteration fails and the result is false.
  EXPECT_FALSE(EnsureVarcharColumn(q, "loc_pdc", "MS", "1"));
  EXPECT_TRUE(EnsureVarcharColumn(q, "LOC_PDC", "MS", "1"));
}

}  // namespace
}  // namespace pos

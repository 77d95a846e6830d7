// The jobs that empty and refill a local table, against the reference service: a row the local
// database refuses is left out and the others replace the table (where the table's job goes on
// after a refused row), while a failed fetch or a connection lost on the fetch keeps the old rows.

#include <gtest/gtest.h>

#include "tests/support/terminal.h"

namespace pos::testing {
namespace {

using Rows = std::vector<std::vector<std::string>>;

struct RefillCase {
  const char* name;
  int mode;
  std::vector<int> jobs;
  std::size_t job;                // whose counters count the refused row
  std::string head_office;        // rows keyed K1, K2 and BAD
  const char* head_office_table;  // renamed to fail the fetch
  const char* fetch;              // a pattern of the fetch's text, to lose its answer
  const char* table;              // the local table, keyed by `key`: BAD is refused there
  const char* key;
  std::string old_row;                // keyed OLD
  bool refused_row_ends_run = false;  // categories and class discounts
};

void PrintTo(const RefillCase& c, std::ostream* os) { *os << c.name; }

// clang-format off
const RefillCase kCases[] = {
    {.name = "bundles", .mode = 0, .jobs = {}, .job = 5,
     .head_office = "INSERT INTO PROD_SALE (PROD_ID, SAL_BARCODE) VALUES ('P1', 'K1'), ('P2', 'K2'), ('P3', 'BAD');",
     .head_office_table = "PROD_SALE", .fetch = "FROM PROD_SALE", .table = "PROD_SALE", .key = "SAL_BARCODE",
     .old_row = "INSERT INTO PROD_SALE (SAL_BARCODE) VALUES ('OLD')"},
    {.name = "card_stops", .mode = 1, .jobs = {14}, .job = 14,
     .head_office = "INSERT INTO SMARTCARD_DATA (CARD_ID, MEMBER_ID, STOP_YN) VALUES ('C1', 'K1', 'Y'), "
                    "('C2', 'K2', 'Y'), ('C3', 'BAD', 'Y');",
     .head_office_table = "SMARTCARD_DATA", .fetch = "FROM SMARTCARD_DATA", .table = "SMARTCARD_DATA",
     .key = "MEMBER_ID", .old_row = "INSERT INTO SMARTCARD_DATA (MEMBER_ID) VALUES ('OLD')"},
    {.name = "keyboard", .mode = 1, .jobs = {10}, .job = 10,
     .head_office = "INSERT INTO LOC_KEY_MAP (ID_NO) VALUES ('K1'), ('K2'), ('BAD');",
     .head_office_table = "LOC_KEY_MAP", .fetch = "FROM LOC_KEY_MAP  ", .table = "LOC_KEY_MAP", .key = "ID_NO",
     .old_row = "INSERT INTO LOC_KEY_MAP (ID_NO) VALUES ('OLD')"},
    {.name = "staff", .mode = 1, .jobs = {1}, .job = 1,
     .head_office = "INSERT INTO EMPLOYEE (EMPLOYEE_ID) VALUES ('K1'), ('K2'), ('BAD');",
     .head_office_table = "EMPLOYEE", .fetch = "FROM EMPLOYEE", .table = "LOC_PERS", .key = "LAB_NO",
     .old_row = "INSERT INTO LOC_PERS (LAB_NO) VALUES ('OLD')"},
    {.name = "any_choice", .mode = 1, .jobs = {8}, .job = 8,
     .head_office = "INSERT INTO PTSALE_MASTER (MASTERBILLID, INI_DATE, END_DATE) VALUES ('A1', '2024/05/01', "
                    "'2024/06/30'); INSERT INTO PTSALE_SUB (MASTERBILLID, TEMPPRODID) VALUES ('A1', 'K1'), "
                    "('A1', 'K2'), ('A1', 'BAD');",
     .head_office_table = "PTSALE_SUB", .fetch = "FROM PTSALE_MASTER", .table = "PTSALE", .key = "TEMPPRODID",
     .old_row = "INSERT INTO PTSALE (MASTERBILLID, TEMPPRODID) VALUES ('A0', 'OLD')"},
    {.name = "class_discounts", .mode = 1, .jobs = {7}, .job = 7,
     .head_office = "INSERT INTO MEMLEVEL_PDCLASS_DIS (MEM_CLASSID, PD_CLASSID) VALUES ('K1', 'D'), ('K2', 'D'), "
                    "('BAD', 'D');",
     .head_office_table = "MEMLEVEL_PDCLASS_DIS", .fetch = "FROM MEMLEVEL_PDCLASS_DIS",
     .table = "MEMLEVEL_PDCLASS_DIS", .key = "MEM_CLASSID",
     .old_row = "INSERT INTO MEMLEVEL_PDCLASS_DIS (MEM_CLASSID, PD_CLASSID) VALUES ('OLD', 'D')",
     .refused_row_ends_run = true},
    {.name = "categories", .mode = 1, .jobs = {0}, .job = 0,
     .head_office = "INSERT INTO PROD_ITEM (PD_ITEMID) VALUES ('K1'), ('K2'), ('BAD');",
     .head_office_table = "PROD_ITEM", .fetch = "FROM PROD_ITEM A ", .table = "LOC_TYPE", .key = "TYPE_NO",
     .old_row = "INSERT INTO LOC_TYPE (TYPE_NO) VALUES ('OLD')", .refused_row_ends_run = true},
};
// clang-format on

class Refills : public ::testing::TestWithParam<RefillCase> {
 protected:
  void SetUp() override { service.sql("INSERT INTO MCH_ITEM (MCH_NO, STOCK_ID) VALUES ('001', 'ST01');"); }
  // A terminal holding the case's old rows and refusing its BAD row.
  void prepare(Terminal& t) {
    t.fix_date("2024/05/31");
    t.start({std::to_string(GetParam().mode)});
    const RefillCase& c = GetParam();
    t.form().SQLCon_Loc.execute(std::string("ALTER TABLE ") + c.table + " ADD CONSTRAINT NO_BAD CHECK (" + c.key +
                                " IS DISTINCT FROM 'BAD')");
    t.form().SQLCon_Loc.execute(c.old_row);
  }
  Rows table(Terminal& t) {
    return t.local_rows(std::string("SELECT ") + GetParam().key + " FROM " + GetParam().table + " ORDER BY 1");
  }
  const Rows old_rows{{"OLD"}}, good_rows{{"K1"}, {"K2"}};

  ReferenceService service;
};

TEST_P(Refills, ARefusedRowIsLeftOutWhileAFailedOrLostFetchKeepsTheOldRows) {
  const RefillCase& c = GetParam();
  service.sql(c.head_office);
  Terminal terminal(service);
  prepare(terminal);

  const std::string refused = terminal.run(c.mode, c.jobs);
  if (c.refused_row_ends_run) {
    EXPECT_NE(refused, "");
    EXPECT_EQ(table(terminal), old_rows);
  } else {
    EXPECT_EQ(refused, "");
    EXPECT_EQ(table(terminal), good_rows);
    EXPECT_EQ(terminal.counters(c.job).refused, 1u);
    EXPECT_TRUE(terminal.form().last_run_had_row_errors());  // exit status 3 headless
  }

  const Rows before = table(terminal);
  service.sql(std::string("ALTER TABLE ") + c.head_office_table + " RENAME TO AWAY;");
  EXPECT_NE(terminal.run(c.mode, c.jobs), "");
  EXPECT_EQ(table(terminal), before);
  service.sql(std::string("ALTER TABLE AWAY RENAME TO ") + c.head_office_table + ";");

  ReferenceService losing({}, "", std::nullopt, service.db_url(), {"--fault", std::string("drop@/") + c.fetch + "/"});
  Terminal cut_off(losing);
  prepare(cut_off);
  EXPECT_EQ(cut_off.run(c.mode, c.jobs), "silent abort");
  EXPECT_EQ(table(cut_off), old_rows);
}

INSTANTIATE_TEST_SUITE_P(Jobs, Refills, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<RefillCase>& i) { return std::string(i.param.name); });

}  // namespace
}  // namespace pos::testing

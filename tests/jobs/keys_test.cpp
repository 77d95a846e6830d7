// Every logged key arrives or is reported, with the default requests and with batch=1: a key in
// small letters is fetched as head office keeps it, and a key whose fetch head office answers with
// an error fails alone, run after run, its entry kept, while the other keys and the later jobs go on.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "tests/headoffice/scratch_postgres.h"
#include "tests/support/service_setting.h"
#include "tests/support/terminal.h"

namespace pos::testing {
namespace {

using Rows = std::vector<std::vector<std::string>>;

std::unique_ptr<Terminal> started(const ReferenceService& service, bool batched) {
  auto terminal = std::make_unique<Terminal>(service);
  if (batched) e2e::set_service_setting(terminal->home(), "batch", "1");
  terminal->start({"0"});
  return terminal;
}

bool any_line_holds(const std::vector<std::string>& log, const std::string& text) {
  return std::any_of(log.begin(), log.end(), [&](const std::string& l) { return l.find(text) != std::string::npos; });
}

const char* const kMachine = "INSERT INTO MCH_ITEM (MCH_NO, STOCK_ID) VALUES ('001', 'ST01');";

struct KeyedJob {
  const char* what;
  int job;
  std::string head_office;  // three keys of which the second one's fetch fails, and their entries
  std::string fault;        // the fetch of the second key, alone or in a list
  std::string log;          // the job's change log
  std::string key;          // its key column
  std::string written;      // the local query of the keys written
};

TEST(FailingKey, FailsAloneRunAfterRunAndKeepsItsEntry) {
  const KeyedJob jobs[] = {
      {"products", 0,
       "INSERT INTO PRODUCT (PROD_ID, PROD_NAME) VALUES ('P1', 'a'), ('P2', 'b'), ('P3', 'c');"
       "INSERT INTO PRODUCT_TEMP (MCH_NO, PROD_ID, STATE) VALUES ('001', 'P1', 'UPDATE'), ('001', 'P2', 'UPDATE'), "
       "('001', 'P3', 'INSERT');",
       "error@/FROM PRODUCT WHERE .*'P2'/", "PRODUCT_TEMP", "PROD_ID", "SELECT PROD_ID FROM LOC_PDC ORDER BY 1"},
      {"members", 7,
       "INSERT INTO MEMBER (MEMBER_ID, MEMBER_NAME) VALUES ('P1', 'a'), ('P2', 'b'), ('P3', 'c');"
       "INSERT INTO MEMBER_TEMP (MCH_NO, MEMBER_ID, STATE) VALUES ('001', 'P1', 'UPDATE'), ('001', 'P2', 'UPDATE'), "
       "('001', 'P3', 'INSERT');",
       "error@/A\\.MEMBER_ID .*'P2'/", "MEMBER_TEMP", "MEMBER_ID", "SELECT MEMBER_ID FROM MEMBER ORDER BY 1"},
      {"promotion lines", 6,
       "INSERT INTO PSALE_MASTER (MASTERBILLID, INI_DATE, END_DATE, BILL_TYPE) VALUES ('P1', '2024/01/01', "
       "'2099/12/31', '1'), ('P2', '2024/01/01', '2099/12/31', '1'), ('P3', '2024/01/01', '2099/12/31', '1');"
       "INSERT INTO PSALE_SUB (MASTERBILLID, TEMPPRODID, STOP_SALE) VALUES ('P1', 'L1', 'N'), ('P2', 'L1', 'N'), "
       "('P3', 'L1', 'N');"
       "INSERT INTO PSALE_TEMP (MCH_NO, MASTERBILLID, STATE) VALUES ('001', 'P1', 'UPDATE'), ('001', 'P2', "
       "'UPDATE'), ('001', 'P3', 'INSERT');",
       "error@/A\\.MASTERBILLID .*'P2'/", "PSALE_TEMP", "MASTERBILLID",
       "SELECT DISTINCT MASTERBILLID FROM PROMOTION ORDER BY 1"},
  };
  for (const KeyedJob& j : jobs) {
    for (const bool batched : {false, true}) {
      SCOPED_TRACE(std::string(j.what) + (batched ? ", batch=1" : ""));
      ReferenceService service({}, "001", std::nullopt, "", {"--fault", j.fault});
      service.sql(kMachine + j.head_office);
      auto terminal = started(service, batched);
      for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run);
        ASSERT_EQ(terminal->run(0), "");
        EXPECT_EQ(terminal->counters(static_cast<std::size_t>(j.job)).failed, 1u);
        EXPECT_TRUE(terminal->counters(14).ran);  // the jobs after it ran
        const auto log = terminal->log_lines();
        EXPECT_TRUE(any_line_holds(log, "P2") && any_line_holds(log, "injected fault"));
        EXPECT_EQ(terminal->local_rows(j.written), (Rows{{"P1"}, {"P3"}}));
        // Its entry waits at head office, or its key at the terminal, once.
        Rows kept = service.rows("SELECT " + j.key + " FROM " + j.log + " WHERE MCH_NO = '001'");
        for (auto& r : terminal->local_rows("SELECT KEY_VALUE FROM POS_TAKEN_KEYS")) kept.push_back(r);
        EXPECT_EQ(kept, (Rows{{"P2"}}));
      }
    }
  }
}

// A product and a member whose keys have small letters, beside a product whose key is the same in
// capitals: each is written as head office keeps it, and its entry goes.
TEST(SmallLetters, AKeyIsFetchedAsHeadOfficeKeepsIt) {
  test::ScratchPostgres postgres;
  for (const bool on_postgres : {false, true}) {
    for (const bool batched : {false, true}) {
      SCOPED_TRACE(std::string(on_postgres ? "postgresql" : "sqlite") + (batched ? ", batch=1" : ""));
      static int n = 0;
      ReferenceService service({}, "001", std::nullopt,
                               on_postgres ? postgres.create_database("keys" + std::to_string(++n)) : "");
      service.sql(std::string(kMachine) +
                  "INSERT INTO PRODUCT (PROD_ID, PROD_NAME) VALUES ('ab0001', 'small'), ('AB0001', 'capital');"
                  "INSERT INTO MEMBER (MEMBER_ID, MEMBER_NAME) VALUES ('mx1', 'small');"
                  "INSERT INTO PRODUCT_TEMP (MCH_NO, PROD_ID, STATE) VALUES ('001', 'ab0001', 'UPDATE');"
                  "INSERT INTO MEMBER_TEMP (MCH_NO, MEMBER_ID, STATE) VALUES ('001', 'mx1', 'UPDATE');");
      auto terminal = started(service, batched);
      ASSERT_EQ(terminal->run(0), "");
      EXPECT_EQ(terminal->local_rows("SELECT PROD_ID, PDC_NAME FROM LOC_PDC"), (Rows{{"ab0001", "small"}}));
      EXPECT_EQ(terminal->local_rows("SELECT MEMBER_ID, MEMBER_NAME FROM MEMBER"), (Rows{{"mx1", "small"}}));
      EXPECT_TRUE(service.rows("SELECT * FROM PRODUCT_TEMP").empty());
      EXPECT_TRUE(service.rows("SELECT * FROM MEMBER_TEMP").empty());
      EXPECT_TRUE(terminal->local_rows("SELECT * FROM POS_TAKEN_KEYS").empty());
    }
  }
}

}  // namespace
}  // namespace pos::testing

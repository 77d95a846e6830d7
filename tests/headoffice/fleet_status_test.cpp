// The fleet's status read a page at a time: the whole fleet judged and summed up by state, the
// page's terminals worst first with their waiting entries counted, and a machine that only a change
// log names known once its entry has waited too long.

#include "headoffice/status/fleet_status.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "headoffice/status/status_page.h"
#include "headoffice/status/utc_time.h"
#include "headoffice/storage/database_url.h"
#include "tests/headoffice/test_databases.h"

namespace pos::test {
namespace {

using headoffice::TerminalState;

TEST(FleetStatus, APageHoldsItsTerminalsWorstFirstAndTheSummaryTheWholeFleet) {
  auto c = headoffice::open_database(fixture_database_url("fleet"))->connect();
  const std::time_t now = std::time(nullptr);
  const std::string recent = headoffice::utc_text(now - 60), long_ago = headoffice::utc_text(now - 7200);
  // 001 and 002 are the fixture's (entries waiting, recent); 003 asked recently and is clean, 004
  // failed its last run, 005 has an entry waiting for two hours, 009 is named only by a change log
  // (an entry as old, and a recent one), 010 only by a recent entry.
  c->execute("DELETE FROM TERMINAL_STATUS");
  for (const char* m : {"003", "004", "005"})
    c->execute(std::string("INSERT INTO MCH_ITEM (MCH_NO) VALUES ('") + m + "')");
  for (const char* m : {"001", "002", "003", "004", "005"})
    c->execute(std::string("INSERT INTO TERMINAL_STATUS (MCH_NO, LAST_SEEN, RUN_STARTED, RUN_ENDED) VALUES ('") + m +
               "', '" + recent + "', '" + recent + "', '" + recent + "')");
  c->execute("UPDATE TERMINAL_STATUS SET RUN_ERROR = 'no such table' WHERE MCH_NO = '004'");
  c->execute("INSERT INTO PRODUCT_TEMP (MCH_NO, PROD_ID, STATE, LOGGED_AT) VALUES ('005', 'P1', 'UPDATE', '" +
             long_ago + "'), ('005', 'P2', 'UPDATE', '" + recent + "'), ('009', 'P1', 'UPDATE', '" + long_ago +
             "'), ('009', 'P2', 'UPDATE', '" + recent + "'), ('010', 'P1', 'UPDATE', '" + recent + "')");

  const auto first = headoffice::read_fleet_status(*c, std::chrono::minutes(30), now, 1, 2);
  EXPECT_EQ(first.fleet_size, 6);
  const auto in = [&](TerminalState s) { return first.count_of[static_cast<std::size_t>(s)]; };
  EXPECT_EQ(in(TerminalState::Silent), 1);  // 009 never asked
  EXPECT_EQ(in(TerminalState::Behind), 1);
  EXPECT_EQ(in(TerminalState::Failing), 1);
  EXPECT_EQ(in(TerminalState::Current), 3);
  EXPECT_EQ(first.pages, 3);
  ASSERT_EQ(first.terminals.size(), 2u);
  EXPECT_EQ(first.terminals[0].machine, "009");
  EXPECT_EQ(first.terminals[1].machine, "005");
  EXPECT_EQ(first.terminals[1].backlog[0].entries, 2);
  EXPECT_EQ(first.terminals[1].backlog[0].oldest, long_ago);
  const std::string json = headoffice::status_json(first);
  EXPECT_NE(json.find("\"summary\":{\"terminals\":6,\"silent\":1,\"behind\":1,\"failing\":1,\"stopped\":0,\"running\":"
                      "0,\"current\":3}"),
            std::string::npos)
      << json;
  EXPECT_NE(json.find("\"page\":1,\"pages\":3"), std::string::npos);

  // The last page, and a page beyond it, which is the last; every terminal on one page otherwise.
  for (const int page : {3, 7}) {
    const auto last = headoffice::read_fleet_status(*c, std::chrono::minutes(30), now, page, 2);
    EXPECT_EQ(last.page, 3);
    ASSERT_EQ(last.terminals.size(), 2u);
    EXPECT_EQ(last.terminals[1].machine, "003");
    EXPECT_EQ(last.terminals[1].backlog[0].entries, 0);
  }
  const auto all = headoffice::read_fleet_status(*c, std::chrono::minutes(30), now, 1, 0);
  ASSERT_EQ(all.terminals.size(), 6u);
  for (const auto& t : all.terminals) {
    SCOPED_TRACE(t.machine);
    const std::string where = " WHERE MCH_NO = '" + t.machine + "'";
    EXPECT_EQ(t.backlog[0].entries, headoffice::query_value(*c, "SELECT COUNT(*) FROM PRODUCT_TEMP" + where).integer());
    EXPECT_EQ(t.backlog[1].entries, headoffice::query_value(*c, "SELECT COUNT(*) FROM MEMBER_TEMP" + where).integer());
  }
}

}  // namespace
}  // namespace pos::test

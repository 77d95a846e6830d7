// What the service records of the terminals' runs and refused sign-ins, written as the service's
// own role on PostgreSQL, and what the status page reads from it.

#include <gtest/gtest.h>

#include <ctime>

#include "headoffice/status/fleet_status.h"
#include "headoffice/status/run_recorder.h"
#include "headoffice/storage/connection_pool.h"
#include "headoffice/storage/database_url.h"
#include "headoffice/storage/schema.h"
#include "tests/headoffice/test_databases.h"

namespace pos::test {
namespace {

using namespace pos::headoffice;

constexpr const char* kOpening = "SELECT * FROM MCH_ITEM WHERE MCH_NO = '001' ";
constexpr const char* kLoggedProducts = "SELECT PROD_ID FROM PRODUCT_TEMP WHERE MCH_NO = '001' AND STATE <> 'DELETE'";
constexpr const char* kLastJob = "SELECT * FROM SMARTCARD_DATA WHERE STOP_YN = 'Y'";

class StatusRecords : public ::testing::Test {
 protected:
  std::optional<TerminalStatus> status_of(const std::string& machine) {
    auto c = pool.borrow();
    for (auto& t : read_fleet_status(*c, std::chrono::minutes(30), std::time(nullptr)).terminals)
      if (t.machine == machine) return t;
    return std::nullopt;
  }

  const std::string owner_url = fixture_database_url("status_records");
  std::unique_ptr<Database> db = open_database(service_role_url(owner_url));
  ConnectionPool pool{*db, 2};
  RunRecorder recorder{pool};
};

TEST_F(StatusRecords, RefusedSignInsCountForMachinesHeadOfficeKnows) {
  recorder.sign_in_refused("10.0.0.5", "001");
  recorder.sign_in_refused("10.0.0.6", "001");
  recorder.sign_in_refused("10.0.0.7", "ZZ9");  // no such machine: nothing is written
  const auto t = status_of("001");
  ASSERT_TRUE(t);
  EXPECT_EQ(t->failed_sign_ins.count, 2);
  EXPECT_EQ(t->failed_sign_ins.from, "10.0.0.6");
  EXPECT_STREQ(state_name(t->state), "failing");
  EXPECT_NE(t->reason.find("user_name= and password="), std::string::npos) << t->reason;
  EXPECT_FALSE(status_of("ZZ9"));
  EXPECT_STREQ(state_name(status_of("002")->state), "silent");
}

// A run going, its error answer, its end; then a clean run clears the error.
TEST_F(StatusRecords, ARunsErrorStaysUntilACleanRunEnds) {
  recorder.answered("10.0.0.5", "001", kOpening, std::nullopt);
  auto t = status_of("001");
  EXPECT_STREQ(state_name(t->state), "running");
  EXPECT_FALSE(t->run_began.empty());

  recorder.answered("10.0.0.5", "001", kLoggedProducts, "<RESULT>canceling statement due to user request");
  recorder.answered("10.0.0.5", "001", kLastJob, std::nullopt);
  t = status_of("001");
  EXPECT_STREQ(state_name(t->state), "failing");
  EXPECT_EQ(t->last_error, "canceling statement due to user request");
  EXPECT_EQ(t->last_run_error, t->last_error);
  EXPECT_FALSE(t->last_error_at.empty());
  EXPECT_TRUE(t->changes.reached_last_job);
  ASSERT_TRUE(t->changes.seconds);
  EXPECT_LE(*t->changes.seconds, 5);
  EXPECT_EQ(t->last_run_requests, 3);

  for (const char* statement : {kOpening, kLoggedProducts, kLastJob})
    recorder.answered("10.0.0.5", "001", statement, std::nullopt);
  t = status_of("001");
  EXPECT_STREQ(state_name(t->state), "current");
  EXPECT_EQ(t->last_error, "");
  EXPECT_EQ(t->last_error_at, "");
  EXPECT_FALSE(t->run_ended.empty());
}

// init gives the status records of an older service the columns they lack, keeping their rows.
TEST_F(StatusRecords, InitAddsTheColumnsAnOlderTableLacks) {
  recorder.answered("10.0.0.5", "001", kOpening, std::nullopt);
  auto c = open_database(owner_url)->connect();
  c->execute("ALTER TABLE TERMINAL_STATUS DROP COLUMN FAILED_SIGN_INS");
  c->execute("ALTER TABLE TERMINAL_STATUS DROP COLUMN CHANGES_SECONDS");
  EXPECT_FALSE(schema_present(*c));
  EXPECT_EQ(missing_columns(*c, service_table("TERMINAL_STATUS")).size(), 2u);
  create_schema(*c, false);
  EXPECT_TRUE(schema_present(*c));
  recorder.sign_in_refused("10.0.0.5", "001");
  EXPECT_EQ(status_of("001")->failed_sign_ins.count, 1);
  EXPECT_FALSE(status_of("001")->run_began.empty());
}

}  // namespace
}  // namespace pos::test

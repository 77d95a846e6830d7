// The run's frame against the reference service: opening check, ticking, log lines.

#include <gtest/gtest.h>

#include "tests/support/terminal.h"
#include "text/big5.h"

namespace pos::testing {
namespace {

class RunDriver : public ::testing::Test {
 protected:
  void SetUp() override {
    service.sql("INSERT INTO MCH_ITEM (MCH_NO, STOCK_ID, TOP_ITEMID) VALUES ('001', 'ST01', '');");
  }
  static bool is_timestamp(const std::string& s) {
    return s.size() == 15 && s[8] == '-' && s.find_first_not_of("0123456789-") == std::string::npos;
  }
  ReferenceService service;
  Terminal terminal{service};
};

TEST_F(RunDriver, FullUpdateWithNothingTickedOnlyChecksAndCloses) {
  ASSERT_EQ(terminal.run(1, {}), "");
  auto log = terminal.log_lines();
  ASSERT_EQ(log.size(), 3u);
  EXPECT_TRUE(is_timestamp(log[0]));
  EXPECT_EQ(log[1], " 階段作業完成..!");
  EXPECT_TRUE(is_timestamp(log[2]));
}

TEST_F(RunDriver, ModeMinusOneRunsTickedJobsWithoutTheirModeSteps) {
  ASSERT_EQ(terminal.run(-1, {1, 3, 5, 13}), "");
  auto log = terminal.log_lines();
  ASSERT_EQ(log.size(), 5u);
  EXPECT_EQ(log[1], " 人員資料傳送中...!");
  EXPECT_EQ(log[2], " 組銷資料傳送中...!");  // entries 3 and 13 write nothing
  EXPECT_FALSE(terminal.form().CheckListBox1[0].checked);
}

TEST_F(RunDriver, AnErrorAnswerToTheOpeningCheckEndsTheRunBeforeAnyJob) {
  service.sql("DROP TABLE MCH_ITEM;");
  std::string error = terminal.run(1, {1});
  EXPECT_EQ(error.rfind("<RESULT>", 0), 0u) << error;
  auto log = terminal.log_lines();
  ASSERT_EQ(log.size(), 1u);  // only the opening timestamp
}

TEST_F(RunDriver, AnAnswerWithoutStockIdEndsTheRun) {
  service.sql("DROP TABLE MCH_ITEM; CREATE TABLE MCH_ITEM (MCH_NO TEXT);");
  EXPECT_NE(terminal.run(1, {}), "");
  EXPECT_EQ(terminal.log_lines().size(), 1u);
}

TEST_F(RunDriver, ChangesUpdateTicksEveryEntryAndTwoRunsKeepBothLogs) {
  ASSERT_EQ(terminal.run(0, {}), "");
  for (const auto& item : terminal.form().CheckListBox1) EXPECT_TRUE(item.checked);
  std::size_t first = terminal.form().Memo1.size();
  ASSERT_EQ(terminal.run(0, {}), "");
  EXPECT_EQ(terminal.form().Memo1.size(), 2 * first);
  EXPECT_EQ(terminal.log_lines().back().size(), 15u);
}

TEST(RunDriverCredentials, ValuesWithBlanksAndUrlSignsReachTheServiceIntact) {
  ReferenceService service({}, "001", Credential{"pos 1", "p#w&x+y?z%"});
  service.sql(
      "INSERT INTO MCH_ITEM (MCH_NO, STOCK_ID, TOP_ITEMID) VALUES ('001', 'ST01', '');"
      "INSERT INTO PRODUCT_TEMP (MCH_NO, PROD_ID, STATE) VALUES ('001', 'P9', 'DELETE');");
  Terminal terminal(service);
  ASSERT_EQ(terminal.run(1, {0}), "");                              // the query endpoint let every query in
  EXPECT_TRUE(service.rows("SELECT * FROM PRODUCT_TEMP").empty());  // and the script endpoint the acknowledgement
}

}  // namespace
}  // namespace pos::testing

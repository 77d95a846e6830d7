// The programs as a store and cron use them: a head office served by headoffice-service (SQLite,
// then PostgreSQL), a terminal made by terminal-init, pos-updater run headless. After a full update
// and after a changes update of bursts of every kind of change, every local table holds what the
// head-office data and the jobs' mappings say it must.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "tests/e2e/expected_state.h"
#include "tests/e2e/store_programs.h"
#include "tests/headoffice/scratch_postgres.h"
#include "tests/support/process.h"
#include "tests/support/reference_service.h"
#include "text/big5.h"
#include "text/date_format.h"

namespace pos::e2e {
namespace {

using testing::Outcome;
using testing::ReferenceService;

class EndToEnd : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    std::string url;
    if (param().starts_with("postgresql")) {
      postgres = std::make_unique<test::ScratchPostgres>();
      url = postgres->create_database("e2e");
    }
    service =
        std::make_unique<ReferenceService>(std::vector<std::string>{"--scale", "small"}, "001,002", std::nullopt, url);
    // A head office whose key columns are CHAR: it sends its keys padded with blanks and ignores
    // trailing blanks when it compares them.
    if (param().find("char") != std::string::npos)
      service->sql(
          "ALTER TABLE PRODUCT ALTER COLUMN PROD_ID TYPE CHAR(20); ALTER TABLE PRODUCT_TEMP ALTER COLUMN PROD_ID TYPE "
          "CHAR(20); ALTER TABLE MEMBER ALTER COLUMN MEMBER_ID TYPE CHAR(10); ALTER TABLE MEMBER_TEMP ALTER COLUMN "
          "MEMBER_ID TYPE CHAR(10); ALTER TABLE VIPCARD_SUB ALTER COLUMN MEMBER_ID TYPE CHAR(10);");
    Outcome made = init_terminal(*service, home.path());
    ASSERT_EQ(made.status, 0) << made.err;
    if (batched()) set_service_setting(home.path(), "batch", "1");
    ho = std::make_unique<HeadOffice>(service->db_url());
  }

  std::string param() const { return GetParam(); }
  // ...-batch: the terminal asks for a kept-alive connection and fetches a chunk of keys at once.
  bool batched() const { return param().ends_with("-batch"); }

  Outcome update(const std::string& args) { return testing::run_command(updater_command(home.path(), args)); }

  // Every expected table against the terminal's; a difference names the table and its first rows.
  void expect_tables(const State& expected) {
    LocalConnection con;
    con.open(ConnectionParams{(home / "Data" / "POS_LOC.GDB").string()});
    for (const auto& [name, table] : expected) {
      const auto want = table.sorted();
      const auto have = local_rows(con, name, table);
      if (want == have) continue;
      std::string report;
      for (std::size_t i = 0, shown = 0; i < std::max(want.size(), have.size()) && shown < 3; ++i) {
        auto line = [](const std::vector<Row>& rows, std::size_t at) {
          std::string s;
          if (at >= rows.size()) return std::string("(none)");
          for (const auto& v : rows[at]) s += big5_to_utf8_lossy(v) + " | ";
          return s;
        };
        if (i < want.size() && i < have.size() && want[i] == have[i]) continue;
        report += "\n  want: " + line(want, i) + "\n  have: " + line(have, i);
        ++shown;
      }
      ADD_FAILURE() << name << ": " << have.size() << " rows, " << want.size() << " expected" << report;
    }
  }

  std::unique_ptr<test::ScratchPostgres> postgres;
  std::unique_ptr<ReferenceService> service;
  testing::TempFolder home{"pose2e"};
  std::unique_ptr<HeadOffice> ho;
};

TEST_P(EndToEnd, AFullUpdateThenAChangesUpdateBringTheTerminalToHeadOfficesData) {
  const std::string today = today_slashed();

  const int before_full = service->requests();
  Outcome full = update(std::string("1 --jobs ") + kEveryJob);
  // A sub-card query per member, or one per chunk of members.
  const int full_requests = service->requests() - before_full;
  EXPECT_TRUE(batched() ? full_requests < 60 : full_requests > 200) << full_requests;
  ASSERT_EQ(full.status, 0) << full.out << full.err;
  // The log: the timestamps, every job's first line in dispatch order, the closing line.
  std::vector<std::string> lines;
  for (std::size_t at = 0, end; (end = full.out.find('\n', at)) != std::string::npos; at = end + 1)
    lines.push_back(full.out.substr(at, end - at));
  const std::vector<std::string> in_order = {
      " 商品分類傳送中...!",     " 商品資料傳送中...!",    " 人員資料傳送中...!",    " 班別資料傳送中...!",
      " 發票字軌傳送中...!",     " 組銷資料傳送中...!",    " 販促資料傳送中...!",    " 會員資料傳送中...!",
      " 會員類別折扣傳送中...!", " 任選促銷傳送中...!",    " 機台資料傳送中...!",    " 鍵盤資料傳送中...!",
      " 會員折扣資料傳送中...!", " 點數設定資料傳送中..!", " 贈品設定資料傳送中..!", " 儲值停卡資料傳送中...!",
      " 階段作業完成..!"};
  ASSERT_GE(lines.size(), in_order.size() + 2);
  EXPECT_EQ(lines.front().size(), 15u) << lines.front();  // YYYYMMDD-HHNNSS
  EXPECT_EQ(lines.back().size(), 15u) << lines.back();
  std::size_t next = 0;
  for (const auto& line : lines)
    if (next < in_order.size() && line == in_order[next]) ++next;
  EXPECT_EQ(next, in_order.size()) << full.out;
  EXPECT_EQ(full.out.find("Data Error"), std::string::npos) << full.out;

  State state = after_full_update(*ho, "001", today);
  expect_tables(state);

  // Head office changes some of everything, for both terminals.
  for (const char* what : {"products", "members", "promotions", "anychoice", "gifts"})
    service->run_tool(
        {"change", what, "--count", "6", "--insert", "2", "--delete", "2", "--terminals", "001,002", "--seed", "11"});
  const auto taken = entries_of(*ho, "001");
  const auto other = entries_of(*ho, "002");
  ASSERT_FALSE(taken.at("PRODUCT_TEMP").empty());

  Outcome changes = update("0");
  ASSERT_EQ(changes.status, 0) << changes.out << changes.err;
  expect_tables(after_changes_update(*ho, "001", today, std::move(state), taken));

  // This terminal's change logs are drained; the other terminal's entries are all still there.
  for (const auto& [log, entries] : entries_of(*ho, "001")) EXPECT_TRUE(entries.empty()) << log;
  const auto still = entries_of(*ho, "002");
  for (const auto& [log, entries] : other) EXPECT_EQ(still.at(log).size(), entries.size()) << log;
  for (const char* log : {"PSALE_TEMP", "PTSALE_TEMP", "GSALE_TEMP"})
    EXPECT_TRUE(ho->rows(std::string("SELECT * FROM ") + log + " WHERE MCH_NO = '002' AND TRAN_CODE = 'W'").empty());
}

INSTANTIATE_TEST_SUITE_P(HeadOffices, EndToEnd,
                         ::testing::Values("sqlite", "postgresql", "sqlite-batch", "postgresql-char",
                                           "postgresql-char-batch"),
                         [](const auto& info) {
                           std::string name = info.param;
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

}  // namespace
}  // namespace pos::e2e

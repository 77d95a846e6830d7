// runs.jsonl: one line per run, the last ones kept, shown as a table.

#include "app/run_history.h"

#include <gtest/gtest.h>

#include <fstream>

#include "tests/support/temp_folder.h"

namespace pos {
namespace {

std::vector<std::string> lines_of(const std::filesystem::path& file) {
  std::vector<std::string> out;
  std::ifstream in(file);
  for (std::string l; std::getline(in, l);) out.push_back(l);
  return out;
}

TEST(RunHistory, KeepsTheLastRunsAndShowsThemAsATable) {
  testing::TempFolder home("poshist");
  EXPECT_THROW(history_table(home.path()), std::runtime_error);  // neither MCH_NO.TXT nor runs.jsonl: no terminal
  std::ofstream(home / "MCH_NO.TXT") << "001\n";
  EXPECT_NE(history_table(home.path()).find("no runs recorded"), std::string::npos);
  for (int i = 0; i < 5; ++i) {
    RunRecord run;
    run.start = 1765000000 + i;
    run.end = run.start + 75 * i;
    run.mode = i % 2;
    run.jobs[0] = JobCounters{10u + static_cast<std::size_t>(i), 9, 1, 0, 0.5, true};
    run.jobs[7] = JobCounters{3, 3, 0, 2, 0.25, true};
    run.outcome = i == 4 ? "stopped" : "completed";
    run.exit_status = i == 4 ? 1 : 3;
    if (i == 3) {
      run.mode_given = "5";
      run.note = "a \"quoted\" reason\\\nand its second line";
    }
    append_run(home.path(), run, 3);
  }
  EXPECT_FALSE(std::filesystem::exists(home / "runs.jsonl.new"));
  EXPECT_EQ(std::filesystem::status(home / "runs.jsonl").permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  const auto lines = lines_of(home / "runs.jsonl");
  ASSERT_EQ(lines.size(), 3u);  // the oldest two went
  EXPECT_NE(lines[0].find("\"fetched\":12,"), std::string::npos) << lines[0];
  EXPECT_NE(lines[1].find("\"mode\":1,\"mode_given\":\"5\","), std::string::npos) << lines[1];
  EXPECT_NE(lines[1].find(",\"note\":\"a \\\"quoted\\\" reason\\\\\\u000aand its second line\"}"), std::string::npos)
      << lines[1];
  EXPECT_NE(lines[2].find("\"job\":7,\"fetched\":3,\"written\":3,\"refused\":0,\"failed\":2,\"unconfirmed\":0,"
                          "\"seconds\":0.250}"),
            std::string::npos)
      << lines[2];
  EXPECT_NE(lines[2].find("\"outcome\":\"stopped\",\"exit\":1,\"retries\":0}"), std::string::npos) << lines[2];

  const std::string table = history_table(home.path(), 2);
  std::vector<std::string> rows;
  for (std::size_t at = 0, end; (end = table.find('\n', at)) != std::string::npos; at = end + 1)
    rows.push_back(table.substr(at, end - at));
  ASSERT_EQ(rows.size(), 3u);  // heading and the last two runs
  EXPECT_NE(rows[1].find(" 3m45s  full     2        16        12        1       2     3  completed: mode '5' read "
                         "as 1; a \"quoted\" reason\\"),
            std::string::npos)
      << rows[1];
  EXPECT_EQ(rows[1].find("second line"), std::string::npos) << rows[1];  // a note's first line only
  EXPECT_NE(rows[2].find("  5m00s  chg      2        17        12        1       2     1  stopped"), std::string::npos)
      << rows[2];
}

}  // namespace
}  // namespace pos

#include "app/command_line.h"

#include <gtest/gtest.h>

#include "jobs/job_table.h"

namespace pos {
namespace {

TEST(CommandLine, TheFirstArgumentIsTheModeClampedToMinusOneToOne) {
  struct Case {
    std::vector<std::string> args;
    int mode;
  } cases[] = {{{}, 0},      {{"0"}, 0},   {{"abc"}, 0},        {{"1"}, 1},   {{"7"}, 1},
               {{"-5"}, -1}, {{"-1"}, -1}, {{"--headless"}, 0}, {{"1.5"}, 0}, {{"99999999999"}, 0}};
  for (const auto& c : cases)
    EXPECT_EQ(parse_command_line(c.args, "/exe").mode, c.mode) << (c.args.empty() ? "" : c.args[0]);
}

TEST(CommandLine, OptionsAfterTheMode) {
  auto cl = parse_command_line({"1", "--home", "/t", "--local-db", "/t/x.gdb", "--headless", "--jobs", "0,5"}, "/exe");
  EXPECT_EQ(cl.home, "/t");
  EXPECT_EQ(cl.local_db, "/t/x.gdb");
  EXPECT_TRUE(cl.headless);
  EXPECT_EQ(cl.jobs, (std::vector<int>{0, 5}));
  EXPECT_EQ(cl.mode, 1);
  EXPECT_EQ(parse_command_line({"1", "--jobs", "all"}, "/exe").jobs.size(), kJobCount);

  auto plain = parse_command_line({"--headless"}, "/exe");
  EXPECT_EQ(plain.home, "/exe");
  EXPECT_TRUE(plain.headless);

  EXPECT_THROW(parse_command_line({"1", "--jobs", "0," + std::to_string(kJobCount)}, "/exe"), UsageError);
  EXPECT_THROW(parse_command_line({"1", "--jobs", "0,,5"}, "/exe"), UsageError);
  EXPECT_THROW(parse_command_line({"1", "--home"}, "/exe"), UsageError);
  EXPECT_THROW(parse_command_line({"1", "--verbose"}, "/exe"), UsageError);
}

// Every bad command line either stops with a message naming the culprit, or runs in the mode the
// first argument gives (0 when it is not an integer) with the stray arguments named.
TEST(CommandLine, BadCommandLines) {
  using namespace std::string_literals;
  struct Case {
    std::vector<std::string> args;
    std::string error;  // UsageError text it must hold; empty: it parses
    int mode = 0;
    std::vector<std::string> ignored = {};
  } cases[] = {
      {{"1", "--verbose"}, "unknown option '--verbose'"},
      {{"1", "--jobs=1"}, "unknown option '--jobs=1'"},
      {{"--HEADLESS"}, "unknown option '--HEADLESS'"},
      {{"1", "--jobs"}, "--jobs needs a value"},
      {{"1", "--local-db"}, "--local-db needs a value"},
      {{"1", "--jobs", "--headless"}, "not '--headless'"},
      {{"1", "--jobs", ""}, "--jobs takes all, or job numbers 0 to " + std::to_string(kJobCount - 1)},
      {{"1", "--jobs", "1,"}, "not '1,'"},
      {{"1", "--jobs", "-1"}, "not '-1'"},
      {{"1", "--jobs", "1 2"}, "not '1 2'"},
      {{"1", "--jobs", "0x1"}, "not '0x1'"},
      {{"1", "--jobs", "99999999999999999999"}, "not '99999999999999999999'"},
      {{"1", "--jobs", "\xEF\xBC\x91"}, "not '\xEF\xBC\x91'"},  // a full-width digit
      {{"1", "--jobs",
        "1\0"
        "2"s},
       "--jobs takes all, or job numbers"},
      {{"x", "-v", "--headless"}, "", 0, {"-v"}},
      {{"1abc"}, "", 0},
      {{" 1"}, "", 1},
      {{"1e3"}, "", 0},
      {{"0x1"}, "", 0},
      {{""}, "", 0},
      {{"\xFF\xFE"}, "", 0},
      {{"-2147483648"}, "", -1},
      {{"2147483647"}, "", 1},
      {{"-1", "1", "2"}, "", -1, {"1", "2"}},
  };
  for (const auto& c : cases) {
    std::string shown;
    for (const auto& a : c.args) shown += "[" + a + "]";
    try {
      const CommandLine cl = parse_command_line(c.args, "/exe");
      EXPECT_EQ(c.error, "") << shown;
      EXPECT_EQ(cl.mode, c.mode) << shown;
      EXPECT_EQ(cl.ignored, c.ignored) << shown;
    } catch (const UsageError& e) {
      EXPECT_NE(c.error, "") << shown << ": " << e.what();
      if (!c.error.empty()) {
        EXPECT_NE(std::string(e.what()).find(c.error), std::string::npos) << shown << ": " << e.what();
      }
    }
  }
}

TEST(CommandLine, FurtherPlainArgumentsAreIgnoredAndTheHomeIsMadeAbsolute) {
  auto cl = parse_command_line({"1", "foo", "--home", "rel/term", "bar"}, "/exe");
  EXPECT_EQ(cl.ignored, (std::vector<std::string>{"foo", "bar"}));
  EXPECT_EQ(cl.home, std::filesystem::current_path() / "rel/term");
  EXPECT_EQ(cl.mode, 1);
}

}  // namespace
}  // namespace pos

#include "app/command_line.h"

#include <gtest/gtest.h>

#include "app/form_tollmere.h"

namespace pos {
namespace {

TEST(CommandLine, TheFirstArgumentIsTheModeClampedToMinusOneToOne) {
  struct Case {
    std::vector<std::string> args;
    int mode;
  } cases[] = {{{}, 0},      {{"0"}, 0},   {{"abc"}, 0},        {{"1"}, 1},   {{"7"}, 1},
               {{"-5"}, -1}, {{"-1"}, -1}, {{"--headless"}, 0}, {{"1.5"}, 0}, {{"99999999999"}, 0}};
  for (const auto& c : cases) EXPECT_EQ(mode_from_argument(c.args), c.mode) << (c.args.empty() ? "" : c.args[0]);
}

TEST(CommandLine, OptionsAfterTheMode) {
  auto cl = parse_command_line({"1", "--home", "/t", "--local-db", "/t/x.gdb", "--headless", "--jobs", "0,5"}, "/exe");
  EXPECT_EQ(cl.home, "/t");
  EXPECT_EQ(cl.local_db, "/t/x.gdb");
  EXPECT_TRUE(cl.headless);
  EXPECT_EQ(cl.jobs, (std::vector<int>{0, 5}));
  EXPECT_EQ(cl.args.front(), "1");

  auto plain = parse_command_line({"--headless"}, "/exe");
  EXPECT_EQ(plain.home, "/exe");
  EXPECT_TRUE(plain.headless);

  EXPECT_THROW(parse_command_line({"1", "--jobs", "0,15"}, "/exe"), UsageError);
  EXPECT_THROW(parse_command_line({"1", "--jobs", "0,,5"}, "/exe"), UsageError);
  EXPECT_THROW(parse_command_line({"1", "--home"}, "/exe"), UsageError);
  EXPECT_THROW(parse_command_line({"1", "--verbose"}, "/exe"), UsageError);
}

TEST(CommandLine, FurtherPlainArgumentsAreIgnoredAndTheHomeIsMadeAbsolute) {
  auto cl = parse_command_line({"1", "foo", "--home", "rel/term", "bar"}, "/exe");
  EXPECT_EQ(cl.ignored, (std::vector<std::string>{"foo", "bar"}));
  EXPECT_EQ(cl.home, std::filesystem::current_path() / "rel/term");
  EXPECT_EQ(mode_from_argument(cl.args), 1);
}

}  // namespace
}  // namespace pos

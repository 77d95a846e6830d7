#include "tools/sql_script.h"

#include <gtest/gtest.h>

namespace pos {
namespace {

TEST(SqlScript, SplitsAtSemicolonsEndingALineAndDropsComments) {
  auto parts = split_sql_script(
      "-- header; with a semicolon\n"
      "CREATE TABLE A (\n"
      "    X VARCHAR(3) DEFAULT ';'\n"
      ");\r\n"
      "\n"
      "  -- indented comment\n"
      "CREATE INDEX I ON A (X);   \n"
      "SELECT 1 FROM RDB$DATABASE");
  ASSERT_EQ(parts.size(), 3u);
  EXPECT_EQ(parts[0], "CREATE TABLE A (\n    X VARCHAR(3) DEFAULT ';'\n)");
  EXPECT_EQ(parts[1], "CREATE INDEX I ON A (X)");
  EXPECT_EQ(parts[2], "SELECT 1 FROM RDB$DATABASE");
}

}  // namespace
}  // namespace pos

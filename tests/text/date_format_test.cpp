#include "text/date_format.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <regex>
#include <string>

namespace pos {
namespace {

class DateFormat : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* tz = std::getenv("TZ")) saved_ = tz;
    use_zone("UTC");
  }
  void TearDown() override {
    if (saved_) {
      setenv("TZ", saved_->c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }
  static void use_zone(const char* tz) {
    setenv("TZ", tz, 1);
    tzset();
  }

 private:
  std::optional<std::string> saved_;
};

TEST_F(DateFormat, FormatsFixedTimesInLocalZone) {
  struct Case {
    const char* zone;
    std::time_t t;
    const char* slashed;
    const char* stamp;
  };
  const Case cases[] = {
      {"UTC", 0, "1970/01/01", "19700101-000000"},          {"UTC", 951868799, "2000/02/29", "20000229-235959"},
      {"UTC", 1796747565, "2026/12/08", "20261208-163245"}, {"UTC", 1925089445, "2031/01/02", "20310102-030405"},
      {"CST-8", 0, "1970/01/01", "19700101-080000"},  // Taipei time, no tzdata needed
      {"CST-8", 57600, "1970/01/02", "19700102-000000"},
  };
  for (const auto& c : cases) {
    use_zone(c.zone);
    EXPECT_EQ(format_slashed_date(c.t), c.slashed) << c.zone << ' ' << c.t;
    EXPECT_EQ(format_run_timestamp(c.t), c.stamp) << c.zone << ' ' << c.t;
  }
}

TEST_F(DateFormat, NowFunctionsUseCurrentTime) {
  const std::time_t before = std::time(nullptr);
  const std::string today = today_slashed();
  const std::string stamp = run_timestamp_now();
  const std::time_t after = std::time(nullptr);

  EXPECT_TRUE(today == format_slashed_date(before) || today == format_slashed_date(after));
  EXPECT_TRUE(std::regex_match(stamp, std::regex(R"(\d{8}-\d{6})"))) << stamp;
  EXPECT_GE(stamp, format_run_timestamp(before));
  EXPECT_LE(stamp, format_run_timestamp(after));
}

}  // namespace
}  // namespace pos

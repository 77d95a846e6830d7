#include "text/date_format.h"

#include "text/text_error.h"

namespace pos {
namespace {

// Formats `t` as local time with a strftime pattern.
std::string format_local(std::time_t t, const char* pattern) {
  std::tm tm{};
  if (localtime_r(&t, &tm) == nullptr) {
    throw TextError("cannot convert time " + std::to_string(t) + " to local time");
  }
  char buf[64];
  const std::size_t n = std::strftime(buf, sizeof buf, pattern, &tm);
  return std::string(buf, n);
}

}  // namespace

std::string format_slashed_date(std::time_t t) { return format_local(t, "%Y/%m/%d"); }

std::string format_run_timestamp(std::time_t t) { return format_local(t, "%Y%m%d-%H%M%S"); }

std::string today_slashed() { return format_slashed_date(std::time(nullptr)); }

std::string run_timestamp_now() { return format_run_timestamp(std::time(nullptr)); }

}  // namespace pos

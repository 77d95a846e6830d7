#include "headoffice/status/utc_time.h"

#include <algorithm>
#include <cstdio>

namespace pos::headoffice {

std::string utc_text(std::time_t t) {
  std::tm tm{};
  gmtime_r(&t, &tm);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
  return buf;
}

std::optional<std::time_t> parse_utc_text(std::string_view text) {
  if (text.size() < 19) return std::nullopt;
  std::tm tm{};
  char tail = 0;
  const std::string head(text.substr(0, 19));
  if (std::sscanf(head.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &tm.tm_year, &tm.tm_mon, &tm.tm_mday, &tm.tm_hour,
                  &tm.tm_min, &tm.tm_sec, &tail) != 6)
    return std::nullopt;
  tm.tm_year -= 1900;
  tm.tm_mon -= 1;
  return timegm(&tm);
}

std::optional<long long> seconds_between(std::string_view from, std::string_view to) {
  const auto a = parse_utc_text(from), b = parse_utc_text(to);
  if (!a || !b) return std::nullopt;
  return std::max<long long>(0, *b - *a);
}

std::string duration_text(long long s) {
  char buf[48];
  if (s < 120)
    std::snprintf(buf, sizeof buf, "%lld s", s);
  else if (s < 7200)
    std::snprintf(buf, sizeof buf, "%lld min", s / 60);
  else if (s < 172800)
    std::snprintf(buf, sizeof buf, "%lld h %lld min", s / 3600, s / 60 % 60);
  else
    std::snprintf(buf, sizeof buf, "%lld days", s / 86400);
  return buf;
}

}  // namespace pos::headoffice

#include "headoffice/generators/calendar.h"

#include <cstdio>
#include <stdexcept>

namespace pos::headoffice {
namespace {

// Days since 1970-01-01 (proleptic Gregorian), after H. Hinnant's civil-date algorithms.
long days_from_civil(int y, int m, int d) {
  y -= m <= 2;
  const long era = (y >= 0 ? y : y - 399) / 400;
  const long yoe = y - era * 400;
  const long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

Date civil_from_days(long z) {
  z += 719468;
  const long era = (z >= 0 ? z : z - 146096) / 146097;
  const long doe = z - era * 146097;
  const long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long mp = (5 * doy + 2) / 153;
  const int d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  const int m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  return Date{static_cast<int>(yoe + era * 400 + (m <= 2)), m, d};
}

}  // namespace

Date parse_date(std::string_view text) {
  Date d;
  char tail = 0;
  const std::string s(text);
  if (s.size() != 10 || std::sscanf(s.c_str(), "%4d/%2d/%2d%c", &d.year, &d.month, &d.day, &tail) != 3 || s[4] != '/' ||
      s[7] != '/') {
    throw std::invalid_argument("not a YYYY/MM/DD date: " + s);
  }
  const Date back = civil_from_days(days_from_civil(d.year, d.month, d.day));
  if (back.year != d.year || back.month != d.month || back.day != d.day) {
    throw std::invalid_argument("no such date: " + s);
  }
  return d;
}

std::string format_date(Date d) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d/%02d/%02d", d.year, d.month, d.day);
  return buf;
}

Date add_days(Date d, int days) { return civil_from_days(days_from_civil(d.year, d.month, d.day) + days); }

std::string add_days(std::string_view date, int days) { return format_date(add_days(parse_date(date), days)); }

}  // namespace pos::headoffice

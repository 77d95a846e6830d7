#pragma once
// Civil dates as the head office writes them: "YYYY/MM/DD".

#include <string>
#include <string_view>

namespace pos::headoffice {

struct Date {
  int year = 1970, month = 1, day = 1;
};

// Throws std::invalid_argument for text that is not a valid YYYY/MM/DD date.
Date parse_date(std::string_view text);
std::string format_date(Date d);
Date add_days(Date d, int days);
std::string add_days(std::string_view date, int days);

// Year of the Republic of China era (2024 -> 113), used on Taiwanese invoices.
inline int roc_year(Date d) { return d.year - 1911; }

}  // namespace pos::headoffice

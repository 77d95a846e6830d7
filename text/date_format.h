#pragma once

// Local-time date stamps for reports and run logs.

#include <ctime>
#include <string>

namespace pos {

// Local date of `t` as "YYYY/MM/DD".
std::string format_slashed_date(std::time_t t);

// Local time of `t` as "YYYYMMDD-HHNNSS" (NN = minutes).
std::string format_run_timestamp(std::time_t t);

// Today's local date as "YYYY/MM/DD".
std::string today_slashed();

// The current local time as "YYYYMMDD-HHNNSS".
std::string run_timestamp_now();

}  // namespace pos

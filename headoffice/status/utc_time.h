#pragma once
// Times of the status records: UTC, written "YYYY-MM-DD HH:MM:SS" so that they sort as text.

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace pos::headoffice {

std::string utc_text(std::time_t t);

// The first 19 characters of `text` read as a UTC time (PostgreSQL adds fractions and a zone);
// none when they are not one.
std::optional<std::time_t> parse_utc_text(std::string_view text);

// Seconds from `from` to `to` (UTC texts), never below 0; none when either is not a time.
std::optional<long long> seconds_between(std::string_view from, std::string_view to);

// A length of time as people read it: "45 s", "12 min", "3 h 5 min", "2 days".
std::string duration_text(long long seconds);

}  // namespace pos::headoffice

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

}  // namespace pos::headoffice

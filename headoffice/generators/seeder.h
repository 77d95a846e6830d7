#pragma once
// Fills a head-office database with a whole, consistent set of master data.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "headoffice/storage/database.h"

namespace pos::headoffice {

struct SeedOptions {
  std::vector<std::string> terminals{"001"};
  int products = 500;
  int members = 200;
  int promotions = 16;  // sales promotions
  int any_choice = 8;
  int gifts = 12;
  int employees = 12;
  int keys = 24;  // keyboard keys
  std::uint64_t seed = 1;
  std::string today;  // YYYY/MM/DD; the dates of the data are laid around it
};

// small (500 products, 200 members), store (50,000 / 20,000) or large (200,000 / 100,000).
SeedOptions scale_options(std::string_view scale);

struct TableCount {
  std::string table;
  std::int64_t rows = 0;
};

// Replaces the content of every service table (creating missing tables first), all in one
// transaction. Returns the rows written per table.
std::vector<TableCount> seed_database(Connection& c, const SeedOptions& options);

}  // namespace pos::headoffice

#pragma once
// What head office does when staff edit data: rows of one kind change, appear or go, and
// every terminal gets a change-log entry for each ('UPDATE', 'INSERT', 'DELETE'; TRAN_CODE
// empty), in the same transaction.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "headoffice/storage/database.h"

namespace pos::headoffice {

enum class ChangeWhat { Products, Members, SalesPromotions, AnyChoice, Gifts };

// "products", "members", "promotions", "anychoice" or "gifts".
ChangeWhat parse_change_what(std::string_view what);

struct ChangeOptions {
  ChangeWhat what = ChangeWhat::Products;
  int count = 0;                       // existing rows to change
  int inserts = 0;                     // new rows
  int deletes = 0;                     // rows to remove
  std::vector<std::string> terminals;  // empty: every machine in MCH_ITEM
  std::uint64_t seed = 1;              // picks the rows and the new values
  std::string today;                   // YYYY/MM/DD, the change date
};

struct ChangeSummary {
  std::vector<std::string> updated, inserted, deleted;  // keys
  std::int64_t log_entries = 0;
};

ChangeSummary apply_changes(Connection& c, const ChangeOptions& options);

}  // namespace pos::headoffice

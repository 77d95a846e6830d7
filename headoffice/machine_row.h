#pragma once
// A terminal's row in MCH_ITEM, the machines head office serves: without it a terminal gets no
// data. `terminals add` writes it with the credential.

#include <optional>
#include <string>

#include "headoffice/storage/database.h"

namespace pos::headoffice {

struct MachineRow {
  std::optional<std::string> name;   // MCH_NAME, UTF-8; at most 40 bytes in Big5
  std::optional<std::string> store;  // STOCK_ID; at most 10 bytes in Big5
};

// Why `row` cannot be written (UTF-8); none when it can.
std::optional<std::string> invalid_machine_row(const MachineRow& row);

enum class MachineRowChange { Added, Updated, Kept, Missing };

// Adds `machine`'s MCH_ITEM row with what `row` gives (every product, TOP_ITEMID empty), or
// changes in an existing row only what `row` gives. A row that gives nothing changes nothing: the
// existing row is kept, a missing one stays missing.
MachineRowChange register_machine(Connection& c, const std::string& machine, const MachineRow& row,
                                  const std::string& today);

}  // namespace pos::headoffice

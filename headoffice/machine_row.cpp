#include "headoffice/machine_row.h"

#include <vector>

#include "text/big5.h"

namespace pos::headoffice {
namespace {

// Why `value` does not fit a column of `width` Big5 bytes; none when it does.
std::optional<std::string> unfit(const char* option, const std::string& value, std::size_t width) {
  std::string big5_text;
  try {
    big5_text = utf8_to_big5(value);
  } catch (const TextError&) {
    return std::string(option) + " '" + value + "' holds characters the terminals' Big5 text does not have";
  }
  if (value.empty()) return std::string(option) + " must not be empty";
  if (big5_text.size() > width)
    return std::string(option) + " '" + value + "' is " + std::to_string(big5_text.size()) +
           " bytes in Big5; MCH_ITEM holds " + std::to_string(width);
  return std::nullopt;
}

}  // namespace

std::optional<std::string> invalid_machine_row(const MachineRow& row) {
  if (row.name)
    if (auto why = unfit("--name", *row.name, 40)) return why;
  if (row.store)
    if (auto why = unfit("--store", *row.store, 10)) return why;
  return std::nullopt;
}

MachineRowChange register_machine(Connection& c, const std::string& machine, const MachineRow& row,
                                  const std::string& today) {
  const Value none;
  const std::vector<Value> key{Value(machine)};
  Transaction tx(c);
  const bool present = query_value(c, "SELECT COUNT(*) FROM MCH_ITEM WHERE MCH_NO = ?", key).integer() > 0;
  if (!row.name && !row.store) return present ? MachineRowChange::Kept : MachineRowChange::Missing;
  if (!present) {
    const std::vector<Value> values{Value(machine), row.name ? Value(*row.name) : none,
                                    row.store ? Value(*row.store) : none, Value(today)};
    c.execute("INSERT INTO MCH_ITEM (MCH_NO, MCH_NAME, STOCK_ID, TOP_ITEMID, CHG_DATE) VALUES (?, ?, ?, '', ?)", values,
              nullptr);
    tx.commit();
    return MachineRowChange::Added;
  }
  const std::vector<Value> values{Value(row.name ? 1 : 0),
                                  row.name ? Value(*row.name) : none,
                                  Value(row.store ? 1 : 0),
                                  row.store ? Value(*row.store) : none,
                                  Value(today),
                                  Value(machine)};
  c.execute(
      "UPDATE MCH_ITEM SET MCH_NAME = CASE WHEN ? = 1 THEN ? ELSE MCH_NAME END, "
      "STOCK_ID = CASE WHEN ? = 1 THEN ? ELSE STOCK_ID END, CHG_DATE = ? WHERE MCH_NO = ?",
      values, nullptr);
  tx.commit();
  return MachineRowChange::Updated;
}

}  // namespace pos::headoffice

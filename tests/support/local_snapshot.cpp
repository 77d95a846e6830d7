#include "tests/support/local_snapshot.h"

#include <algorithm>
#include <iterator>

#include "localdb/connection.h"

namespace pos::testing {

LocalSnapshot local_snapshot(const std::string& database) {
  LocalConnection con;
  con.open(ConnectionParams{database});
  LocalSnapshot out;
  const auto tables =
      con.query("SELECT TRIM(RDB$RELATION_NAME) FROM RDB$RELATIONS WHERE RDB$SYSTEM_FLAG = 0 AND RDB$VIEW_BLR IS NULL");
  for (const auto& t : tables) {
    const std::string name = t[0].as_text();
    auto& rows = out[name];
    for (const auto& r : con.query("SELECT * FROM " + name)) {
      std::string line;
      for (const auto& v : r) line += (v.is_null() ? std::string("<null>") : v.as_text()) + "|";
      rows.push_back(std::move(line));
    }
    std::sort(rows.begin(), rows.end());
  }
  return out;
}

std::string snapshot_difference(const LocalSnapshot& want, const LocalSnapshot& have) {
  for (const auto& [table, rows] : want) {
    const auto it = have.find(table);
    if (it == have.end()) return "table " + table + " is missing";
    if (it->second == rows) continue;
    std::vector<std::string> missing, extra;
    std::set_difference(rows.begin(), rows.end(), it->second.begin(), it->second.end(), std::back_inserter(missing));
    std::set_difference(it->second.begin(), it->second.end(), rows.begin(), rows.end(), std::back_inserter(extra));
    std::string text =
        table + ": " + std::to_string(rows.size()) + " rows wanted, " + std::to_string(it->second.size()) + " found";
    for (std::size_t i = 0; i < std::min<std::size_t>(missing.size(), 3); ++i) text += "\n  missing " + missing[i];
    for (std::size_t i = 0; i < std::min<std::size_t>(extra.size(), 3); ++i) text += "\n  extra   " + extra[i];
    return text;
  }
  for (const auto& [table, rows] : have)
    if (!want.count(table)) return "unexpected table " + table;
  return "";
}

}  // namespace pos::testing

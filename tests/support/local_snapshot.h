#pragma once
// Every row of every table of a terminal's database, as text, for comparing two databases whole.

#include <map>
#include <string>
#include <vector>

namespace pos::testing {

// Table name -> its rows, each "v1|v2|..." (null as "<null>"), sorted.
using LocalSnapshot = std::map<std::string, std::vector<std::string>>;

LocalSnapshot local_snapshot(const std::string& database);

// "" when equal; else the first table that differs and a few of its differing rows.
std::string snapshot_difference(const LocalSnapshot& want, const LocalSnapshot& have);

}  // namespace pos::testing

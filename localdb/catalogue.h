#pragma once
// The catalogue helpers the jobs and the schema upkeep use, on the local statement object
// (SQLQuery3). Each closes and clears the query first.

#include <string>

#include "localdb/local_query.h"

namespace pos {

// True when the catalogue has no segment of the index (name compared in upper case). Errors pass on.
bool IndexMissing(LocalQuery& query, const std::string& index_name);

// True when the catalogue has no table of that name (compared in upper case). Errors pass on.
bool TableMissing(LocalQuery& query, const std::string& table);

// Adds `column` as VARCHAR(width) when `table` lacks it; names are used as given, not upper-cased.
// True when the column was there or was added; false on any error, which never leaves the helper.
bool EnsureVarcharColumn(LocalQuery& query, const std::string& table, const std::string& column,
                         const std::string& width);

// As EnsureVarcharColumn, adding the column as Double Precision.
bool EnsureDoubleColumn(LocalQuery& query, const std::string& table, const std::string& column);

}  // namespace pos

#pragma once
// Catalogue helpers on the local statement object. Each closes and clears the query first.

#include <string>

#include "localdb/local_query.h"

namespace pos {

// True when the catalogue has no segment of the index (name compared in upper case). Errors pass on.
bool IndexMissing(LocalQuery& SQLQuery3, const std::string& index_name);

// A table creation killed before its commit leaves pages registered under the relation id that the
// next new table gets, and that table can then have no index ("cannot create index"). Creating
// and dropping a spare table takes that id and releases them. Call it before CREATE TABLE, outside
// an explicit transaction (inside one it does nothing).
void release_next_relation_slot(LocalConnection& con);

// True when the catalogue has no table of that name (compared in upper case). Errors pass on.
bool TableMissing(LocalQuery& SQLQuery3, const std::string& table);

// Adds `column` as VARCHAR(width) when `table` lacks it; names are used as given, not upper-cased.
// True when the column was there or was added; false on any error, which never leaves the helper.
bool EnsureVarcharColumn(LocalQuery& SQLQuery3, const std::string& table, const std::string& column,
                         const std::string& width);

// As EnsureVarcharColumn, adding the column as Double Precision.
bool EnsureDoubleColumn(LocalQuery& SQLQuery3, const std::string& table, const std::string& column);

// As EnsureVarcharColumn, adding the column with the SQL type `type` (e.g. "INTEGER").
bool ensure_column(LocalQuery& SQLQuery3, const std::string& table, const std::string& column, const std::string& type);

}  // namespace pos

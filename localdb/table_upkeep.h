#pragma once
// What this program adds beside the catalogue helpers for changing its tables.

#include <string>

#include "localdb/connection.h"
#include "localdb/local_query.h"

namespace pos {

// Closes the query and clears its text.
void restart_query(LocalQuery& query);

// Adds `column` with the SQL type `type` (e.g. "INTEGER") when `table` lacks it; names are used as
// given. True when the column was there or was added; false on any error, which never leaves it.
bool ensure_column(LocalQuery& query, const std::string& table, const std::string& column, const std::string& type);

// A table creation killed before its commit leaves pages registered under the relation id that the
// next new table gets, and that table can then have no index ("cannot create index"). Creating
// and dropping a spare table takes that id and releases them. Call it before CREATE TABLE, outside
// an explicit transaction (inside one it does nothing).
void release_next_relation_slot(LocalConnection& con);

}  // namespace pos

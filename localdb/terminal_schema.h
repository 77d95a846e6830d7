#pragma once
// The terminal's local tables as this program uses them, read from terminal_schema.sql, the one
// definition of each: what terminal-init creates (the older level, before the updater first ran)
// and what the upkeep adds to a terminal that lacks it.

#include <string>
#include <vector>

#include "localdb/local_query.h"

namespace pos {

struct SchemaColumn {
  std::string name;        // as the DDL names it ("START" quoted)
  std::string definition;  // the rest of its line: "VARCHAR(20) NOT NULL"
  bool added_later;        // not at the older level
};

struct SchemaTable {
  std::string name;
  std::vector<SchemaColumn> columns;
  std::vector<std::string> indexes;  // CREATE INDEX statements
  bool added_later;                  // the whole table is not at the older level
};

// The text of terminal_schema.sql.
const std::string& terminal_schema_sql();

// The tables in the file's order. Throws std::logic_error when the file cannot be read as such.
const std::vector<SchemaTable>& terminal_schema();
const SchemaTable& schema_table(const std::string& name);

// The statements that create the older level: tables, columns and indexes not added later.
std::vector<std::string> older_level_statements();

// Creates `table` with all its columns and indexes when the database lacks it. Errors pass on.
void create_missing_table(LocalQuery& query, const SchemaTable& table);
// Adds the columns of `table` the database lacks (only `only`, when given): every one of a table
// added later, else those added later. A column that cannot be added is skipped quietly, and so
// is a table the database lacks.
void add_missing_columns(LocalQuery& query, const SchemaTable& table, const std::string& only = "");
// create_missing_table, then add_missing_columns and the indexes it lacks: a table added later,
// brought to this program's level whatever state an older program left it in.
void keep_table(LocalQuery& query, const SchemaTable& table);

}  // namespace pos

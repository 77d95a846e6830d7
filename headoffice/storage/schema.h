#pragma once
// The head-office tables the terminals read. Dates are 'YYYY/MM/DD' texts, prices DOUBLE
// PRECISION, quantities INTEGER; text widths count Big5 bytes. The same DDL runs on both
// back ends.

#include <string>
#include <vector>

#include "headoffice/storage/database.h"

namespace pos::headoffice {

struct ColumnDef {
  std::string name;
  std::string type;  // "VARCHAR(20)", "INTEGER", "DOUBLE PRECISION"
  bool not_null = false;
  std::string default_value;  // SQL literal, empty for none
};

struct TableDef {
  std::string name;
  std::vector<ColumnDef> columns;
  std::vector<std::string> primary_key;
  std::vector<std::vector<std::string>> indexes;
};

const std::vector<TableDef>& service_tables();
const TableDef& service_table(std::string_view name);  // throws std::out_of_range
std::vector<std::string> column_names(const TableDef& table);

// CREATE TABLE / CREATE INDEX statements, each skipped when the object exists.
std::vector<std::string> create_statements(const TableDef& table);

// Creates every missing table and index in one transaction. With `reset`, drops the service
// tables first (their data is lost).
void create_schema(Connection& c, bool reset);

// True when every service table exists, and the status records have every column.
bool schema_present(Connection& c);

// The columns of `table` that the database's table lacks.
std::vector<ColumnDef> missing_columns(Connection& c, const TableDef& table);

}  // namespace pos::headoffice

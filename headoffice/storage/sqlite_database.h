#pragma once
// SQLite back end: one file, WAL journal, one connection per worker.

#include <memory>
#include <string>

#include "headoffice/storage/database.h"

namespace pos::headoffice {

std::unique_ptr<Database> open_sqlite(std::string path);

// The kind and width a declared column type reads back as ("VARCHAR(20)" -> Text, 20).
ColumnInfo sqlite_column_info(std::string name, const char* declared_type);

}  // namespace pos::headoffice

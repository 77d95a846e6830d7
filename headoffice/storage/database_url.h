#pragma once
// Opening the head-office database that a URL names.

#include <memory>
#include <string_view>

#include "headoffice/storage/database.h"

namespace pos::headoffice {

// "sqlite:PATH", a plain path (SQLite), "postgresql:CONNINFO" or "postgresql://URI".
std::unique_ptr<Database> open_database(std::string_view url);

}  // namespace pos::headoffice

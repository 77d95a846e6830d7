#pragma once
// PostgreSQL back end through libpq; client encoding UTF-8.

#include <memory>
#include <string>

#include "headoffice/storage/database.h"

namespace pos::headoffice {

std::unique_ptr<Database> open_postgres(std::string conninfo);

// `sql` with each `?` outside quotes replaced by $1, $2, ...
std::string numbered_parameters(std::string_view sql);

}  // namespace pos::headoffice

#include "headoffice/storage/database_url.h"

#include <string>

#include "headoffice/storage/postgres_database.h"
#include "headoffice/storage/sqlite_database.h"

namespace pos::headoffice {

std::unique_ptr<Database> open_database(std::string_view url) {
  constexpr std::string_view kSqlite = "sqlite:";
  constexpr std::string_view kPostgres = "postgresql:";
  if (url.starts_with(kSqlite)) return open_sqlite(std::string(url.substr(kSqlite.size())));
  if (url.starts_with(kPostgres)) {
    std::string_view rest = url.substr(kPostgres.size());
    // libpq takes a URI whole, keyword=value pairs without the scheme.
    return open_postgres(rest.starts_with("//") ? std::string(url) : std::string(rest));
  }
  if (url.find(':') != std::string_view::npos && url.find('/') == std::string_view::npos) {
    throw DatabaseError("unknown database kind in '" + std::string(url) + "' (use sqlite:PATH or postgresql:CONNINFO)");
  }
  return open_sqlite(std::string(url));
}

}  // namespace pos::headoffice

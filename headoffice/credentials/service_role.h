#pragma once
// The PostgreSQL role a service should connect as: it may log in, read the service tables, mark
// and remove change-log entries, and keep the status table, and nothing else (no superuser, no
// DDL, no other table). The grants follow what the statement catalogue lets terminals run.

#include <string>
#include <vector>

#include "headoffice/storage/database.h"

namespace pos::headoffice {

// The statements that create `role` with `password` (or, when it exists, set its password and
// take its wider rights away) and grant it what the service needs, in the current database.
// `role` must be a plain name (letters, digits, '_'); throws std::invalid_argument otherwise.
std::vector<std::string> service_role_statements(const std::string& role, const std::string& password);

// Whether the connection's own PostgreSQL role is a superuser. False on SQLite.
bool connected_as_superuser(Connection& c);

}  // namespace pos::headoffice

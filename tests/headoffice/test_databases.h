#pragma once
// The databases a suite runs on. The same test sources build two suites: one on SQLite files
// and one on a scratch PostgreSQL server (HEADOFFICE_TEST_POSTGRES), started on first use and
// stopped when the suite ends.

#include <string>

#include "headoffice/generators/seeder.h"

namespace pos::test {

// A new, empty database; `name` is a short identifier (letters, digits, '_').
std::string fresh_database_url(const std::string& name);

const char* backend_label();  // "sqlite" or "postgresql"

// Options that reproduce the fixture data of the job statements.
headoffice::SeedOptions fixture_seed_options();

// A seeded fixture database with the fixture's change-log entries in place, credentials of their
// own for terminals 001 and 002 (terminal_client.h), and a viewer of the status page.
std::string fixture_database_url(const std::string& name);
inline constexpr const char* kViewerUser = "monitor";
inline constexpr const char* kViewerPassword = "pwmonitorquillbark";

// The URL a service should use for the database of `url`: on PostgreSQL as the role
// `headoffice-service pg-role` makes (granted in that database now), on SQLite `url` itself.
std::string service_role_url(const std::string& url);
inline constexpr const char* kServiceRole = "headoffice_service";

}  // namespace pos::test

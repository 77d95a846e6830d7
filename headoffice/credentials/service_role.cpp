#include "headoffice/credentials/service_role.h"

#include <algorithm>
#include <stdexcept>

#include "headoffice/credentials/credential_store.h"
#include "headoffice/storage/schema.h"

namespace pos::headoffice {
namespace {

constexpr const char* kChangeLogs[] = {"PRODUCT_TEMP", "MEMBER_TEMP", "PSALE_TEMP", "PTSALE_TEMP", "GSALE_TEMP"};
constexpr const char* kMarkedLogs[] = {"PSALE_TEMP", "PTSALE_TEMP", "GSALE_TEMP"};

std::string quoted_literal(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out + "'";
}

}  // namespace

std::vector<std::string> service_role_statements(const std::string& role, const std::string& password) {
  const bool plain = !role.empty() && role.size() <= 63 && std::all_of(role.begin(), role.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
  });
  if (!plain) throw std::invalid_argument("the role name must be small letters, digits and '_', not '" + role + "'");
  const std::string rights =
      " LOGIN NOSUPERUSER NOCREATEDB NOCREATEROLE NOREPLICATION NOBYPASSRLS PASSWORD " + quoted_literal(password);
  std::vector<std::string> sql = {
      "DO $$ BEGIN IF EXISTS (SELECT 1 FROM pg_roles WHERE rolname = " + quoted_literal(role) + ") THEN ALTER ROLE " +
          role + rights + "; ELSE CREATE ROLE " + role + rights + "; END IF; END $$",
      "DO $$ BEGIN EXECUTE 'GRANT CONNECT ON DATABASE ' || quote_ident(current_database()) || ' TO " + role +
          "'; END $$",
      "DO $$ BEGIN EXECUTE 'GRANT USAGE ON SCHEMA ' || quote_ident(current_schema()) || ' TO " + role + "'; END $$",
      "GRANT SELECT ON " + credential_table().name + " TO " + role,
      "GRANT SELECT, INSERT, UPDATE ON TERMINAL_STATUS TO " + role,
  };
  for (const auto& t : service_tables()) sql.push_back("GRANT SELECT ON " + t.name + " TO " + role);
  for (const char* log : kChangeLogs) sql.push_back(std::string("GRANT DELETE ON ") + log + " TO " + role);
  for (const char* log : kMarkedLogs) sql.push_back(std::string("GRANT UPDATE (TRAN_CODE) ON ") + log + " TO " + role);
  return sql;
}

bool connected_as_superuser(Connection& c) {
  if (c.backend() != Backend::Postgres) return false;
  return query_value(c, "SELECT CASE WHEN rolsuper THEN 1 ELSE 0 END FROM pg_roles WHERE rolname = current_user")
             .as_text() == "1";
}

}  // namespace pos::headoffice

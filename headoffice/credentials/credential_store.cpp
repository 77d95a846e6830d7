#include "headoffice/credentials/credential_store.h"

#include <algorithm>
#include <stdexcept>

#include "headoffice/credentials/password_hash.h"
#include "text/ascii.h"

namespace pos::headoffice {
namespace {

CredentialRole role_of(const std::string& text) {
  return text == "viewer" ? CredentialRole::Viewer : CredentialRole::Terminal;
}

StoredCredential credential_of(const std::vector<Value>& row) {
  return {row[0].as_text(), role_of(row[1].as_text()), row[2].as_text(), row[3].as_text()};
}

std::vector<StoredCredential> read(Connection& c, const std::string& where, const std::vector<Value>& params) {
  RowCollector rows;
  c.execute("SELECT NAME, ROLE, PASSWORD_HASH, CHANGED_AT FROM SERVICE_CREDENTIALS" + where + " ORDER BY NAME", params,
            &rows);
  std::vector<StoredCredential> out;
  for (const auto& row : rows.rows()) out.push_back(credential_of(row));
  return out;
}

bool name_char(char c, CredentialRole role) {
  const bool alnum = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
  return alnum || (role == CredentialRole::Viewer && (c == '.' || c == '_' || c == '-'));
}

}  // namespace

const TableDef& credential_table() {
  static const TableDef table{"SERVICE_CREDENTIALS",
                              {{"NAME", "VARCHAR(40)", true, {}},
                               {"ROLE", "VARCHAR(10)", true, {}},
                               {"PASSWORD_HASH", "VARCHAR(200)", true, "''"},
                               {"GENERATION", "INTEGER", true, "0"},
                               {"CHANGED_AT", "TIMESTAMPTZ", false, "CURRENT_TIMESTAMP"}},
                              {"NAME"},
                              {}};
  return table;
}

void create_credential_table(Connection& c) {
  for (const auto& sql : create_statements(credential_table())) c.execute(sql);
}

bool credential_table_present(Connection& c) {
  try {
    c.execute("SELECT 1 FROM SERVICE_CREDENTIALS WHERE 1 = 0");
    return true;
  } catch (const DatabaseError&) {
    return false;
  }
}

const char* role_name(CredentialRole role) { return role == CredentialRole::Viewer ? "viewer" : "terminal"; }

std::optional<std::string> invalid_credential_name(std::string_view name, CredentialRole role) {
  const std::size_t most = role == CredentialRole::Terminal ? 5 : 40;
  const bool fine = !name.empty() && name.size() <= most &&
                    std::all_of(name.begin(), name.end(), [role](char c) { return name_char(c, role); });
  if (fine) return std::nullopt;
  if (role == CredentialRole::Terminal)
    return "a terminal's user name is its machine number, 1 to 5 letters or digits, not '" + std::string(name) + "'";
  return "a viewer's name is 1 to 40 letters, digits, '.', '_' or '-', not '" + std::string(name) + "'";
}

void issue_credential(Connection& c, const std::string& name, CredentialRole role, std::string_view password) {
  if (auto why = invalid_credential_name(name, role)) throw std::runtime_error(*why);
  const std::string hash = hash_password(password);
  Transaction tx(c);
  for (const auto& other : read(c, "", {})) {
    if (other.name == name && other.role != role)
      throw std::runtime_error("'" + name + "' is a " + role_name(other.role) + "; choose another name");
    // A machine number arrives upper-cased in queries: two that differ only in case would be one.
    if (role == CredentialRole::Terminal && other.role == role && other.name != name &&
        ascii_upper(other.name) == ascii_upper(name) && !other.revoked())
      throw std::runtime_error("terminal '" + other.name + "' differs from '" + name + "' only in letter case");
  }
  const std::vector<Value> key{Value(name)};
  c.execute("DELETE FROM SERVICE_CREDENTIALS WHERE NAME = ?", key, nullptr);
  const std::vector<Value> row{Value(name), Value(std::string(role_name(role))), Value(hash)};
  c.execute(
      "INSERT INTO SERVICE_CREDENTIALS (NAME, ROLE, PASSWORD_HASH, GENERATION) VALUES (?, ?, ?, "
      "(SELECT COALESCE(MAX(GENERATION), 0) + 1 FROM SERVICE_CREDENTIALS))",
      row, nullptr);
  tx.commit();
}

bool revoke_credential(Connection& c, const std::string& name, CredentialRole role) {
  const std::vector<Value> params{Value(name), Value(std::string(role_name(role)))};
  Transaction tx(c);
  const auto changed = c.execute(
      "UPDATE SERVICE_CREDENTIALS SET PASSWORD_HASH = '', CHANGED_AT = CURRENT_TIMESTAMP, GENERATION = "
      "(SELECT COALESCE(MAX(GENERATION), 0) + 1 FROM SERVICE_CREDENTIALS) WHERE NAME = ? AND ROLE = ? AND "
      "PASSWORD_HASH <> ''",
      params, nullptr);
  tx.commit();
  return changed.count > 0;
}

std::vector<StoredCredential> list_credentials(Connection& c, CredentialRole role) {
  return read(c, " WHERE ROLE = ?", {Value(std::string(role_name(role)))});
}

std::optional<StoredCredential> find_credential(Connection& c, const std::string& name) {
  auto found = read(c, " WHERE NAME = ?", {Value(name)});
  if (found.empty()) return std::nullopt;
  return found.front();
}

CredentialsVersion credentials_version(Connection& c) {
  RowCollector rows;
  c.execute("SELECT COUNT(*), CAST(COALESCE(SUM(GENERATION), 0) AS BIGINT) FROM SERVICE_CREDENTIALS", {}, &rows);
  return {rows.rows().at(0).at(0).integer(), rows.rows().at(0).at(1).integer()};
}

}  // namespace pos::headoffice

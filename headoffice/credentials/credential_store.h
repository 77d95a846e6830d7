#pragma once
// The credentials head office issues, kept in its database (table SERVICE_CREDENTIALS): one per
// terminal, whose user name is its machine number, and one per viewer of the status page. Only a
// hash of each password is kept (password_hash.h). A revoked credential stays as a row without a
// hash, so the list shows when it was revoked. Every issue and revocation raises the row's
// GENERATION above every other, so a running service sees a change from one small query.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "headoffice/storage/database.h"
#include "headoffice/storage/schema.h"

namespace pos::headoffice {

enum class CredentialRole { Terminal, Viewer };

struct StoredCredential {
  std::string name;
  CredentialRole role = CredentialRole::Terminal;
  std::string hash;  // empty once revoked
  std::string changed_at;
  bool revoked() const { return hash.empty(); }
};

const TableDef& credential_table();
void create_credential_table(Connection& c);
bool credential_table_present(Connection& c);

// Why `name` cannot be the user name of `role` (UTF-8); none when it can. A terminal's is its
// machine number: 1 to 5 letters or digits. A viewer's: 1 to 40 letters, digits, '.', '_', '-'.
std::optional<std::string> invalid_credential_name(std::string_view name, CredentialRole role);

// Issues `name`'s credential with `password`, replacing an earlier one of the same role. Throws
// std::runtime_error for an invalid name, a name another role holds, or a terminal whose machine
// number differs from another's only in letter case.
void issue_credential(Connection& c, const std::string& name, CredentialRole role, std::string_view password);

// Revokes `name`'s credential of `role`; false when it has none that stands.
bool revoke_credential(Connection& c, const std::string& name, CredentialRole role);

std::vector<StoredCredential> list_credentials(Connection& c, CredentialRole role);
std::optional<StoredCredential> find_credential(Connection& c, const std::string& name);

// Changes with every issue and revocation.
struct CredentialsVersion {
  std::int64_t rows = 0;
  std::int64_t generations = 0;
  bool operator==(const CredentialsVersion&) const = default;
};
CredentialsVersion credentials_version(Connection& c);

const char* role_name(CredentialRole role);

}  // namespace pos::headoffice

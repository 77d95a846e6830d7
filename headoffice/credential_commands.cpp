#include "headoffice/credential_commands.h"

#include <cstdio>
#include <ctime>

#include "headoffice/credentials/credential_store.h"
#include "headoffice/credentials/password_hash.h"
#include "headoffice/credentials/service_role.h"
#include "headoffice/machine_row.h"
#include "headoffice/storage/database_url.h"

namespace pos::headoffice {
namespace {

// YYYY/MM/DD, as head office's dates are written.
std::string today() {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  char buf[16];
  std::strftime(buf, sizeof buf, "%Y/%m/%d", &tm);
  return buf;
}

}  // namespace

void CredentialCommands::say_registered(MachineRowChange change, const MachineRow& row) const {
  std::string given;
  if (row.name) given = "name '" + *row.name + "'";
  if (row.store) given += (given.empty() ? "" : ", ") + std::string("store ") + *row.store;
  const char* machine = name_.c_str();
  if (change == MachineRowChange::Missing)
    std::fprintf(stderr,
                 "headoffice-service: warning: machine %s has no MCH_ITEM row and gets no data until it has one: "
                 "add it with terminals add %s --name NAME --store STORE\n",
                 machine, machine);
  else if (change == MachineRowChange::Added)
    std::printf("machine %s added to MCH_ITEM (%s)\n", machine, given.c_str());
  else if (change == MachineRowChange::Updated)
    std::printf("machine %s's MCH_ITEM row updated (%s)\n", machine, given.c_str());
  else
    std::printf("machine %s's MCH_ITEM row kept as it was\n", machine);
}

CredentialCommands::CredentialCommands(CLI::App& app, std::string& db_url) : db_url_(db_url) {
  auto* terminals = app.add_subcommand("terminals", "the terminals' own credentials (user name: the machine number)");
  terminals->require_subcommand(1);
  terminals_ = group(*terminals, "terminal", "the machine number, e.g. 001");
  machine_name_option_ = terminals_.add->add_option(
      "--name", machine_name_, "the machine's name in MCH_ITEM (MCH_NAME), e.g. 'Store 12 till 1'");
  store_option_ =
      terminals_.add->add_option("--store", store_, "the machine's store in MCH_ITEM (STOCK_ID), e.g. S012");
  auto* viewers = app.add_subcommand("viewers", "credentials that may read /status and /status.json only");
  viewers->require_subcommand(1);
  viewers_ = group(*viewers, "viewer", "the viewer's user name");
  pg_role_ = app.add_subcommand("pg-role",
                                "create (or reset) the PostgreSQL role the service should connect as: only the "
                                "rights it needs; the password is the last line");
  pg_role_->add_option("--db", db_url_, "postgresql:CONNINFO of a user that may create roles")
      ->envname("HEADOFFICE_DB");
  pg_role_->add_option("role", role_, "the role's name");
}

CredentialCommands::Group CredentialCommands::group(CLI::App& parent, const char* what, const char* name_help) {
  Group g;
  const std::string w = what;
  g.add = parent.add_subcommand("add", "issue a " + w +
                                           "'s credential (a new password, the last line; an earlier "
                                           "one of the same name stops working)");
  g.revoke = parent.add_subcommand("revoke", "revoke a " + w +
                                                 "'s credential (running services drop it within "
                                                 "seconds)");
  g.list = parent.add_subcommand("list", "the " + w + "s' credentials");
  for (CLI::App* sub : {g.add, g.revoke, g.list})
    sub->add_option("--db", db_url_, "sqlite:PATH or postgresql:CONNINFO")->envname("HEADOFFICE_DB");
  for (CLI::App* sub : {g.add, g.revoke}) sub->add_option("name", name_, name_help)->required();
  return g;
}

std::optional<int> CredentialCommands::run() {
  if (pg_role_->parsed()) {
    auto c = open_database(db_url_)->connect();
    if (c->backend() != Backend::Postgres) {
      std::fprintf(stderr, "headoffice-service: pg-role needs a postgresql: database\n");
      return 1;
    }
    const std::string password = new_password();
    Transaction tx(*c);
    for (const std::string& sql : service_role_statements(role_, password)) c->execute(sql);
    tx.commit();
    std::printf(
        "role %s may now sign in with the password below and do what the service needs, nothing more;\n"
        "give it to the service as user=%s in HEADOFFICE_DB and the password in PGPASSWORD\n%s\n",
        role_.c_str(), role_.c_str(), password.c_str());
    return 0;
  }
  const bool terminals = terminals_.add->parsed() || terminals_.revoke->parsed() || terminals_.list->parsed();
  const bool viewers = viewers_.add->parsed() || viewers_.revoke->parsed() || viewers_.list->parsed();
  if (!terminals && !viewers) return std::nullopt;
  return run_group(terminals ? terminals_ : viewers_, viewers);
}

int CredentialCommands::run_group(const Group& g, bool viewers) {
  const CredentialRole role = viewers ? CredentialRole::Viewer : CredentialRole::Terminal;
  auto c = open_database(db_url_)->connect();
  if (!credential_table_present(*c)) {
    std::fprintf(stderr, "headoffice-service: the database has no credentials table; run init first\n");
    return 1;
  }
  if (g.add->parsed()) {
    MachineRow machine;
    if (!viewers && machine_name_option_->count() > 0) machine.name = machine_name_;
    if (!viewers && store_option_->count() > 0) machine.store = store_;
    if (auto why = invalid_machine_row(machine)) {
      std::fprintf(stderr, "headoffice-service: %s\n", why->c_str());
      return 1;
    }
    const std::string password = new_password();
    issue_credential(*c, name_, role, password);
    if (!viewers) say_registered(register_machine(*c, name_, machine, today()), machine);
    if (viewers)
      std::printf("viewer %s may read /status and /status.json with this password (and nothing else):\n",
                  name_.c_str());
    else
      std::printf(
          "terminal %s signs in as user_name=%s with this password (httpset.ini, or terminal-init --user "
          "%s --password ...):\n",
          name_.c_str(), name_.c_str(), name_.c_str());
    std::printf("%s\n", password.c_str());
    return 0;
  }
  if (g.revoke->parsed()) {
    if (!revoke_credential(*c, name_, role)) {
      std::fprintf(stderr, "headoffice-service: %s %s has no credential to revoke\n", role_name(role), name_.c_str());
      return 1;
    }
    std::printf("%s %s revoked; running services refuse it within seconds\n", role_name(role), name_.c_str());
    return 0;
  }
  for (const StoredCredential& s : list_credentials(*c, role))
    std::printf("%-12s %-8s %-7s %s\n", s.name.c_str(), role_name(s.role), s.revoked() ? "revoked" : "issued",
                s.changed_at.c_str());
  return 0;
}

}  // namespace pos::headoffice

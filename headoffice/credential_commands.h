#pragma once
// The command line's credential subcommands: `terminals add|revoke|list`, `viewers add|revoke|list`
// (a new password is the last line of `add`'s output; `terminals add` also writes the machine's
// MCH_ITEM row, with --name and --store) and `pg-role` (a PostgreSQL role with only the rights the
// service needs; its password is the last line).

#include <CLI/CLI.hpp>
#include <optional>
#include <string>

#include "headoffice/machine_row.h"

namespace pos::headoffice {

class CredentialCommands {
 public:
  // Adds the subcommands to `app`; their --db option writes `db_url`.
  CredentialCommands(CLI::App& app, std::string& db_url);

  // Runs the subcommand that was given, when it is one of these: its exit status.
  std::optional<int> run();

 private:
  struct Group {
    CLI::App* add = nullptr;
    CLI::App* revoke = nullptr;
    CLI::App* list = nullptr;
  };
  Group group(CLI::App& parent, const char* what, const char* name_help);
  int run_group(const Group& g, bool viewers);
  void say_registered(MachineRowChange change, const MachineRow& row) const;

  std::string& db_url_;
  std::string name_;
  std::string machine_name_, store_;  // terminals add --name, --store
  CLI::Option* machine_name_option_ = nullptr;
  CLI::Option* store_option_ = nullptr;
  Group terminals_, viewers_;
  CLI::App* pg_role_ = nullptr;
  std::string role_ = "headoffice_service";
};

}  // namespace pos::headoffice

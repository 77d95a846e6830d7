// terminal-init: makes a terminal folder for the updater.

#include <CLI/CLI.hpp>
#include <iostream>

#include "tools/terminal_folder.h"

int main(int argc, char** argv) {
  CLI::App app{"Makes a POS terminal folder: MCH_NO.TXT, httpset.ini and Data/POS_LOC.GDB"};
  pos::TerminalSpec spec;
  std::string service;
  app.add_option("--home", spec.home, "terminal folder")->required();
  app.add_option("--machine", spec.machine, "machine number, e.g. 001")->required();
  app.add_option("--service", service, "head-office service as HOST:PORT")->required();
  app.add_option("--scheme", spec.scheme, "http (default) or https")->check(CLI::IsMember({"http", "https"}));
  app.add_option("--cafile", spec.cafile,
                 "for https: the certificate that signed head office's (default: the system's)")
      ->check(CLI::ExistingFile);
  app.add_option("--driver", spec.driver, "driver path segment of the service URLs")->capture_default_str();
  app.add_option("--user", spec.user, "service user name")->capture_default_str();
  app.add_option("--password", spec.password, "service password")->capture_default_str();
  app.add_option("--db-user", spec.db_user, "user pos-updater signs in to the local database as (default SYSDBA)");
  app.add_option("--db-password", spec.db_password,
                 "its password, e.g. the Firebird server's SYSDBA password (default: the fixed one)");
  app.add_flag("--force", spec.force, "replace an existing database");
  CLI11_PARSE(app, argc, argv);

  // A URL names the scheme, host and port in one: say which options take them.
  if (const auto scheme_end = service.find("://"); scheme_end != std::string::npos) {
    const std::string scheme = service.substr(0, scheme_end);
    std::string rest = service.substr(scheme_end + 3);
    rest = rest.substr(0, rest.find('/'));
    if (rest.find(':') == std::string::npos) rest += scheme == "https" ? ":443" : ":80";
    std::cerr << "terminal-init: --service takes HOST:PORT, not a URL: for " << service << " give --service " << rest
              << (scheme == "https" ? " --scheme https" : "") << "\n";
    return 2;
  }
  if (!spec.cafile.empty() && spec.scheme != "https") {
    std::cerr << "terminal-init: --cafile is for HTTPS: give --scheme https too\n";
    return 2;
  }
  auto colon = service.rfind(':');
  if (colon == std::string::npos || colon == 0 || colon + 1 == service.size()) {
    std::cerr << "terminal-init: --service must be HOST:PORT, got '" << service << "'\n";
    return 2;
  }
  spec.host = service.substr(0, colon);
  spec.port = service.substr(colon + 1);
  try {
    std::string db = pos::make_terminal_folder(spec);
    std::cout << "terminal " << spec.machine << " ready in " << spec.home << " (database " << db << ")\n";
  } catch (const std::exception& e) {
    std::cerr << "terminal-init: " << e.what() << "\n";
    return 1;
  }
  return 0;
}

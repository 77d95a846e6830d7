#pragma once
// A Firebird server of the test's own, as a terminal has one: /usr/sbin/firebird (package
// firebird3.0-server, not started by its installation here) on a free loopback port, with its own
// configuration, security database and lock folder in a temporary folder, so it touches nothing of
// the machine's. SYSDBA's password is the one given. Stopped when destroyed.

#include <sys/types.h>

#include <filesystem>
#include <string>

#include "tests/support/temp_folder.h"

namespace pos::testing {

class FirebirdServer {
 public:
  // False when the server program is not installed; tests that need it are skipped then.
  static bool available();

  explicit FirebirdServer(const std::string& sysdba_password);
  ~FirebirdServer();
  FirebirdServer(const FirebirdServer&) = delete;
  FirebirdServer& operator=(const FirebirdServer&) = delete;

  int port() const { return port_; }
  // The connection string for a database file through this server.
  std::string database(const std::filesystem::path& file) const;

 private:
  TempFolder folder_{"posfbsrv"};
  int port_ = 0;
  pid_t pid_ = -1;
};

}  // namespace pos::testing

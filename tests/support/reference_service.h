#pragma once
// The reference head-office service, run for real: a SQLite head-office database in a temporary
// folder and `headoffice-service serve` on a loopback port that the service chose itself (port 0)
// and reported. Stopped when destroyed.

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/temp_folder.h"

namespace pos::testing {

// A statement as the service received it.
struct ReceivedStatement {
  std::string endpoint;  // "query" or "script" (one line of a script)
  std::string text;      // Big5, as it arrived
  bool operator==(const ReceivedStatement&) const = default;
};

class ReferenceService {
 public:
  // Creates the tables; `seed_args` (e.g. {"--scale", "small"}) also seeds them, empty leaves them empty.
  // The service takes `user` and `password` (UTF-8 on the command line, Big5 on the wire). The
  // head-office database is a SQLite file in a temporary folder, or `db_url` when given.
  // `serve_args` go to `serve` after the usual ones (e.g. {"--fault", "drop@3"}).
  explicit ReferenceService(std::vector<std::string> seed_args = {}, std::string terminals = "001",
                            std::string user = kUser, std::string password = kPassword, std::string db_url = "",
                            std::vector<std::string> serve_args = {});
  ~ReferenceService();
  ReferenceService(const ReferenceService&) = delete;
  ReferenceService& operator=(const ReferenceService&) = delete;

  int port() const { return port_; }
  pid_t pid() const { return pid_; }  // the serve process
  const std::string& user() const { return user_; }
  const std::string& password() const { return password_; }
  std::string address() const { return "127.0.0.1:" + std::to_string(port_); }
  const std::string& db_url() const { return db_url_; }
  static constexpr const char* kUser = "SYSDBA";
  static constexpr const char* kPassword = "quillbark";

  // Runs SQL (UTF-8 text) on the head-office database directly, for setting up a test.
  void sql(const std::string& statements);
  // Rows of a query on the head-office database, each column as text ("" for null).
  std::vector<std::vector<std::string>> rows(const std::string& query);

  // Requests answered so far (both endpoints).
  int requests() const;

  // Every statement received so far, in arrival order.
  std::vector<ReceivedStatement> statements() const;

  // Runs `headoffice-service ARGS --db <this database>`; throws when it fails.
  void run_tool(const std::vector<std::string>& args);

 private:
  TempFolder folder_{"posho"};
  std::string db_url_;
  std::string user_, password_;
  int port_ = 0;
  pid_t pid_ = -1;
};

}  // namespace pos::testing

#pragma once
// The reference head-office service, run for real: a SQLite head-office database in a temporary
// folder and `headoffice-service serve` on a loopback port that the service chose itself (port 0)
// and reported. Each terminal signs in with a credential of its own (`terminals add`) and runs
// only catalogued statements, unless the service is given a shared credential. Stopped when
// destroyed.

#include <sys/types.h>

#include <filesystem>
#include <map>
#include <optional>
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

struct Credential {
  std::string user, password;
};

class ReferenceService {
 public:
  // Creates the tables; `seed_args` (e.g. {"--scale", "small"}) also seeds them, empty leaves them empty.
  // Each machine of `terminals` (comma-separated) gets a credential of its own; with `shared` the
  // service also takes that one credential from every terminal (UTF-8 on the command line, Big5
  // on the wire) and Terminal uses it. The head-office database is a SQLite file in a temporary
  // folder, or `db_url` when given. `serve_args` go to `serve` after the usual ones (e.g.
  // {"--fault", "drop@3"}).
  explicit ReferenceService(std::vector<std::string> seed_args = {}, std::string terminals = "001",
                            std::optional<Credential> shared = std::nullopt, std::string db_url = "",
                            std::vector<std::string> serve_args = {});
  ~ReferenceService();
  ReferenceService(const ReferenceService&) = delete;
  ReferenceService& operator=(const ReferenceService&) = delete;

  int port() const { return port_; }
  pid_t pid() const { return pid_; }  // the serve process
  std::string address() const { return "127.0.0.1:" + std::to_string(port_); }
  const std::string& db_url() const { return db_url_; }
  // The credential `machine` signs in with: the shared one when there is one, else its own,
  // issued now when it has none yet.
  Credential credential(const std::string& machine) const;
  // A viewer of the status page, issued on first use.
  Credential viewer() const;
  // Uses the credentials `other` issued, for a second service on the same database.
  void share_credentials(const ReferenceService& other);
  static constexpr const char* kSharedUser = "SYSDBA";
  static constexpr const char* kSharedPassword = "quillbark";

  // Runs SQL (UTF-8 text) on the head-office database directly, for setting up a test.
  void sql(const std::string& statements);
  // Rows of a query on the head-office database, each column as text ("" for null).
  std::vector<std::vector<std::string>> rows(const std::string& query);

  // Requests answered so far (both endpoints).
  int requests() const;

  // Every statement received so far, in arrival order.
  std::vector<ReceivedStatement> statements() const;

  // Runs `headoffice-service ARGS --db <this database>`; throws when it fails. Returns its output.
  std::string run_tool(const std::vector<std::string>& args) const;

 private:
  TempFolder folder_{"posho"};
  std::string db_url_;
  std::optional<Credential> shared_;
  mutable std::map<std::string, Credential> own_;  // by machine
  mutable std::optional<Credential> viewer_;
  int port_ = 0;
  pid_t pid_ = -1;
};

}  // namespace pos::testing

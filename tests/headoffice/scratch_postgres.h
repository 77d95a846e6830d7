#pragma once
// A throw-away PostgreSQL server for tests and benchmarks: initdb in a temporary folder,
// listening on 127.0.0.1 on a free port, durability off unless the settings say otherwise. Runs as
// the postgres user when the caller is root (initdb refuses root). Stopped and removed on
// destruction.

#include <string>
#include <vector>

namespace pos::test {

class ScratchPostgres {
 public:
  // `settings` ("name=value") go to the server after its own (fsync=off, ...), so they win.
  // Throws std::runtime_error with the server's log on failure.
  explicit ScratchPostgres(const std::vector<std::string>& settings = {});
  ~ScratchPostgres();
  ScratchPostgres(const ScratchPostgres&) = delete;
  ScratchPostgres& operator=(const ScratchPostgres&) = delete;

  int port() const { return port_; }
  std::string data_dir() const { return dir_ + "/data"; }  // holds postmaster.pid
  std::string conninfo(const std::string& database = "postgres") const;
  std::string url(const std::string& database) const { return "postgresql:" + conninfo(database); }

  // Creates an empty database and returns its URL for open_database().
  std::string create_database(const std::string& name) const;

 private:
  std::string run_as_owner(const std::string& command) const;
  std::string dir_;
  int port_ = 0;
  bool as_postgres_ = false;
  bool running_ = false;
};

// The folder with initdb, pg_ctl and psql (PG_BIN, else Debian's newest).
std::string postgres_bin_dir();

}  // namespace pos::test

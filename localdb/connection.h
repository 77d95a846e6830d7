#pragma once
// The one attachment to the terminal's Firebird database, its transactions and its cache of
// prepared statements. Not thread-safe: one run uses it at a time.

#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "localdb/prepared_statement.h"
#include "text/value.h"

namespace Firebird {
class IAttachment;
class ITransaction;
}  // namespace Firebird

namespace pos {

struct ConnectionParams {
  std::string database;  // "host:path" opens through a server; a plain path opens the file embedded
  std::string user = "SYSDBA";
  std::string password = "quillbark";
  int dialect = 3;
  std::string charset = "NONE";
};

// "127.0.0.1:" + folder + "/Data/POS_LOC.GDB", the terminal database served by the local server.
std::string default_local_database(const std::string& terminal_folder);

// True when `database` names a file to open with the embedded engine (no "host:" or "host/port:"
// in front).
bool is_embedded_path(const std::string& database);

class LocalConnection {
 public:
  LocalConnection();
  ~LocalConnection();
  LocalConnection(const LocalConnection&) = delete;
  LocalConnection& operator=(const LocalConnection&) = delete;

  // Called after every successful open, before open returns; an error in it leaves the connection open.
  std::function<void()> after_connect;

  // Attaches; errors carry the database's own message. Closes a previous attachment first.
  void open(const ConnectionParams& params);
  void close();
  bool connected() const { return att_ != nullptr; }
  const ConnectionParams& params() const { return params_; }

  // Creates a new empty database file (dialect 3, charset NONE); fails when it exists.
  static void create_database(const ConnectionParams& params);

  // Explicit transaction (read committed, waits on locks). Without one every statement commits on its own.
  void begin();
  void commit();
  void rollback();
  bool in_transaction() const { return tra_ != nullptr; }
  void savepoint(const std::string& name);
  void rollback_to_savepoint(const std::string& name);
  void release_savepoint(const std::string& name);

  // The prepared statement for `sql`, from the cache when it was prepared before.
  std::shared_ptr<PreparedStatement> prepare(const std::string& sql);

  // Runs `work` in the explicit transaction, or else in a transaction of its own that is committed
  // when `work` returns and rolled back when it throws.
  void run(const std::function<void(Firebird::ITransaction*)>& work, bool read_only = false);

  // Executes one statement; returns its output row (INSERT ... RETURNING), else empty.
  std::vector<Value> execute(const std::string& sql, std::span<const Value> args = {});

  // All rows of a query.
  std::vector<std::vector<Value>> query(const std::string& sql, std::span<const Value> args = {});

  // `keys` for the parameters of `sql` that a column is compared with, so that each compares
  // whole: a text longer than its parameter's column (blanks at its end aside, which comparisons
  // ignore) can equal nothing stored there and becomes null, which matches nothing. Without this
  // it would be cut to the column's width and match every row sharing its first bytes.
  std::vector<Value> whole_keys(const std::string& sql, std::vector<Value> keys);

  Firebird::IAttachment* attachment() const { return att_; }

  // Changes whenever a statement changed the schema (descriptions taken before are stale).
  std::uint64_t schema_version() const { return schema_version_; }

  // Units of work (LocalWork) open on this connection; a batch must not commit while one is.
  int open_work() const { return open_work_; }

 private:
  friend class LocalWork;
  void require_open() const;
  void forget_statements();
  Firebird::ITransaction* start(bool read_only);

  ConnectionParams params_;
  std::uint64_t schema_version_ = 0;
  int open_work_ = 0;
  Firebird::IAttachment* att_ = nullptr;
  Firebird::ITransaction* tra_ = nullptr;
  using CacheList = std::list<std::shared_ptr<PreparedStatement>>;
  CacheList lru_;
  std::unordered_map<std::string, CacheList::iterator> cache_;
};

}  // namespace pos

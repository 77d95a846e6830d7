#pragma once
// The head-office database behind one small interface: SQLite (embedded) or PostgreSQL
// (opened by database_url.h).
// All SQL and text values inside the service are UTF-8.

#include <chrono>
#include <cstdint>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "text/value.h"

namespace pos::headoffice {

// A failure reported by the database, with its own message.
struct DatabaseError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

enum class Backend { Sqlite, Postgres };

// What a result column holds, as far as the database can tell before reading rows.
enum class ColumnKind { Unknown, Text, Integer, BigInteger, Float };

struct ColumnInfo {
  std::string name;
  ColumnKind kind = ColumnKind::Unknown;
  int width = 0;  // declared character width; 0 when not declared
};

// Receives the result of a statement that returns rows.
class RowSink {
 public:
  virtual ~RowSink() = default;
  virtual void columns(std::vector<ColumnInfo> columns) = 0;
  virtual void row(std::span<const Value> values) = 0;
};

// Keeps every row in memory; for small reads by the generators and tests.
class RowCollector : public RowSink {
 public:
  void columns(std::vector<ColumnInfo> columns) override { columns_ = std::move(columns); }
  void row(std::span<const Value> values) override { rows_.emplace_back(values.begin(), values.end()); }

  const std::vector<ColumnInfo>& columns() const { return columns_; }
  const std::vector<std::vector<Value>>& rows() const { return rows_; }

 private:
  std::vector<ColumnInfo> columns_;
  std::vector<std::vector<Value>> rows_;
};

struct ExecResult {
  bool has_rows = false;   // the statement produced a result set
  std::int64_t count = 0;  // rows returned, or rows changed
};

// Fast insertion of many rows into one table (prepared insert or COPY).
class BulkInsert {
 public:
  virtual ~BulkInsert() = default;
  virtual void add(std::span<const Value> values) = 0;
  virtual void finish() = 0;
};

class Connection {
 public:
  virtual ~Connection() = default;
  virtual Backend backend() const = 0;

  // Runs exactly one statement. `?` marks a parameter. Rows of a result go to `sink`
  // (dropped when it is null). Throws DatabaseError.
  virtual ExecResult execute(std::string_view sql, std::span<const Value> params, RowSink* sink) = 0;
  ExecResult execute(std::string_view sql, RowSink* sink = nullptr) { return execute(sql, {}, sink); }

  virtual void begin() = 0;  // a write transaction
  virtual void commit() = 0;
  virtual void rollback() = 0;

  virtual std::unique_ptr<BulkInsert> bulk_insert(std::string_view table, std::span<const std::string> columns) = 0;

  // False once the connection cannot be used again (e.g. the server went away).
  virtual bool healthy() const { return true; }

  // Ends the statement running on this connection with an error, and any this connection starts
  // later; for stopping. Safe from another thread while the connection is open.
  virtual void cancel() = 0;

  // Leaves the connection as it was opened: no transaction, and none of the session's settings,
  // locks or prepared statements that the statements it ran may have changed. Throws DatabaseError
  // when it cannot (the connection is then not used again).
  virtual void reset_session() = 0;
};

class Database {
 public:
  virtual ~Database() = default;
  virtual Backend backend() const = 0;
  virtual std::unique_ptr<Connection> connect() = 0;

  // A statement running longer than `limit` is cancelled and fails (zero: no limit); applies to
  // connections opened afterwards.
  void set_statement_timeout(std::chrono::milliseconds limit) { statement_timeout_ = limit; }
  std::chrono::milliseconds statement_timeout() const { return statement_timeout_; }

 private:
  std::chrono::milliseconds statement_timeout_{0};
};

// Rolls back unless committed.
class Transaction {
 public:
  explicit Transaction(Connection& c) : c_(c) { c_.begin(); }
  ~Transaction() {
    if (!done_) {
      try {
        c_.rollback();
      } catch (...) {
      }
    }
  }
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  void commit() {
    c_.commit();
    done_ = true;
  }

 private:
  Connection& c_;
  bool done_ = false;
};

// Single value of a one-row, one-column query (null when there is no row).
Value query_value(Connection& c, std::string_view sql, std::span<const Value> params = {});

}  // namespace pos::headoffice

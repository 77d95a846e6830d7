#pragma once
// Errors of the local database layer.

#include <stdexcept>
#include <string>
#include <utility>

namespace pos {

// A statement, a connection or a transaction failed; the message is the database's own text.
class DbError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A value that a column cannot take, raised when the field is set (e.g. "abc" for a DOUBLE column).
class FieldValueError : public DbError {
 public:
  using DbError::DbError;
};

// The database itself cannot go on (no space left, an I/O error, its file gone): every further
// statement fails too, so work that goes on row by row must stop.
class LocalDatabaseFailed : public DbError {
 public:
  using DbError::DbError;
};

// The attachment itself is gone (server stopped, network lost, database shut down).
class LocalConnectionLost : public LocalDatabaseFailed {
 public:
  using LocalDatabaseFailed::LocalDatabaseFailed;
};

// The embedded engine of another process has the database file open.
class LocalDatabaseInUse : public DbError {
 public:
  using DbError::DbError;
};

// The server did not accept the user name and password.
class LocalLoginRefused : public DbError {
 public:
  using DbError::DbError;
};

// A posted row that the local database refused when it was applied.
class RowRefused : public DbError {
 public:
  RowRefused(std::string table, const std::string& message) : DbError(message), table_(std::move(table)) {}
  const std::string& table() const { return table_; }

 private:
  std::string table_;
};

}  // namespace pos

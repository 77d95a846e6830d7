#pragma once
// Errors of the local database layer.

#include <stdexcept>
#include <string>

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

// The attachment itself is gone (server stopped, network lost, database shut down): every
// further statement on it fails too, so work that goes on row by row must stop.
class LocalConnectionLost : public DbError {
 public:
  using DbError::DbError;
};

}  // namespace pos

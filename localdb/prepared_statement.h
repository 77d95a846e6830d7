#pragma once
// A prepared Firebird statement: its parameter and column descriptions, execution with
// bound values and a forward reader over its rows. Owned by the connection's statement cache.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "localdb/column_info.h"
#include "text/value.h"

namespace Firebird {
class IAttachment;
class IStatement;
class ITransaction;
class IMessageMetadata;
class IResultSet;
}  // namespace Firebird

namespace pos {

class RowReader;

class PreparedStatement {
 public:
  PreparedStatement(Firebird::IAttachment* att, Firebird::ITransaction* tra, const std::string& sql);
  ~PreparedStatement();
  PreparedStatement(const PreparedStatement&) = delete;
  PreparedStatement& operator=(const PreparedStatement&) = delete;

  const std::string& sql() const { return sql_; }
  const std::vector<ColumnInfo>& params() const { return params_; }
  const std::vector<ColumnInfo>& columns() const { return columns_; }
  bool is_select() const;
  bool is_ddl() const;

  // Executes with one value per parameter. Returns the output row for statements that have one
  // (e.g. INSERT ... RETURNING), otherwise an empty vector.
  std::vector<Value> execute(Firebird::ITransaction* tra, std::span<const Value> args);

  // Rows changed by the last execute.
  std::uint64_t affected();

  // Opens the result of a SELECT; the reader must not outlive the transaction.
  std::unique_ptr<RowReader> open(Firebird::ITransaction* tra, std::span<const Value> args);

 private:
  friend class RowReader;
  struct Input;
  void bind(Firebird::ITransaction* tra, std::span<const Value> args);
  void decode(Firebird::ITransaction* tra, const unsigned char* buf, std::vector<Value>& row);

  std::string sql_;
  Firebird::IAttachment* att_;
  Firebird::IStatement* stmt_ = nullptr;
  Firebird::IMessageMetadata* in_meta_ = nullptr;
  Firebird::IMessageMetadata* out_meta_ = nullptr;
  unsigned type_ = 0;
  std::vector<ColumnInfo> params_;
  std::vector<ColumnInfo> columns_;
  std::vector<unsigned> out_offsets_, out_null_offsets_;
  unsigned out_length_ = 0;
  std::unique_ptr<Input> input_;  // reused input message
};

// Forward reader over a statement's result rows.
class RowReader {
 public:
  RowReader(PreparedStatement& stmt, Firebird::ITransaction* tra, Firebird::IResultSet* rs);
  ~RowReader();
  RowReader(const RowReader&) = delete;
  RowReader& operator=(const RowReader&) = delete;

  // Reads the next row into `row`; false at the end.
  bool fetch(std::vector<Value>& row);

 private:
  PreparedStatement& stmt_;
  Firebird::ITransaction* tra_;
  Firebird::IResultSet* rs_;
  std::vector<unsigned char> buf_;
};

}  // namespace pos

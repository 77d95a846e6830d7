#pragma once
// A cursor over rows of one local table: open a SELECT, count, move, locate, append or edit
// rows, set fields by name, post, and apply the posted changes to the database.
//
// Rows are read when first needed (counting, moving, locating, editing), so opening a whole
// table only to append to it reads nothing. Appended rows are written as INSERTs naming only the
// columns that were set (the others take the table's defaults); edited rows as one UPDATE that
// hits exactly that row by its row key.

#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "localdb/column_info.h"
#include "localdb/connection.h"
#include "text/value.h"

namespace pos {

// A posted change that the database refused on apply.
struct RefusedRow {
  std::vector<Value> values;  // the row as posted, in column order
  std::string message;        // the database's message
};

class TableCursor {
 public:
  explicit TableCursor(LocalConnection& con) : con_(con) {}

  // The command text may hold '?' parameters; their values are given with set_params. They are
  // the keys a lookup compares columns with, and compare whole (LocalConnection::whole_keys).
  void set_command_text(std::string sql) {
    command_ = std::move(sql);
    params_.clear();
  }
  void set_params(std::vector<Value> params) { params_ = std::move(params); }
  const std::string& command_text() const { return command_; }

  void open();
  void close();  // discards changes not applied
  bool active() const { return active_; }

  // Runs the command text as a statement without a result.
  void execute();

  std::size_t row_count();
  void first();
  void next();
  bool eof();
  std::size_t recno();  // 1-based number of the current row, 0 when there is none

  // Moves to the first row whose `column` equals `v` exactly (text compared byte for byte).
  bool locate(const std::string& column, const Value& v);

  void append();  // starts a new row at the end
  void edit();    // starts changing the current row
  void post();    // keeps the new or changed row as a pending change
  void cancel();  // forgets the row being appended or edited

  // Setting a field puts the cursor into edit state when it is browsing.
  void set_value(const std::string& column, const Value& v);
  void set_value(std::size_t index, const Value& v);
  void set_text(const std::string& column, std::string text) { set_value(column, Value(std::move(text))); }
  void set_double(const std::string& column, double d) { set_value(column, Value(d)); }
  void set_integer(const std::string& column, std::int64_t n) { set_value(column, Value(n)); }
  void set_null(const std::string& column) { set_value(column, Value()); }

  Value value(const std::string& column);
  std::string text_of(const std::string& column) { return value(column).as_text(); }
  bool is_null(const std::string& column) { return value(column).is_null(); }

  const std::vector<ColumnInfo>& columns() const { return columns_; }
  // The table rows are written to (empty when the command text is not a query on one table).
  std::string table_name() const { return table_.size() > 2 ? table_.substr(1, table_.size() - 2) : std::string(); }
  std::size_t column_index(const std::string& column) const;  // error for an unknown column

  // Writes every pending change (posting an unfinished one first); returns the refused rows,
  // whose changes are dropped. Uses the connection's transaction when one is open.
  std::vector<RefusedRow> apply();
  std::size_t pending() const { return changes_.size(); }

 private:
  enum class State { Browse, Insert, Edit };
  struct Row {
    std::vector<Value> values;
    std::string key;  // row key, empty until the row exists in the database
  };
  struct Change {
    std::size_t row;
    bool insert;
    std::vector<bool> set;
    std::vector<Value> before;  // values before an edit, to restore when refused
  };

  void require_active() const;
  void fetch_rows();
  void ensure_browse();
  std::size_t row_in_use() const;

  LocalConnection& con_;
  std::string command_;
  std::vector<Value> params_;
  bool active_ = false;
  bool fetched_ = false;
  bool keyed_ = false;
  std::string table_;  // quoted table name for writes
  std::vector<ColumnInfo> columns_;
  std::string select_;                                  // the command text with the row key added
  std::unordered_map<std::string, std::size_t> index_;  // upper-cased column name -> position
  std::string described_for_;                           // command text the description belongs to
  std::uint64_t described_at_ = 0;                      // the connection's schema version then
  std::vector<Row> rows_;
  std::size_t cur_ = 0;
  State state_ = State::Browse;
  Row buffer_;
  std::vector<bool> set_;
  std::vector<Change> changes_;
};

}  // namespace pos

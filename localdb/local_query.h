#pragma once
// The statement object for local SQL: text as lines, named parameters, execute, or open and
// read the current row's fields by name.

#include <string>
#include <vector>

#include "localdb/connection.h"
#include "text/value.h"

namespace pos {

class LocalQuery {
 public:
  explicit LocalQuery(LocalConnection& con) : con_(con) {}
  LocalConnection& connection() const { return con_; }

  void close();                // drops the open result
  void clear();                // empties the SQL text and the parameters
  void add(std::string line);  // appends a line to the SQL text
  std::string text() const;    // the lines joined by line breaks
  const std::vector<std::string>& lines() const { return lines_; }

  // Sets a named parameter (":NAME" in the text, any letter case); unknown names are an error.
  void set_param(const std::string& name, Value v);

  // Runs the text as a statement without a result. Parameters not set are null.
  void execute();

  // Runs the text as a query and stands on its first row (end when there is none).
  void open();
  bool active() const { return active_; }
  bool eof() const { return row_ >= rows_.size(); }
  void next();
  std::size_t row_count() const { return rows_.size(); }

  // Fields of the current row by name (any letter case); with no current row they read as null.
  Value value(const std::string& field) const;
  std::string text_of(const std::string& field) const { return value(field).as_text(); }
  bool is_null(const std::string& field) const { return value(field).is_null(); }

 private:
  std::vector<Value> bound_args(const std::vector<std::string>& names) const;

  LocalConnection& con_;
  std::vector<std::string> lines_;
  std::vector<std::pair<std::string, Value>> params_;
  bool active_ = false;
  std::vector<ColumnInfo> columns_;
  std::vector<std::vector<Value>> rows_;
  std::size_t row_ = 0;
};

}  // namespace pos

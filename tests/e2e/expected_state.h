#pragma once
// What a terminal's tables must hold after a run, worked out from the head-office data and the
// jobs' mappings alone, never from the program's output.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "headoffice/storage/database.h"
#include "localdb/connection.h"

namespace pos::e2e {

using Row = std::vector<std::string>;  // Big5 texts; numbers in their shortest form; null as ""

// The compared columns of one local table and its rows by key.
struct Table {
  std::vector<std::string> columns;
  std::multimap<std::string, Row> rows;
  std::vector<Row> sorted() const;
};
using State = std::map<std::string, Table>;

class HeadOffice {
 public:
  explicit HeadOffice(const std::string& db_url);
  std::vector<std::vector<Value>> rows(const std::string& sql);

 private:
  std::unique_ptr<headoffice::Database> db_;
  std::unique_ptr<headoffice::Connection> c_;
};

// A change-log entry of this terminal: the changed row's key and the STATE.
struct Entry {
  std::string key, state;
  bool operator==(const Entry&) const = default;
};
// The terminal's entries per change log (PRODUCT_TEMP, MEMBER_TEMP, PSALE_TEMP, ...), in the order
// the service lists them.
std::map<std::string, std::vector<Entry>> entries_of(HeadOffice& ho, const std::string& machine);

// After a full update of every job on a terminal that `before` describes (empty tables: {}).
State after_full_update(HeadOffice& ho, const std::string& machine, const std::string& today, State before = {});

// After a changes update of every job that took `taken`, on top of `before`.
State after_changes_update(HeadOffice& ho, const std::string& machine, const std::string& today, State before,
                           const std::map<std::string, std::vector<Entry>>& taken);

// The local rows of the table's columns.
std::vector<Row> local_rows(LocalConnection& con, const std::string& table, const Table& shape);

}  // namespace pos::e2e

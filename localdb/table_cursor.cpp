#include "localdb/table_cursor.h"

#include <algorithm>
#include <regex>

#include "localdb/errors.h"
#include "localdb/field_write.h"
#include "text/ascii.h"

namespace pos {

namespace {

std::string quoted(const std::string& name) { return "\"" + name + "\""; }

// "SELECT list FROM table rest" -> the same with the row key as first column; empty when the
// text is not a plain query on one table.
std::string with_row_key(const std::string& sql) {
  static const std::regex re(R"(^\s*select\s+([\s\S]*?)\s+from\s+("[^"]+"|[A-Za-z0-9_$]+)(\s[\s\S]*)?$)",
                             std::regex::icase);
  std::smatch m;
  if (!std::regex_match(sql, m, re)) return {};
  std::string list = m[1].str(), table = m[2].str(), rest = m[3].str();
  std::string lowered = rest;
  for (char& c : lowered) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lowered.find(" join ") != std::string::npos || lowered.find_first_not_of(" \t\r\n") == lowered.find(','))
    return {};
  if (list == "*") list = table + ".*";
  return "SELECT " + table + ".RDB$DB_KEY, " + list + " FROM " + table + rest;
}

}  // namespace

void TableCursor::require_active() const {
  if (!active_) throw DbError("the cursor is not open: " + command_);
}

void TableCursor::open() {
  close();
  if (command_.empty()) throw DbError("the cursor has no command text");
  // Reopening the same text (with other parameters) keeps its description.
  if (command_ == described_for_ && described_at_ == con_.schema_version() && con_.connected()) {
    active_ = true;
    return;
  }
  described_for_.clear();
  std::shared_ptr<PreparedStatement> stmt;
  keyed_ = false;
  select_ = with_row_key(command_);
  if (!select_.empty()) {
    try {
      stmt = con_.prepare(select_);
      keyed_ = true;
    } catch (const DbError&) {
    }
  }
  if (!keyed_) {
    select_ = command_;
    stmt = con_.prepare(select_);
  }
  if (!stmt->is_select()) throw DbError("not a query: " + command_);
  columns_ = stmt->columns();
  if (keyed_) columns_.erase(columns_.begin());
  table_.clear();
  if (!columns_.empty() && std::all_of(columns_.begin(), columns_.end(), [&](const ColumnInfo& c) {
        return !c.relation.empty() && c.relation == columns_.front().relation && !c.field.empty();
      }))
    table_ = quoted(columns_.front().relation);
  if (table_.empty()) keyed_ = false;
  index_.clear();
  for (std::size_t i = 0; i < columns_.size(); ++i) index_.emplace(ascii_upper(columns_[i].name), i);
  described_for_ = command_;
  described_at_ = con_.schema_version();
  active_ = true;
}

void TableCursor::close() {
  active_ = fetched_ = false;
  rows_.clear();
  changes_.clear();
  cur_ = 0;
  state_ = State::Browse;
}

void TableCursor::execute() {
  close();
  con_.execute(command_, params_);
}

void TableCursor::fetch_rows() {
  if (fetched_) return;
  std::vector<Row> fresh;
  for (auto& r : con_.query(select_, params_.empty() ? params_ : con_.whole_keys(select_, params_))) {
    Row row;
    if (keyed_) {
      row.key = r.front().text();
      r.erase(r.begin());
    }
    row.values = std::move(r);
    fresh.push_back(std::move(row));
  }
  // Appended rows not yet applied stay after the rows read; applied ones were just read back.
  for (auto& ch : changes_) {
    fresh.push_back(std::move(rows_[ch.row]));
    ch.row = fresh.size() - 1;
  }
  rows_ = std::move(fresh);
  fetched_ = true;
  cur_ = 0;
}

void TableCursor::ensure_browse() {
  if (state_ != State::Browse) post();
}

std::size_t TableCursor::row_count() {
  require_active();
  ensure_browse();
  fetch_rows();
  return rows_.size();
}

void TableCursor::first() {
  require_active();
  ensure_browse();
  fetch_rows();
  cur_ = 0;
}

void TableCursor::next() {
  require_active();
  ensure_browse();
  fetch_rows();
  if (cur_ < rows_.size()) ++cur_;
}

bool TableCursor::eof() {
  require_active();
  ensure_browse();
  fetch_rows();
  return cur_ >= rows_.size();
}

std::size_t TableCursor::recno() { return eof() ? 0 : cur_ + 1; }

bool TableCursor::locate(const std::string& column, const Value& v) {
  require_active();
  ensure_browse();
  fetch_rows();
  std::size_t idx = column_index(column);
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    const Value& have = rows_[i].values[idx];
    bool same = (have.is_null() || v.is_null()) ? have.is_null() && v.is_null() : have.as_text() == v.as_text();
    if (same) {
      cur_ = i;
      return true;
    }
  }
  return false;
}

std::size_t TableCursor::column_index(const std::string& column) const {
  if (auto it = index_.find(ascii_upper(column)); it != index_.end()) return it->second;
  throw DbError("field '" + column + "' not found in: " + command_);
}

void TableCursor::append() {
  require_active();
  ensure_browse();
  if (table_.empty()) throw DbError("rows cannot be added through: " + command_);
  buffer_ = Row{std::vector<Value>(columns_.size()), {}};
  set_.assign(columns_.size(), false);
  state_ = State::Insert;
}

void TableCursor::edit() {
  require_active();
  if (state_ != State::Browse) return;
  fetch_rows();
  if (cur_ >= rows_.size()) throw DbError("no current row to edit in: " + command_);
  if (!keyed_ && rows_[cur_].key.empty()) {
    bool pending_insert =
        std::any_of(changes_.begin(), changes_.end(), [&](const Change& c) { return c.insert && c.row == cur_; });
    if (!pending_insert) throw DbError("rows cannot be changed through: " + command_);
  }
  buffer_ = rows_[cur_];
  set_.assign(columns_.size(), false);
  state_ = State::Edit;
}

void TableCursor::set_value(const std::string& column, const Value& v) { set_value(column_index(column), v); }

void TableCursor::set_value(std::size_t index, const Value& v) {
  require_active();
  if (index >= columns_.size())
    throw DbError("field number " + std::to_string(index + 1) + " not found in: " + command_);
  if (state_ == State::Browse) edit();
  buffer_.values[index] = convert_for_column(columns_[index], v);
  set_[index] = true;
}

Value TableCursor::value(const std::string& column) {
  require_active();
  std::size_t idx = column_index(column);
  if (state_ != State::Browse) return buffer_.values[idx];
  if (!fetched_ && cur_ < rows_.size()) return rows_[cur_].values[idx];  // a row appended before any read
  fetch_rows();
  return cur_ < rows_.size() ? rows_[cur_].values[idx] : Value();
}

void TableCursor::post() {
  require_active();
  if (state_ == State::Browse) return;
  State was = state_;
  state_ = State::Browse;
  if (was == State::Insert) {
    rows_.push_back(std::move(buffer_));
    cur_ = rows_.size() - 1;
    changes_.push_back(Change{cur_, true, set_, {}});
    return;
  }
  if (std::none_of(set_.begin(), set_.end(), [](bool b) { return b; })) return;
  std::vector<Value> before = rows_[cur_].values;
  rows_[cur_].values = std::move(buffer_.values);
  for (auto& ch : changes_) {
    if (ch.row == cur_) {
      for (std::size_t i = 0; i < set_.size(); ++i) ch.set[i] = ch.set[i] || set_[i];
      return;
    }
  }
  changes_.push_back(Change{cur_, false, set_, std::move(before)});
}

void TableCursor::cancel() { state_ = State::Browse; }

std::vector<RefusedRow> TableCursor::apply() {
  require_active();
  ensure_browse();
  std::vector<RefusedRow> refused;
  if (changes_.empty()) return refused;
  std::vector<std::size_t> dropped;  // rows of refused inserts
  con_.run([&](Firebird::ITransaction* tra) {
    for (Change& ch : changes_) {
      Row& row = rows_[ch.row];
      std::string sql;
      std::vector<Value> args;
      if (ch.insert) {
        std::string names, marks;
        for (std::size_t i = 0; i < columns_.size(); ++i) {
          if (!ch.set[i]) continue;
          names += (names.empty() ? "" : ",") + quoted(columns_[i].field);
          marks += marks.empty() ? "?" : ",?";
          args.push_back(row.values[i]);
        }
        sql = names.empty() ? "INSERT INTO " + table_ + " DEFAULT VALUES"
                            : "INSERT INTO " + table_ + " (" + names + ") VALUES (" + marks + ")";
        sql += " RETURNING RDB$DB_KEY";
      } else {
        std::string sets;
        for (std::size_t i = 0; i < columns_.size(); ++i) {
          if (!ch.set[i]) continue;
          sets += (sets.empty() ? "" : ", ") + quoted(columns_[i].field) + " = ?";
          args.push_back(row.values[i]);
        }
        sql = "UPDATE " + table_ + " SET " + sets + " WHERE RDB$DB_KEY = ?";
        args.emplace_back(row.key);
      }
      try {
        auto stmt = con_.prepare(sql);
        auto out = stmt->execute(tra, args);
        if (ch.insert) {
          row.key = out.empty() ? std::string() : out.front().as_text();
        } else if (stmt->affected() != 1) {
          throw DbError("the row is no longer in table " + table_);
        }
      } catch (const LocalDatabaseFailed&) {
        throw;  // not this row's fault: every later row would fail the same way
      } catch (const DbError& e) {
        refused.push_back(RefusedRow{row.values, e.what()});
        if (ch.insert)
          dropped.push_back(ch.row);
        else
          row.values = ch.before;
      }
    }
  });
  changes_.clear();
  std::sort(dropped.rbegin(), dropped.rend());
  for (std::size_t r : dropped) {
    rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(r));
    if (cur_ > r || cur_ >= rows_.size()) cur_ = cur_ > 0 ? cur_ - 1 : 0;
  }
  return refused;
}

}  // namespace pos

#include "headoffice/storage/sqlite_database.h"

#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <string>
#include <vector>

#include "text/ascii.h"

namespace pos::headoffice {
namespace {

constexpr int kBusyTimeoutMs = 30000;

bool only_blanks_and_semicolons(const char* p) {
  for (; *p; ++p) {
    if (!std::isspace(static_cast<unsigned char>(*p)) && *p != ';') return false;
  }
  return true;
}

class Statement {
 public:
  Statement(sqlite3* db, std::string_view sql) : db_(db) {
    const char* tail = nullptr;
    if (sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &stmt_, &tail) != SQLITE_OK) {
      throw DatabaseError(sqlite3_errmsg(db));
    }
    if (stmt_ == nullptr) throw DatabaseError("empty statement");
    // The tail is not NUL-terminated when `sql` is a view into a larger text.
    const std::string rest(tail, sql.data() + sql.size() - tail);
    if (!only_blanks_and_semicolons(rest.c_str())) {
      sqlite3_finalize(stmt_);
      throw DatabaseError("only one statement is allowed here");
    }
  }
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  void bind(std::span<const Value> params) {
    if (static_cast<int>(params.size()) != sqlite3_bind_parameter_count(stmt_)) {
      throw DatabaseError("statement expects " + std::to_string(sqlite3_bind_parameter_count(stmt_)) +
                          " parameters, got " + std::to_string(params.size()));
    }
    for (std::size_t i = 0; i < params.size(); ++i) bind_one(static_cast<int>(i) + 1, params[i]);
  }

  void bind_one(int index, const Value& v) {
    int rc;
    if (v.is_null()) {
      rc = sqlite3_bind_null(stmt_, index);
    } else if (v.is_integer()) {
      rc = sqlite3_bind_int64(stmt_, index, v.integer());
    } else if (v.is_float()) {
      rc = sqlite3_bind_double(stmt_, index, v.number());
    } else {
      rc = sqlite3_bind_text(stmt_, index, v.text().data(), static_cast<int>(v.text().size()), SQLITE_TRANSIENT);
    }
    if (rc != SQLITE_OK) throw DatabaseError(sqlite3_errmsg(db_));
  }

  // True while a row is available.
  bool step() {
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    throw DatabaseError(sqlite3_errmsg(db_));
  }

  void reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
  }

  int column_count() const { return sqlite3_column_count(stmt_); }

  Value value(int col) const {
    switch (sqlite3_column_type(stmt_, col)) {
      case SQLITE_INTEGER:
        return Value(static_cast<std::int64_t>(sqlite3_column_int64(stmt_, col)));
      case SQLITE_FLOAT:
        return Value(sqlite3_column_double(stmt_, col));
      case SQLITE_NULL:
        return Value();
      default: {
        const auto* p = static_cast<const char*>(sqlite3_column_blob(stmt_, col));
        const int n = sqlite3_column_bytes(stmt_, col);
        return Value(std::string(p ? p : "", static_cast<std::size_t>(n)));
      }
    }
  }

  sqlite3_stmt* get() const { return stmt_; }

 private:
  sqlite3* db_;
  sqlite3_stmt* stmt_ = nullptr;
};

class SqliteBulkInsert : public BulkInsert {
 public:
  SqliteBulkInsert(sqlite3* db, const std::string& sql) : stmt_(db, sql) {}
  void add(std::span<const Value> values) override {
    stmt_.bind(values);
    stmt_.step();
    stmt_.reset();
  }
  void finish() override {}

 private:
  Statement stmt_;
};

class SqliteConnection : public Connection {
 public:
  SqliteConnection(const std::string& path, std::chrono::milliseconds limit) : limit_(limit) {
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
    if (sqlite3_open_v2(path.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
      std::string msg = db_ ? sqlite3_errmsg(db_) : "out of memory";
      sqlite3_close(db_);
      throw DatabaseError("cannot open " + path + ": " + msg);
    }
    sqlite3_busy_timeout(db_, kBusyTimeoutMs);
    sqlite3_extended_result_codes(db_, 1);
    // Double quotes name identifiers only, as in PostgreSQL (never a string literal).
    sqlite3_db_config(db_, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
    sqlite3_db_config(db_, SQLITE_DBCONFIG_DQS_DDL, 0, nullptr);
    exec_plain("PRAGMA journal_mode=WAL");
    exec_plain("PRAGMA synchronous=NORMAL");
    sqlite3_progress_handler(db_, kProgressSteps, &SqliteConnection::progress, this);
  }
  ~SqliteConnection() override { sqlite3_close_v2(db_); }

  Backend backend() const override { return Backend::Sqlite; }

  ExecResult execute(std::string_view sql, std::span<const Value> params, RowSink* sink) override {
    deadline_ = limit_.count() > 0 ? Clock::now() + limit_ : Clock::time_point::max();
    overdue_ = false;
    try {
      return run(sql, params, sink);
    } catch (const DatabaseError&) {
      if (cancelled_) throw DatabaseError("statement cancelled: the service is stopping");
      if (overdue_)
        throw DatabaseError("statement cancelled: it ran longer than the limit of " +
                            std::to_string(limit_.count() / 1000.0).substr(0, 5) + " s");
      throw;
    }
  }

  void cancel() override {
    cancelled_ = true;
    sqlite3_interrupt(db_);
  }

  void reset_session() override { rollback(); }

  // IMMEDIATE takes the write lock up front, so two writers never deadlock on an upgrade.
  void begin() override { exec_plain("BEGIN IMMEDIATE"); }
  void commit() override { exec_plain("COMMIT"); }
  void rollback() override {
    if (!sqlite3_get_autocommit(db_)) exec_plain("ROLLBACK");
  }

  std::unique_ptr<BulkInsert> bulk_insert(std::string_view table, std::span<const std::string> columns) override {
    std::string sql = "INSERT INTO " + std::string(table) + " (";
    std::string marks;
    for (std::size_t i = 0; i < columns.size(); ++i) {
      sql += (i ? "," : "") + columns[i];
      marks += i ? ",?" : "?";
    }
    sql += ") VALUES (" + marks + ")";
    return std::make_unique<SqliteBulkInsert>(db_, sql);
  }

 private:
  using Clock = std::chrono::steady_clock;
  // Virtual-machine steps between looks at the clock: a few microseconds of work.
  static constexpr int kProgressSteps = 1000;

  // Called by SQLite while a statement runs; non-zero ends the statement with SQLITE_INTERRUPT.
  static int progress(void* self) {
    auto& c = *static_cast<SqliteConnection*>(self);
    if (c.cancelled_) return 1;
    c.overdue_ = Clock::now() > c.deadline_;
    return c.overdue_ ? 1 : 0;
  }

  ExecResult run(std::string_view sql, std::span<const Value> params, RowSink* sink) {
    Statement st(db_, sql);
    st.bind(params);
    ExecResult result;
    const int n = st.column_count();
    if (n == 0) {
      while (st.step()) {
      }
      result.count = sqlite3_changes64(db_);
      return result;
    }
    result.has_rows = true;
    if (sink) {
      std::vector<ColumnInfo> cols;
      cols.reserve(n);
      for (int i = 0; i < n; ++i) {
        cols.push_back(sqlite_column_info(sqlite3_column_name(st.get(), i), sqlite3_column_decltype(st.get(), i)));
      }
      sink->columns(std::move(cols));
    }
    std::vector<Value> row(n);
    while (st.step()) {
      ++result.count;
      if (!sink) continue;
      for (int i = 0; i < n; ++i) row[i] = st.value(i);
      sink->row(row);
    }
    return result;
  }

  void exec_plain(const char* sql) {
    char* err = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &err) != SQLITE_OK) {
      std::string msg = err ? err : sqlite3_errmsg(db_);
      sqlite3_free(err);
      throw DatabaseError(msg);
    }
  }

  sqlite3* db_ = nullptr;
  const std::chrono::milliseconds limit_;
  Clock::time_point deadline_ = Clock::time_point::max();
  bool overdue_ = false;
  std::atomic<bool> cancelled_{false};
};

class SqliteDatabase : public Database {
 public:
  explicit SqliteDatabase(std::string path) : path_(std::move(path)) {}
  Backend backend() const override { return Backend::Sqlite; }
  std::unique_ptr<Connection> connect() override {
    return std::make_unique<SqliteConnection>(path_, statement_timeout());
  }

 private:
  std::string path_;
};

}  // namespace

ColumnInfo sqlite_column_info(std::string name, const char* declared_type) {
  ColumnInfo info{std::move(name), ColumnKind::Unknown, 0};
  if (declared_type == nullptr) return info;
  const std::string t = ascii_upper(declared_type);
  auto has = [&](const char* s) { return t.find(s) != std::string::npos; };
  // The same order of tests as SQLite's own type affinity.
  if (has("INT")) {
    info.kind = has("BIGINT") || has("INT8") ? ColumnKind::BigInteger : ColumnKind::Integer;
  } else if (has("CHAR") || has("CLOB") || has("TEXT")) {
    info.kind = ColumnKind::Text;
    if (auto open = t.find('('); open != std::string::npos) {
      info.width = std::atoi(t.c_str() + open + 1);
    }
  } else if (has("REAL") || has("FLOA") || has("DOUB") || has("NUMERIC") || has("DECIMAL")) {
    info.kind = ColumnKind::Float;
  } else if (has("TIME") || has("DATE")) {
    info.kind = ColumnKind::Text;  // CURRENT_TIMESTAMP and the like write text
  }
  return info;
}

std::unique_ptr<Database> open_sqlite(std::string path) {
  if (path.empty()) throw DatabaseError("sqlite: needs a file path");
  auto db = std::make_unique<SqliteDatabase>(std::move(path));
  db->connect();  // fails early on a path that cannot be opened
  return db;
}

}  // namespace pos::headoffice

#include "headoffice/storage/postgres_database.h"

#include <libpq-fe.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace pos::headoffice {
namespace {

// Type oids of the built-in types we read (pg_type.h is a server header).
constexpr Oid kBoolOid = 16;
constexpr Oid kInt8Oid = 20;
constexpr Oid kInt2Oid = 21;
constexpr Oid kInt4Oid = 23;
constexpr Oid kOidOid = 26;
constexpr Oid kFloat4Oid = 700;
constexpr Oid kFloat8Oid = 701;
constexpr Oid kBpcharOid = 1042;
constexpr Oid kVarcharOid = 1043;
constexpr Oid kNumericOid = 1700;

using ResultPtr = std::unique_ptr<PGresult, decltype(&PQclear)>;

std::string error_of(const PGresult* res, PGconn* conn) {
  if (res) {
    if (const char* primary = PQresultErrorField(res, PG_DIAG_MESSAGE_PRIMARY)) return primary;
    std::string msg = PQresultErrorMessage(res);
    if (!msg.empty()) return msg;
  }
  std::string msg = PQerrorMessage(conn);
  while (!msg.empty() && (msg.back() == '\n' || msg.back() == ' ')) msg.pop_back();
  return msg.empty() ? "unknown PostgreSQL error" : msg;
}

ColumnInfo column_info(const PGresult* res, int col) {
  ColumnInfo info{PQfname(res, col), ColumnKind::Unknown, 0};
  switch (PQftype(res, col)) {
    case kInt2Oid:
    case kInt4Oid:
    case kBoolOid:
      info.kind = ColumnKind::Integer;
      break;
    case kInt8Oid:
    case kOidOid:
      info.kind = ColumnKind::BigInteger;
      break;
    case kFloat4Oid:
    case kFloat8Oid:
    case kNumericOid:
      info.kind = ColumnKind::Float;
      break;
    case kBpcharOid:
    case kVarcharOid:
      info.kind = ColumnKind::Text;
      if (const int mod = PQfmod(res, col); mod > 4) info.width = mod - 4;
      break;
    default:
      // text and anything else reads as text of undeclared width
      info.kind = ColumnKind::Text;
      break;
  }
  return info;
}

Value read_value(const PGresult* res, int row, int col, ColumnKind kind, Oid type) {
  if (PQgetisnull(res, row, col)) return Value();
  const char* s = PQgetvalue(res, row, col);
  if (type == kBoolOid) return Value(s[0] == 't' ? 1 : 0);
  switch (kind) {
    case ColumnKind::Integer:
    case ColumnKind::BigInteger:
      return Value(static_cast<std::int64_t>(std::strtoll(s, nullptr, 10)));
    case ColumnKind::Float:
      return Value(std::strtod(s, nullptr));
    default:
      return Value(std::string(s, static_cast<std::size_t>(PQgetlength(res, row, col))));
  }
}

std::string param_text(const Value& v) {
  if (v.is_float()) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.17g", v.number());
    return buf;
  }
  return v.as_text();
}

// COPY text format: backslash escapes for the few bytes that would end a field or a row.
void append_copy_field(std::string& out, const Value& v) {
  if (v.is_null()) {
    out += "\\N";
    return;
  }
  for (char c : param_text(v)) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        out += c;
    }
  }
}

// Rows are gathered in COPY text form and sent when the table is finished, so several tables
// can be filled side by side on one connection (a connection runs one COPY at a time).
class PgBulkInsert : public BulkInsert {
 public:
  PgBulkInsert(PGconn* conn, std::string sql) : conn_(conn), sql_(std::move(sql)) {}

  void add(std::span<const Value> values) override {
    for (std::size_t i = 0; i < values.size(); ++i) {
      if (i) buffer_ += '\t';
      append_copy_field(buffer_, values[i]);
    }
    buffer_ += '\n';
  }

  void finish() override {
    ResultPtr res(PQexec(conn_, sql_.c_str()), &PQclear);
    if (PQresultStatus(res.get()) != PGRES_COPY_IN) throw DatabaseError(error_of(res.get(), conn_));
    constexpr std::size_t kChunk = 1u << 20;
    bool sent = true;
    for (std::size_t at = 0; at < buffer_.size() && sent; at += kChunk) {
      const std::size_t n = std::min(kChunk, buffer_.size() - at);
      sent = PQputCopyData(conn_, buffer_.data() + at, static_cast<int>(n)) == 1;
    }
    std::string error = sent ? "" : PQerrorMessage(conn_);
    PQputCopyEnd(conn_, sent ? nullptr : "abandoned");
    while (PGresult* r = PQgetResult(conn_)) {
      if (PQresultStatus(r) != PGRES_COMMAND_OK && error.empty()) error = error_of(r, conn_);
      PQclear(r);
    }
    buffer_.clear();
    if (!error.empty()) throw DatabaseError(error);
  }

 private:
  PGconn* conn_;
  std::string sql_;
  std::string buffer_;
};

// The connection's parameters: `conninfo`'s own, with the encoding and our session settings
// added as start-up options, so that they are the session's defaults, which a reset returns to.
// Times read and written in UTC.
class StartupParameters {
 public:
  StartupParameters(const std::string& conninfo, std::chrono::milliseconds statement_timeout) {
    char* error = nullptr;
    PQconninfoOption* parsed = PQconninfoParse(conninfo.c_str(), &error);
    if (parsed == nullptr) {
      const std::string why = error ? error : "out of memory";
      PQfreemem(error);
      throw DatabaseError("cannot read the PostgreSQL connection string: " + why);
    }
    std::string options;
    for (const PQconninfoOption* o = parsed; o->keyword; ++o) {
      if (o->val == nullptr) continue;
      if (std::string_view(o->keyword) == "options")
        options = o->val;
      else if (std::string_view(o->keyword) != "client_encoding")
        add(o->keyword, o->val);
    }
    PQconninfoFree(parsed);
    // Quoted values as the SQL standard reads them (a backslash is an ordinary character), as the
    // service's statement admission reads them too.
    options += " -c client_min_messages=warning -c TimeZone=UTC -c standard_conforming_strings=on";
    if (statement_timeout.count() > 0) options += " -c statement_timeout=" + std::to_string(statement_timeout.count());
    add("options", options);
    add("client_encoding", "UTF8");
  }
  const char* const* keywords() {
    finish();
    return keyword_ptrs_.data();
  }
  const char* const* values() {
    finish();
    return value_ptrs_.data();
  }

 private:
  void add(std::string k, std::string v) {
    keywords_.push_back(std::move(k));
    values_.push_back(std::move(v));
  }
  void finish() {
    if (!keyword_ptrs_.empty()) return;
    for (std::size_t i = 0; i < keywords_.size(); ++i) {
      keyword_ptrs_.push_back(keywords_[i].c_str());
      value_ptrs_.push_back(values_[i].c_str());
    }
    keyword_ptrs_.push_back(nullptr);
    value_ptrs_.push_back(nullptr);
  }
  std::vector<std::string> keywords_, values_;
  std::vector<const char*> keyword_ptrs_, value_ptrs_;
};

class PgConnection : public Connection {
 public:
  PgConnection(const std::string& conninfo, std::chrono::milliseconds statement_timeout) {
    StartupParameters parameters(conninfo, statement_timeout);
    conn_ = PQconnectdbParams(parameters.keywords(), parameters.values(), 0);
    if (conn_ == nullptr) throw DatabaseError("PostgreSQL: out of memory");
    if (PQstatus(conn_) != CONNECTION_OK) {
      std::string msg = error_of(nullptr, conn_);
      PQfinish(conn_);
      throw DatabaseError("cannot connect to PostgreSQL: " + msg);
    }
    cancel_ = PQgetCancel(conn_);
  }
  ~PgConnection() override {
    PQfreeCancel(cancel_);
    PQfinish(conn_);
  }

  Backend backend() const override { return Backend::Postgres; }
  bool healthy() const override { return PQstatus(conn_) == CONNECTION_OK; }

  ExecResult execute(std::string_view sql, std::span<const Value> params, RowSink* sink) override {
    const std::string text = params.empty() ? std::string(sql) : numbered_parameters(sql);
    std::vector<std::string> texts;
    std::vector<const char*> values;
    texts.reserve(params.size());
    for (const Value& v : params) texts.push_back(param_text(v));
    for (std::size_t i = 0; i < params.size(); ++i) {
      values.push_back(params[i].is_null() ? nullptr : texts[i].c_str());
    }
    // The extended protocol runs exactly one statement, never a list.
    if (cancelled_) throw DatabaseError("statement cancelled: the service is stopping");
    ResultPtr res(
        PQexecParams(conn_, text.c_str(), static_cast<int>(values.size()), nullptr, values.data(), nullptr, nullptr, 0),
        &PQclear);
    ExecResult result;
    switch (PQresultStatus(res.get())) {
      case PGRES_COMMAND_OK:
        result.count = std::atoll(PQcmdTuples(res.get()));
        return result;
      case PGRES_TUPLES_OK:
        break;
      case PGRES_EMPTY_QUERY:
        throw DatabaseError("empty statement");
      default:
        throw DatabaseError(error_of(res.get(), conn_));
    }
    result.has_rows = true;
    const int rows = PQntuples(res.get());
    const int n = PQnfields(res.get());
    result.count = rows;
    if (!sink) return result;
    std::vector<ColumnInfo> cols;
    std::vector<Oid> types;
    for (int i = 0; i < n; ++i) {
      cols.push_back(column_info(res.get(), i));
      types.push_back(PQftype(res.get(), i));
    }
    std::vector<ColumnKind> kinds;
    for (const auto& c : cols) kinds.push_back(c.kind);
    sink->columns(std::move(cols));
    std::vector<Value> row(n);
    for (int r = 0; r < rows; ++r) {
      for (int i = 0; i < n; ++i) row[i] = read_value(res.get(), r, i, kinds[i], types[i]);
      sink->row(row);
    }
    return result;
  }

  void cancel() override {
    cancelled_ = true;
    char why[256];
    if (cancel_) PQcancel(cancel_, why, sizeof why);
  }

  // DISCARD ALL: settings back to the session's defaults, locks, prepared statements and
  // temporary tables gone.
  void reset_session() override {
    rollback();
    plain("DISCARD ALL");
  }

  void begin() override { plain("BEGIN"); }
  void commit() override { plain("COMMIT"); }
  void rollback() override {
    if (PQtransactionStatus(conn_) != PQTRANS_IDLE) plain("ROLLBACK");
  }

  std::unique_ptr<BulkInsert> bulk_insert(std::string_view table, std::span<const std::string> columns) override {
    std::string sql = "COPY " + std::string(table) + " (";
    for (std::size_t i = 0; i < columns.size(); ++i) sql += (i ? "," : "") + columns[i];
    sql += ") FROM STDIN";
    return std::make_unique<PgBulkInsert>(conn_, sql);
  }

 private:
  void plain(const char* sql) {
    ResultPtr res(PQexec(conn_, sql), &PQclear);
    if (PQresultStatus(res.get()) != PGRES_COMMAND_OK) throw DatabaseError(error_of(res.get(), conn_));
  }

  PGconn* conn_ = nullptr;
  PGcancel* cancel_ = nullptr;
  std::atomic<bool> cancelled_{false};
};

class PgDatabase : public Database {
 public:
  explicit PgDatabase(std::string conninfo) : conninfo_(std::move(conninfo)) {}
  Backend backend() const override { return Backend::Postgres; }
  std::unique_ptr<Connection> connect() override {
    return std::make_unique<PgConnection>(conninfo_, statement_timeout());
  }

 private:
  std::string conninfo_;
};

}  // namespace

std::string numbered_parameters(std::string_view sql) {
  std::string out;
  out.reserve(sql.size() + 16);
  int n = 0;
  char quote = 0;
  for (char c : sql) {
    if (quote) {
      if (c == quote) quote = 0;
      out += c;
    } else if (c == '\'' || c == '"') {
      quote = c;
      out += c;
    } else if (c == '?') {
      out += '$' + std::to_string(++n);
    } else {
      out += c;
    }
  }
  return out;
}

std::unique_ptr<Database> open_postgres(std::string conninfo) {
  auto db = std::make_unique<PgDatabase>(std::move(conninfo));
  db->connect();  // fails early when the server cannot be reached
  return db;
}

}  // namespace pos::headoffice

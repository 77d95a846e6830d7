#include "localdb/prepared_statement.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "localdb/errors.h"
#include "localdb/firebird_api.h"
#include "text/big5.h"

using namespace Firebird;

namespace pos {

namespace {

ColumnKind kind_of(unsigned type, int scale, unsigned charset, const std::string& field) {
  switch (type) {
    case SQL_TEXT:
    case SQL_VARYING:
      return (charset == 1 && field == "DB_KEY") ? ColumnKind::DbKey : ColumnKind::Text;
    case SQL_SHORT:
    case SQL_LONG:
    case SQL_INT64:
      return scale == 0 ? ColumnKind::Integer : ColumnKind::Scaled;
    case SQL_FLOAT:
    case SQL_DOUBLE:
    case SQL_D_FLOAT:
      return ColumnKind::Float;
    case SQL_TYPE_DATE:
      return ColumnKind::Date;
    case SQL_TYPE_TIME:
      return ColumnKind::Time;
    case SQL_TIMESTAMP:
      return ColumnKind::Timestamp;
    case SQL_BOOLEAN:
      return ColumnKind::Boolean;
    case SQL_BLOB:
      return ColumnKind::Blob;
    default:
      return ColumnKind::Other;
  }
}

std::vector<ColumnInfo> describe(IMessageMetadata* meta, ThrowStatusWrapper* st) {
  std::vector<ColumnInfo> out;
  unsigned n = meta->getCount(st);
  out.reserve(n);
  for (unsigned i = 0; i < n; ++i) {
    ColumnInfo c;
    c.sql_type = meta->getType(st, i) & ~1u;
    c.sub_type = static_cast<unsigned>(meta->getSubType(st, i));
    c.length = meta->getLength(st, i);
    c.scale = meta->getScale(st, i);
    c.nullable = meta->isNullable(st, i);
    c.field = meta->getField(st, i);
    c.relation = meta->getRelation(st, i);
    c.name = meta->getAlias(st, i);
    if (c.name.empty()) c.name = c.field;
    c.kind = kind_of(c.sql_type, c.scale, meta->getCharSet(st, i), c.field);
    out.push_back(std::move(c));
  }
  return out;
}

std::int64_t pow10i(int n) {
  std::int64_t r = 1;
  while (n-- > 0) r *= 10;
  return r;
}

std::string two(unsigned v) {
  char b[8];
  std::snprintf(b, sizeof b, "%02u", v % 100);
  return b;
}

std::string read_blob(IAttachment* att, ITransaction* tra, ISC_QUAD id, ThrowStatusWrapper* st) {
  IBlob* blob = att->openBlob(st, tra, &id, 0, nullptr);
  std::string out;
  char chunk[16384];
  try {
    for (;;) {
      unsigned got = 0;
      int rc = blob->getSegment(st, sizeof chunk, chunk, &got);
      if (rc == IStatus::RESULT_OK || rc == IStatus::RESULT_SEGMENT)
        out.append(chunk, got);
      else
        break;
    }
    blob->close(st);
  } catch (...) {
    blob->release();
    throw;
  }
  return out;
}

ISC_QUAD write_blob(IAttachment* att, ITransaction* tra, const std::string& data, ThrowStatusWrapper* st) {
  ISC_QUAD id{};
  IBlob* blob = att->createBlob(st, tra, &id, 0, nullptr);
  try {
    for (std::size_t at = 0; at < data.size(); at += 32768) {
      std::size_t len = std::min<std::size_t>(32768, data.size() - at);
      blob->putSegment(st, static_cast<unsigned>(len), data.data() + at);
    }
    blob->close(st);
  } catch (...) {
    blob->release();
    throw;
  }
  return id;
}

}  // namespace

// How one parameter travels in the input message.
struct Slot {
  unsigned type = 0, length = 0, charset = 0, sub_type = 0;
  int scale = 0;
  bool operator==(const Slot&) const = default;
};

struct PreparedStatement::Input {
  std::vector<Slot> sig;
  IMessageMetadata* meta = nullptr;
  std::vector<unsigned> offsets, null_offsets;
  std::vector<unsigned char> buf;
  ~Input() {
    if (meta) meta->release();
  }
};

PreparedStatement::PreparedStatement(IAttachment* att, ITransaction* tra, const std::string& sql)
    : sql_(sql), att_(att), input_(std::make_unique<Input>()) {
  fb::Status st;
  try {
    stmt_ = att->prepare(&st, tra, 0, sql.c_str(), 3, IStatement::PREPARE_PREFETCH_METADATA);
    type_ = stmt_->getType(&st);
    in_meta_ = stmt_->getInputMetadata(&st);
    out_meta_ = stmt_->getOutputMetadata(&st);
    params_ = describe(in_meta_, &st);
    columns_ = describe(out_meta_, &st);
    for (unsigned i = 0; i < columns_.size(); ++i) {
      out_offsets_.push_back(out_meta_->getOffset(&st, i));
      out_null_offsets_.push_back(out_meta_->getNullOffset(&st, i));
    }
    out_length_ = out_meta_->getMessageLength(&st);
  } catch (const FbException& e) {
    if (in_meta_) in_meta_->release();
    if (out_meta_) out_meta_->release();
    if (stmt_) stmt_->release();
    fb::raise(e);
  }
}

PreparedStatement::~PreparedStatement() {
  input_.reset();
  if (in_meta_) in_meta_->release();
  if (out_meta_) out_meta_->release();
  if (stmt_) {
    fb::Status st;
    try {
      stmt_->free(&st);
    } catch (const FbException&) {
      stmt_->release();
    }
  }
}

bool PreparedStatement::is_select() const {
  return type_ == isc_info_sql_stmt_select || type_ == isc_info_sql_stmt_select_for_upd;
}

bool PreparedStatement::is_ddl() const { return type_ == isc_info_sql_stmt_ddl; }

void PreparedStatement::bind(ITransaction* tra, std::span<const Value> args) {
  if (args.size() != params_.size())
    throw DbError("statement takes " + std::to_string(params_.size()) + " parameters, " + std::to_string(args.size()) +
                  " given: " + sql_);
  fb::Status st;
  Input& in = *input_;
  // Choose how each value travels; the engine converts it to the parameter's own type.
  std::vector<Slot> sig(params_.size());
  std::vector<std::string> texts(params_.size());
  for (std::size_t i = 0; i < params_.size(); ++i) {
    const ColumnInfo& p = params_[i];
    const Value& v = args[i];
    Slot described{p.sql_type, p.length, 0, p.sub_type, p.scale};
    if (p.kind == ColumnKind::Text || p.kind == ColumnKind::DbKey)
      described.charset = in_meta_->getCharSet(&st, static_cast<unsigned>(i));
    if (v.is_null()) {
      sig[i] = described;
    } else if (p.kind == ColumnKind::Blob) {
      sig[i] = described;
      texts[i] = v.as_text();
    } else if (v.is_integer() && p.kind != ColumnKind::Text) {
      sig[i] = Slot{SQL_INT64, 8, 0, 0, 0};
    } else if (v.is_float() && p.kind != ColumnKind::Text) {
      sig[i] = Slot{SQL_DOUBLE, 8, 0, 0, 0};
    } else {
      std::string t = v.as_text();
      if (p.kind == ColumnKind::Text) {
        // The engine would cut an over-long text silently, maybe inside a character: cut it here.
        t.resize(big5_fit(t, p.length));
        sig[i] = Slot{SQL_VARYING, p.length, described.charset, 0, 0};
      } else if (p.kind == ColumnKind::DbKey) {
        if (t.size() > p.length) t.resize(p.length);
        sig[i] = Slot{SQL_VARYING, p.length, described.charset, 0, 0};
      } else {
        sig[i] = Slot{SQL_VARYING, std::max<unsigned>(255, static_cast<unsigned>(t.size())), 0, 0, 0};
      }
      texts[i] = std::move(t);
    }
  }
  try {
    if (!in.meta || sig != in.sig) {
      IMetadataBuilder* b = in_meta_->getBuilder(&st);
      try {
        for (unsigned i = 0; i < sig.size(); ++i) {
          b->setType(&st, i, sig[i].type);
          b->setSubType(&st, i, static_cast<int>(sig[i].sub_type));
          b->setLength(&st, i, sig[i].length);
          b->setScale(&st, i, sig[i].scale);
          b->setCharSet(&st, i, sig[i].charset);
        }
        IMessageMetadata* m = b->getMetadata(&st);
        b->release();
        if (in.meta) in.meta->release();
        in.meta = m;
      } catch (...) {
        b->release();
        throw;
      }
      in.sig = sig;
      in.offsets.clear();
      in.null_offsets.clear();
      for (unsigned i = 0; i < sig.size(); ++i) {
        in.offsets.push_back(in.meta->getOffset(&st, i));
        in.null_offsets.push_back(in.meta->getNullOffset(&st, i));
      }
      in.buf.assign(in.meta->getMessageLength(&st), 0);
    }
    unsigned char* buf = in.buf.data();
    for (std::size_t i = 0; i < sig.size(); ++i) {
      const Value& v = args[i];
      auto* null_flag = reinterpret_cast<short*>(buf + in.null_offsets[i]);
      unsigned char* at = buf + in.offsets[i];
      *null_flag = v.is_null() ? -1 : 0;
      if (v.is_null()) continue;
      switch (sig[i].type) {
        case SQL_INT64: {
          std::int64_t n = v.integer();
          std::memcpy(at, &n, 8);
          break;
        }
        case SQL_DOUBLE: {
          double d = v.number();
          std::memcpy(at, &d, 8);
          break;
        }
        case SQL_VARYING: {
          const std::string& t = texts[i];
          auto len = static_cast<unsigned short>(t.size());
          std::memcpy(at, &len, 2);
          std::memcpy(at + 2, t.data(), t.size());
          break;
        }
        case SQL_BLOB: {
          ISC_QUAD id = write_blob(att_, tra, texts[i], &st);
          std::memcpy(at, &id, sizeof id);
          break;
        }
        default:
          throw DbError("cannot bind a value to parameter " + std::to_string(i + 1) + " of: " + sql_);
      }
    }
  } catch (const FbException& e) {
    in.sig.clear();
    fb::raise(e);
  }
}

std::vector<Value> PreparedStatement::execute(ITransaction* tra, std::span<const Value> args) {
  bind(tra, args);
  fb::Status st;
  std::vector<Value> row;
  try {
    if (!columns_.empty() && !is_select()) {
      std::vector<unsigned char> out(out_length_);
      stmt_->execute(&st, tra, input_->meta, input_->buf.data(), out_meta_, out.data());
      decode(tra, out.data(), row);
    } else {
      stmt_->execute(&st, tra, input_->meta, input_->buf.data(), nullptr, nullptr);
    }
  } catch (const FbException& e) {
    fb::raise(e);
  }
  return row;
}

std::uint64_t PreparedStatement::affected() {
  fb::Status st;
  try {
    return stmt_->getAffectedRecords(&st);
  } catch (const FbException& e) {
    fb::raise(e);
  }
}

std::unique_ptr<RowReader> PreparedStatement::open(ITransaction* tra, std::span<const Value> args) {
  bind(tra, args);
  fb::Status st;
  try {
    IResultSet* rs = stmt_->openCursor(&st, tra, input_->meta, input_->buf.data(), out_meta_, 0);
    return std::make_unique<RowReader>(*this, tra, rs);
  } catch (const FbException& e) {
    fb::raise(e);
  }
}

void PreparedStatement::decode(ITransaction* tra, const unsigned char* buf, std::vector<Value>& row) {
  row.resize(columns_.size());
  fb::Status st;
  for (std::size_t i = 0; i < columns_.size(); ++i) {
    const ColumnInfo& c = columns_[i];
    const unsigned char* at = buf + out_offsets_[i];
    if (*reinterpret_cast<const short*>(buf + out_null_offsets_[i])) {
      row[i] = Value();
      continue;
    }
    switch (c.sql_type) {
      case SQL_TEXT:
        row[i] = Value(std::string(reinterpret_cast<const char*>(at), c.length));
        break;
      case SQL_VARYING: {
        unsigned short len;
        std::memcpy(&len, at, 2);
        row[i] = Value(std::string(reinterpret_cast<const char*>(at + 2), len));
        break;
      }
      case SQL_SHORT:
      case SQL_LONG:
      case SQL_INT64: {
        std::int64_t n = 0;
        if (c.sql_type == SQL_SHORT) {
          std::int16_t s;
          std::memcpy(&s, at, 2);
          n = s;
        } else if (c.sql_type == SQL_LONG) {
          std::int32_t l;
          std::memcpy(&l, at, 4);
          n = l;
        } else {
          std::memcpy(&n, at, 8);
        }
        if (c.scale == 0)
          row[i] = Value(n);
        else if (c.scale < 0)
          row[i] = Value(static_cast<double>(n) / static_cast<double>(pow10i(-c.scale)));
        else
          row[i] = Value(n * pow10i(c.scale));
        break;
      }
      case SQL_FLOAT: {
        float f;
        std::memcpy(&f, at, 4);
        row[i] = Value(static_cast<double>(f));
        break;
      }
      case SQL_DOUBLE:
      case SQL_D_FLOAT: {
        double d;
        std::memcpy(&d, at, 8);
        row[i] = Value(d);
        break;
      }
      case SQL_BOOLEAN:
        row[i] = Value(static_cast<std::int64_t>(*at ? 1 : 0));
        break;
      case SQL_TYPE_DATE:
      case SQL_TIMESTAMP:
      case SQL_TYPE_TIME: {
        std::string text;
        unsigned y, m, d, h, mi, s, frac;
        if (c.sql_type != SQL_TYPE_TIME) {
          ISC_DATE date;
          std::memcpy(&date, at, sizeof date);
          fb::util()->decodeDate(date, &y, &m, &d);
          text = std::to_string(y) + "/" + two(m) + "/" + two(d);
        }
        if (c.sql_type != SQL_TYPE_DATE) {
          ISC_TIME time;
          std::memcpy(&time, at + (c.sql_type == SQL_TIMESTAMP ? sizeof(ISC_DATE) : 0), sizeof time);
          fb::util()->decodeTime(time, &h, &mi, &s, &frac);
          if (!text.empty()) text += ' ';
          text += two(h) + ":" + two(mi) + ":" + two(s);
        }
        row[i] = Value(std::move(text));
        break;
      }
      case SQL_BLOB: {
        ISC_QUAD id;
        std::memcpy(&id, at, sizeof id);
        try {
          row[i] = Value(read_blob(att_, tra, id, &st));
        } catch (const FbException& e) {
          fb::raise(e, "reading " + c.name);
        }
        break;
      }
      default:
        throw DbError("column " + c.name + " has a type this program does not read (" + std::to_string(c.sql_type) +
                      ")");
    }
  }
}

RowReader::RowReader(PreparedStatement& stmt, ITransaction* tra, IResultSet* rs)
    : stmt_(stmt), tra_(tra), rs_(rs), buf_(stmt.out_length_) {}

RowReader::~RowReader() {
  fb::Status st;
  try {
    rs_->close(&st);
  } catch (const FbException&) {
    rs_->release();
  }
}

bool RowReader::fetch(std::vector<Value>& row) {
  fb::Status st;
  try {
    if (rs_->fetchNext(&st, buf_.data()) != IStatus::RESULT_OK) return false;
  } catch (const FbException& e) {
    fb::raise(e);
  }
  stmt_.decode(tra_, buf_.data(), row);
  return true;
}

}  // namespace pos

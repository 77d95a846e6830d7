#include "localdb/connection.h"

#include <string_view>

#include "localdb/errors.h"
#include "localdb/firebird_api.h"

using namespace Firebird;

namespace pos {

namespace {

constexpr std::size_t kCachedStatements = 128;

std::vector<unsigned char> make_dpb(const ConnectionParams& p, bool creating) {
  fb::Status st;
  IXpbBuilder* b = fb::util()->getXpbBuilder(&st, IXpbBuilder::DPB, nullptr, 0);
  b->insertString(&st, isc_dpb_user_name, p.user.c_str());
  b->insertString(&st, isc_dpb_password, p.password.c_str());
  b->insertInt(&st, isc_dpb_sql_dialect, p.dialect);
  b->insertString(&st, isc_dpb_lc_ctype, p.charset.c_str());
  if (creating) b->insertInt(&st, isc_dpb_page_size, 8192);
  // Pages reach the disk in order, so a kill or a power cut leaves a sound database.
  if (creating) b->insertInt(&st, isc_dpb_force_write, 1);
  // A plain path must never fall back to a server connection.
  if (is_embedded_path(p.database)) b->insertString(&st, isc_dpb_config, "Providers=Engine12");
  const unsigned char* buf = b->getBuffer(&st);
  std::vector<unsigned char> out(buf, buf + b->getBufferLength(&st));
  b->dispose();
  return out;
}

}  // namespace

std::string default_local_database(const std::string& terminal_folder) {
  std::string folder = terminal_folder;
  if (!folder.empty() && folder.back() != '/') folder += '/';
  return "127.0.0.1:" + folder + "Data/POS_LOC.GDB";
}

bool is_embedded_path(const std::string& database) {
  const auto colon = database.find(':');
  if (colon == std::string::npos || colon == 0) return true;
  // "host:path" and "host/port:path" go to a server; a path with a colon further on does not.
  const std::string_view host = std::string_view(database).substr(0, colon);
  const auto slash = host.find('/');
  return slash != std::string_view::npos &&
         (slash == 0 || slash + 1 == host.size() || host.find('/', slash + 1) != host.npos);
}

LocalConnection::LocalConnection() = default;

LocalConnection::~LocalConnection() {
  try {
    close();
  } catch (...) {
  }
}

void LocalConnection::open(const ConnectionParams& params) {
  close();
  params_ = params;
  auto dpb = make_dpb(params, false);
  fb::Status st;
  IProvider* prov = fb::master()->getDispatcher();
  try {
    att_ = prov->attachDatabase(&st, params.database.c_str(), static_cast<unsigned>(dpb.size()), dpb.data());
    prov->release();
  } catch (const FbException& e) {
    prov->release();
    fb::raise(e, "cannot open " + params.database);
  }
  if (after_connect) after_connect();
}

void LocalConnection::create_database(const ConnectionParams& params) {
  auto dpb = make_dpb(params, true);
  fb::Status st;
  IProvider* prov = fb::master()->getDispatcher();
  try {
    IAttachment* att =
        prov->createDatabase(&st, params.database.c_str(), static_cast<unsigned>(dpb.size()), dpb.data());
    att->detach(&st);
    prov->release();
  } catch (const FbException& e) {
    prov->release();
    fb::raise(e, "cannot create " + params.database);
  }
}

void LocalConnection::close() {
  if (!att_) return;
  if (tra_) {
    try {
      rollback();
    } catch (...) {
    }
  }
  forget_statements();
  fb::Status st;
  try {
    att_->detach(&st);
  } catch (const FbException&) {
    att_->release();
  }
  att_ = nullptr;
}

void LocalConnection::require_open() const {
  if (!att_) throw DbError("the local database is not open");
}

ITransaction* LocalConnection::start(bool read_only) {
  require_open();
  const unsigned char tpb[] = {isc_tpb_version3, static_cast<unsigned char>(read_only ? isc_tpb_read : isc_tpb_write),
                               isc_tpb_read_committed, isc_tpb_rec_version, isc_tpb_wait};
  fb::Status st;
  try {
    return att_->startTransaction(&st, sizeof tpb, tpb);
  } catch (const FbException& e) {
    fb::raise(e, "cannot start a transaction");
  }
}

void LocalConnection::begin() {
  if (tra_) throw DbError("a transaction is already open");
  tra_ = start(false);
}

void LocalConnection::commit() {
  if (!tra_) throw DbError("no transaction to commit");
  fb::Status st;
  try {
    tra_->commit(&st);
    tra_ = nullptr;
  } catch (const FbException& e) {
    fb::raise(e, "commit failed");
  }
}

void LocalConnection::rollback() {
  if (!tra_) throw DbError("no transaction to roll back");
  fb::Status st;
  ITransaction* t = tra_;
  tra_ = nullptr;
  try {
    t->rollback(&st);
  } catch (const FbException& e) {
    t->release();
    fb::raise(e, "rollback failed");
  }
}

void LocalConnection::savepoint(const std::string& name) {
  if (!tra_) throw DbError("a savepoint needs an open transaction");
  execute("SAVEPOINT " + name);
}

void LocalConnection::rollback_to_savepoint(const std::string& name) {
  if (!tra_) throw DbError("a savepoint needs an open transaction");
  execute("ROLLBACK TO SAVEPOINT " + name);
}

void LocalConnection::release_savepoint(const std::string& name) {
  if (!tra_) throw DbError("a savepoint needs an open transaction");
  execute("RELEASE SAVEPOINT " + name);
}

void LocalConnection::forget_statements() {
  ++schema_version_;
  lru_.clear();
  cache_.clear();
}

std::shared_ptr<PreparedStatement> LocalConnection::prepare(const std::string& sql) {
  require_open();
  if (auto it = cache_.find(sql); it != cache_.end()) {
    lru_.splice(lru_.begin(), lru_, it->second);
    return *it->second;
  }
  std::shared_ptr<PreparedStatement> stmt;
  run([&](ITransaction* t) { stmt = std::make_shared<PreparedStatement>(att_, t, sql); }, true);
  // A statement that changes the schema makes earlier preparations stale; it is not kept either.
  if (stmt->is_ddl()) {
    forget_statements();
    return stmt;
  }
  lru_.push_front(stmt);
  cache_[sql] = lru_.begin();
  if (lru_.size() > kCachedStatements) {
    cache_.erase(lru_.back()->sql());
    lru_.pop_back();
  }
  return stmt;
}

void LocalConnection::run(const std::function<void(ITransaction*)>& work, bool read_only) {
  if (tra_) {
    work(tra_);
    return;
  }
  ITransaction* t = start(read_only);
  try {
    work(t);
  } catch (...) {
    fb::Status st;
    try {
      t->rollback(&st);
    } catch (const FbException&) {
      t->release();
    }
    throw;
  }
  fb::Status st;
  try {
    t->commit(&st);
  } catch (const FbException& e) {
    t->release();
    fb::raise(e, "commit failed");
  }
}

std::vector<Value> LocalConnection::execute(const std::string& sql, std::span<const Value> args) {
  auto stmt = prepare(sql);
  std::vector<Value> out;
  run([&](ITransaction* t) {
    if (stmt->is_select()) {
      auto reader = stmt->open(t, args);
      reader->fetch(out);
    } else {
      out = stmt->execute(t, args);
    }
  });
  if (stmt->is_ddl()) forget_statements();
  return out;
}

std::vector<Value> LocalConnection::whole_keys(const std::string& sql, std::vector<Value> keys) {
  const auto stmt = prepare(sql);
  const auto& params = stmt->params();
  for (std::size_t i = 0; i < keys.size() && i < params.size(); ++i) {
    if (!params[i].is_text() || !keys[i].is_text()) continue;
    const std::string& t = keys[i].text();
    const std::size_t end = t.find_last_not_of(' ');
    if (end != std::string::npos && end + 1 > params[i].length) keys[i] = Value();
  }
  return keys;
}

std::vector<std::vector<Value>> LocalConnection::query(const std::string& sql, std::span<const Value> args) {
  auto stmt = prepare(sql);
  std::vector<std::vector<Value>> rows;
  run(
      [&](ITransaction* t) {
        auto reader = stmt->open(t, args);
        std::vector<Value> row;
        while (reader->fetch(row)) rows.push_back(row);
      },
      !in_transaction());
  return rows;
}

}  // namespace pos

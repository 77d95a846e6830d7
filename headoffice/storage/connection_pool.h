#pragma once
// Connections shared by the request threads: a thread borrows one for a request and gives it
// back. At most `limit` are open at once; a borrower waits while all of them are lent out. A
// connection given back is reset to the state it was opened in, so no request leaves anything
// behind for the next one; one that cannot be reset is closed. Thread-safe.

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

#include "headoffice/storage/database.h"

namespace pos::headoffice {

class ConnectionPool {
 public:
  ConnectionPool(Database& db, std::size_t limit) : db_(db), limit_(limit > 0 ? limit : 1) {}

  class Lease {
   public:
    Lease(ConnectionPool& pool, std::unique_ptr<Connection> c) : pool_(pool), c_(std::move(c)) {}
    ~Lease() { pool_.give_back(std::move(c_)); }
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;
    Connection& operator*() const { return *c_; }
    Connection* operator->() const { return c_.get(); }

   private:
    ConnectionPool& pool_;
    std::unique_ptr<Connection> c_;
  };

  // An idle connection, a new one while fewer than `limit` are open, or the next one given back.
  // Throws DatabaseError once the pool is stopping.
  Lease borrow() {
    {
      std::unique_lock lock(mutex_);
      freed_.wait(lock, [&] { return stopping_ || !idle_.empty() || open_ < limit_; });
      if (stopping_) throw DatabaseError("the service is stopping");
      if (!idle_.empty()) {
        auto c = std::move(idle_.back());
        idle_.pop_back();
        lent_.insert(c.get());
        return Lease(*this, std::move(c));
      }
      ++open_;
    }
    std::unique_ptr<Connection> c;
    try {
      c = db_.connect();
    } catch (...) {
      give_back(nullptr);
      throw;
    }
    std::lock_guard lock(mutex_);
    lent_.insert(c.get());
    if (stopping_) c->cancel();
    return Lease(*this, std::move(c));
  }

  // Cancels the statements of every connection lent out; borrowing fails from now on.
  void stop() {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    for (Connection* c : lent_) c->cancel();
    freed_.notify_all();
  }

  std::size_t open_connections() const {
    std::lock_guard lock(mutex_);
    return open_;
  }

 private:
  // A connection that cannot be reset or is broken (or none) is dropped, which frees its place.
  void give_back(std::unique_ptr<Connection> c) {
    bool reusable = false;
    if (c && c->healthy()) {
      try {
        c->reset_session();
        reusable = c->healthy();
      } catch (const std::exception&) {
        reusable = false;
      }
    }
    {
      std::lock_guard lock(mutex_);
      if (c) lent_.erase(c.get());
      if (reusable && !stopping_) {
        idle_.push_back(std::move(c));
      } else {
        --open_;
      }
    }
    freed_.notify_one();
  }

  Database& db_;
  const std::size_t limit_;
  mutable std::mutex mutex_;
  std::condition_variable freed_;
  std::size_t open_ = 0;
  bool stopping_ = false;
  std::vector<std::unique_ptr<Connection>> idle_;
  std::set<Connection*> lent_;
};

}  // namespace pos::headoffice

#pragma once
// Connections shared by the request threads: a thread borrows one for a request and gives it
// back. At most `limit` are open at once; a borrower waits while all of them are lent out.

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
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
  Lease borrow() {
    {
      std::unique_lock lock(mutex_);
      freed_.wait(lock, [&] { return !idle_.empty() || open_ < limit_; });
      if (!idle_.empty()) {
        auto c = std::move(idle_.back());
        idle_.pop_back();
        return Lease(*this, std::move(c));
      }
      ++open_;
    }
    try {
      return Lease(*this, db_.connect());
    } catch (...) {
      give_back(nullptr);
      throw;
    }
  }

  std::size_t open_connections() const {
    std::lock_guard lock(mutex_);
    return open_;
  }

 private:
  // A broken connection (or none) is dropped, which frees its place for a new one.
  void give_back(std::unique_ptr<Connection> c) {
    {
      std::lock_guard lock(mutex_);
      if (c && c->healthy())
        idle_.push_back(std::move(c));
      else
        --open_;
    }
    freed_.notify_one();
  }

  Database& db_;
  const std::size_t limit_;
  mutable std::mutex mutex_;
  std::condition_variable freed_;
  std::size_t open_ = 0;
  std::vector<std::unique_ptr<Connection>> idle_;
};

}  // namespace pos::headoffice

#pragma once
// Connections shared by the request threads: a thread borrows one for a request and gives it
// back; at most one per concurrent request is ever opened.

#include <memory>
#include <mutex>
#include <vector>

#include "headoffice/database.h"

namespace pos::headoffice {

class ConnectionPool {
 public:
  explicit ConnectionPool(Database& db) : db_(db) {}

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

  Lease borrow() {
    {
      std::lock_guard lock(mutex_);
      if (!idle_.empty()) {
        auto c = std::move(idle_.back());
        idle_.pop_back();
        return Lease(*this, std::move(c));
      }
    }
    return Lease(*this, db_.connect());
  }

 private:
  void give_back(std::unique_ptr<Connection> c) {
    if (!c || !c->healthy()) return;
    std::lock_guard lock(mutex_);
    idle_.push_back(std::move(c));
  }

  Database& db_;
  std::mutex mutex_;
  std::vector<std::unique_ptr<Connection>> idle_;
};

}  // namespace pos::headoffice

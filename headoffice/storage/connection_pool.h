#pragma once
// Connections shared by the request threads: a thread borrows one for a request and gives it
// back. At most `limit` are open at once; a borrower waits while all of them are lent out. A
// borrower may name an owner (a credential): one owner holds at most `per_owner` of them, so that
// no one client can take them all; its further borrowers wait a little for one of its own to come
// back, then fail with PoolBusy. A connection given back is reset to the state it was opened in,
// so no request leaves anything behind for the next one; one that cannot be reset is closed.
// Thread-safe.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "headoffice/storage/database.h"

namespace pos::headoffice {

// An owner already holds its share of the connections.
struct PoolBusy : DatabaseError {
  using DatabaseError::DatabaseError;
};

class ConnectionPool {
 public:
  static constexpr std::chrono::seconds kShareWait{2};

  // `per_owner`: connections one owner may hold at once; 0 for no bound.
  ConnectionPool(Database& db, std::size_t limit, std::size_t per_owner = 0)
      : db_(db), limit_(limit > 0 ? limit : 1), per_owner_(per_owner) {}

  class Lease {
   public:
    Lease(ConnectionPool& pool, std::unique_ptr<Connection> c, std::string owner)
        : pool_(pool), c_(std::move(c)), owner_(std::move(owner)) {}
    ~Lease() { pool_.give_back(std::move(c_), owner_); }
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;
    Connection& operator*() const { return *c_; }
    Connection* operator->() const { return c_.get(); }

   private:
    ConnectionPool& pool_;
    std::unique_ptr<Connection> c_;
    std::string owner_;
  };

  // An idle connection, a new one while fewer than `limit` are open, or the next one given back.
  // `owner` (empty: none) holds it against its share. Throws PoolBusy when the owner's share
  // stays taken for kShareWait, DatabaseError once the pool is stopping.
  Lease borrow(const std::string& owner = {}) {
    {
      std::unique_lock lock(mutex_);
      if (!owner.empty() && per_owner_ > 0) {
        ++share_waiters_;
        const bool got =
            share_freed_.wait_for(lock, kShareWait, [&] { return stopping_ || held_[owner] < per_owner_; });
        --share_waiters_;
        if (!got) {
          if (held_[owner] == 0) held_.erase(owner);
          throw PoolBusy("'" + owner + "' already has " + std::to_string(per_owner_) +
                         " requests running at head office, as many as one user may; try again later");
        }
        ++held_[owner];
      }
      freed_.wait(lock, [&] { return stopping_ || !idle_.empty() || open_ < limit_; });
      if (stopping_) {
        release_share(owner);
        throw DatabaseError("the service is stopping");
      }
      if (!idle_.empty()) {
        auto c = std::move(idle_.back());
        idle_.pop_back();
        lent_.insert(c.get());
        return Lease(*this, std::move(c), owner);
      }
      ++open_;
    }
    std::unique_ptr<Connection> c;
    try {
      c = db_.connect();
    } catch (...) {
      give_back(nullptr, owner);
      throw;
    }
    std::lock_guard lock(mutex_);
    lent_.insert(c.get());
    if (stopping_) c->cancel();
    return Lease(*this, std::move(c), owner);
  }

  // Cancels the statements of every connection lent out; borrowing fails from now on.
  void stop() {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    for (Connection* c : lent_) c->cancel();
    freed_.notify_all();
    share_freed_.notify_all();
  }

  std::size_t open_connections() const {
    std::lock_guard lock(mutex_);
    return open_;
  }

 private:
  // With mutex_ held: `owner` holds one connection less.
  void release_share(const std::string& owner) {
    if (owner.empty() || per_owner_ == 0) return;
    if (auto it = held_.find(owner); it != held_.end() && --it->second == 0) held_.erase(it);
    if (share_waiters_ > 0) share_freed_.notify_all();
  }

  // A connection that cannot be reset or is broken (or none) is dropped, which frees its place.
  void give_back(std::unique_ptr<Connection> c, const std::string& owner) {
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
      release_share(owner);
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
  const std::size_t per_owner_;
  mutable std::mutex mutex_;
  std::condition_variable freed_;
  std::condition_variable share_freed_;
  std::map<std::string, std::size_t> held_;  // by owner, while per_owner_ bounds them
  std::size_t share_waiters_ = 0;
  std::size_t open_ = 0;
  bool stopping_ = false;
  std::vector<std::unique_ptr<Connection>> idle_;
  std::set<Connection*> lent_;
};

}  // namespace pos::headoffice

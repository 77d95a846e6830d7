#pragma once
// A unit of local work that takes effect whole or not at all. With no transaction open it is a
// transaction of its own; inside an open one (a batch, another unit) it is a savepoint with a
// name of its own, so units nest. It undoes only what it began: its own transaction, or the
// changes since its savepoint.

#include <cstdint>
#include <string>

#include "localdb/connection.h"

namespace pos {

class LocalWork {
 public:
  explicit LocalWork(LocalConnection& con);
  ~LocalWork();  // not committed: undone
  LocalWork(const LocalWork&) = delete;
  LocalWork& operator=(const LocalWork&) = delete;

  // Makes the work part of the enclosing transaction (releases the savepoint), or commits the
  // transaction the unit began.
  void commit();
  bool owns_transaction() const { return savepoint_.empty(); }

 private:
  void undo() noexcept;

  LocalConnection& con_;
  std::string savepoint_;  // empty: the unit began the transaction
  bool open_ = true;
};

// Runs `work` as one unit of local work.
template <class Fn>
void atomically(LocalConnection& con, Fn&& work) {
  LocalWork unit(con);
  work();
  unit.commit();
}

}  // namespace pos

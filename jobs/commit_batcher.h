#pragma once
// Groups a job's local writes into transactions of about `rows` rows or `interval` of time,
// whichever comes first, so that the point-of-sale program sharing the database never waits
// long on a row the job holds. A batch left open when the batcher dies is rolled back.

#include <chrono>

#include "localdb/connection.h"

namespace pos {

class CommitBatcher {
 public:
  explicit CommitBatcher(LocalConnection& con, std::size_t rows = 1000,
                         std::chrono::milliseconds interval = std::chrono::milliseconds(500));
  ~CommitBatcher();
  CommitBatcher(const CommitBatcher&) = delete;
  CommitBatcher& operator=(const CommitBatcher&) = delete;

  // Call after each finished row: commits the batch when it is full or old enough.
  void row_done();
  // Commits what is done; the batcher can go on after it.
  void commit();

  // Runs `write` so that it takes effect whole or not at all within the batch.
  template <class Fn>
  void atomically(Fn&& write) {
    open();
    con_.savepoint("POS_ROW");
    try {
      write();
    } catch (...) {
      con_.rollback_to_savepoint("POS_ROW");
      con_.release_savepoint("POS_ROW");
      throw;
    }
    con_.release_savepoint("POS_ROW");
  }

 private:
  void open();

  LocalConnection& con_;
  std::size_t max_rows_;
  std::chrono::milliseconds interval_;
  std::size_t rows_ = 0;
  std::chrono::steady_clock::time_point started_;
  bool own_ = false;  // the batcher began the open transaction
};

}  // namespace pos

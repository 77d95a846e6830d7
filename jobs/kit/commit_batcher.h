#pragma once
// Groups a job's local writes into transactions of about `rows` rows or `interval` of time,
// whichever comes first, so that the point-of-sale program sharing the database never waits
// long on a row the job holds. The age is also checked before and while the job waits on the
// network. A batch never commits while a unit of work (LocalWork) is open inside it. A batch
// left open when the batcher dies is rolled back.

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

  // Before a row's work: opens a batch transaction unless a transaction is open.
  void begin_row();
  // After a finished row: commits the batch when it is full or old enough.
  void row_done();
  // Commits the batch when it is old enough; for the waits on the network.
  void commit_if_due();
  // Commits what is done; the batcher can go on after it.
  void commit();
  // Drops what is not committed.
  void rollback() noexcept;

  // `written` counts rows written; the rows of a batch that is not committed are taken off it again.
  void count_written(std::size_t* written) { written_ = written; }

 private:
  bool may_commit() const;

  LocalConnection& con_;
  std::size_t max_rows_;
  std::chrono::milliseconds interval_;
  std::size_t rows_ = 0;
  std::chrono::steady_clock::time_point started_;
  bool own_ = false;  // the batcher began the open transaction
  std::size_t* written_ = nullptr;
  std::size_t written_at_begin_ = 0;
};

}  // namespace pos

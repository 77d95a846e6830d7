#include "jobs/kit/commit_batcher.h"

namespace pos {

CommitBatcher::CommitBatcher(LocalConnection& con, std::size_t rows, std::chrono::milliseconds interval)
    : con_(con), max_rows_(rows), interval_(interval) {}

CommitBatcher::~CommitBatcher() { rollback(); }

void CommitBatcher::begin_row() {
  if (con_.in_transaction()) return;
  con_.begin();
  own_ = true;
  rows_ = 0;
  if (written_) written_at_begin_ = *written_;
  started_ = std::chrono::steady_clock::now();
}

bool CommitBatcher::may_commit() const { return own_ && con_.in_transaction() && con_.open_work() == 0; }

void CommitBatcher::row_done() {
  ++rows_;
  if (rows_ >= max_rows_) {
    if (may_commit()) commit();
  } else {
    commit_if_due();
  }
}

void CommitBatcher::commit_if_due() {
  if (may_commit() && std::chrono::steady_clock::now() - started_ >= interval_) commit();
}

void CommitBatcher::commit() {
  if (may_commit()) {
    try {
      con_.commit();
    } catch (...) {
      if (written_) *written_ = written_at_begin_;
      own_ = con_.in_transaction();
      throw;
    }
    if (written_) written_at_begin_ = *written_;
  }
  if (!con_.in_transaction()) own_ = false;
  rows_ = 0;
}

void CommitBatcher::rollback() noexcept {
  if (own_ && con_.in_transaction()) {
    if (written_) *written_ = written_at_begin_;
    try {
      con_.rollback();
    } catch (...) {
    }
  }
  own_ = false;
  rows_ = 0;
}

}  // namespace pos

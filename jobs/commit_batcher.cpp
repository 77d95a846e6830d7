#include "jobs/commit_batcher.h"

namespace pos {

CommitBatcher::CommitBatcher(LocalConnection& con, std::size_t rows, std::chrono::milliseconds interval)
    : con_(con), max_rows_(rows), interval_(interval) {}

CommitBatcher::~CommitBatcher() {
  if (own_ && con_.in_transaction()) {
    try {
      con_.rollback();
    } catch (...) {
    }
  }
}

void CommitBatcher::open() {
  if (con_.in_transaction()) return;
  con_.begin();
  own_ = true;
  rows_ = 0;
  started_ = std::chrono::steady_clock::now();
}

void CommitBatcher::row_done() {
  open();
  ++rows_;
  if (rows_ >= max_rows_ || std::chrono::steady_clock::now() - started_ >= interval_) commit();
}

void CommitBatcher::commit() {
  if (own_ && con_.in_transaction()) con_.commit();
  own_ = false;
  rows_ = 0;
}

}  // namespace pos

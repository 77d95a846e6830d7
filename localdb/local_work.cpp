#include "localdb/local_work.h"

namespace pos {

LocalWork::LocalWork(LocalConnection& con) : con_(con) {
  if (con_.in_transaction()) {
    // Named by depth: nested units differ, and the few names keep their statements prepared.
    savepoint_ = "POS_WORK_" + std::to_string(con_.open_work_ + 1);
    con_.savepoint(savepoint_);
  } else {
    con_.begin();
  }
  ++con_.open_work_;
}

LocalWork::~LocalWork() {
  if (open_) undo();
}

void LocalWork::commit() {
  if (!open_) return;
  open_ = false;
  --con_.open_work_;
  if (savepoint_.empty())
    con_.commit();
  else
    con_.release_savepoint(savepoint_);
}

void LocalWork::undo() noexcept {
  open_ = false;
  --con_.open_work_;
  try {
    if (!con_.in_transaction()) return;  // the connection dropped it already
    if (savepoint_.empty()) {
      con_.rollback();
    } else {
      con_.rollback_to_savepoint(savepoint_);
      con_.release_savepoint(savepoint_);
    }
  } catch (...) {
    // A dead connection: the error that brought us here says so.
  }
}

}  // namespace pos

#pragma once
// Thin access to the Firebird 3 client interface for this folder's sources only.

#include <firebird/Interface.h>

#include <string>
#include <string_view>

namespace pos::fb {

Firebird::IMaster* master();
Firebird::IUtil* util();

// An owned status vector with the throwing wrapper the interface calls take.
class Status {
 public:
  Status() : raw_(master()->getStatus()), wrapper_(raw_) {}
  ~Status() { raw_->dispose(); }
  Status(const Status&) = delete;
  Status& operator=(const Status&) = delete;
  Firebird::ThrowStatusWrapper* operator&() { return &wrapper_; }
  Firebird::ThrowStatusWrapper* get() { return &wrapper_; }

 private:
  Firebird::IStatus* raw_;
  Firebird::ThrowStatusWrapper wrapper_;
};

// The database's own text for a failure, lines joined by "; ".
std::string message_of(const Firebird::FbException& e);

// True when the failure means the attachment is gone (network, shutdown, lost connection).
bool connection_lost(const Firebird::FbException& e);

// Throws DbError with the database's message, optionally prefixed by context, or the subclass of
// localdb/errors.h that says what kind of failure it was.
[[noreturn]] void raise(const Firebird::FbException& e, std::string_view context = {});

// Releases an interface object when it goes out of scope.
template <class T>
struct Released {
  void operator()(T* p) const {
    if (p) p->release();
  }
};

}  // namespace pos::fb

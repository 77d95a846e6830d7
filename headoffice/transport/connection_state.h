#pragma once
// How the request being served on this thread ended, as far as its connection goes: set by the
// stream and the request handlers, read by the connection's loop.

namespace pos::headoffice {

struct ConnectionState {
  bool late = false;   // the request did not arrive in time
  bool close = false;  // the request was refused unread: close the connection after the answer
};

inline thread_local ConnectionState connection_state;

}  // namespace pos::headoffice

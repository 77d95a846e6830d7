#pragma once
// The connections being served: how each is read and answered, making room by closing one that
// waits for a request, and ending them all at stop(). Thread-safe: every connection thread calls
// serve(); any thread may call close_idle() and close_all().

#include <httplib.h>
#include <openssl/ssl.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <map>
#include <mutex>

#include "headoffice/transport/connection_stream.h"

namespace pos::headoffice {

class Connections {
 public:
  // Reads and answers one request on the stream; false when nothing more can be said.
  using Process = std::function<bool(httplib::Stream&, bool close_connection, bool& connection_closed)>;

  // A request must arrive within `request_timeout`, its head within `head_timeout` of its first
  // byte (of the connection's start, for the first request).
  Connections(std::chrono::milliseconds request_timeout, std::chrono::milliseconds head_timeout, std::size_t max_body);

  // Serves the requests of the connection `fd` (over TLS with `tls`), then closes it.
  void serve(int fd, SSL_CTX* tls, const Process& process);

  // Makes room for `waiting` connections that wait for a thread: closes as many connections as
  // have waited longest for a request to begin (sent nothing since they were opened or since
  // their last answer), then those whose request's head began kHeadGrace ago or more and has not
  // come whole yet, oldest first; what cannot be closed now is closed as soon as a connection
  // starts to wait or such a head sends more.
  void make_room(std::size_t waiting);

  // Ends the requests still arriving; connections served from now on are closed at once.
  void close_all();

 private:
  // A head that takes longer than this to come whole may be closed to make room: a terminal's
  // head comes in one piece.
  static constexpr std::chrono::seconds kHeadGrace{1};

  struct Slot {
    RequestProgress progress;
    bool chosen = false;  // closed to make room
    std::chrono::steady_clock::time_point since = std::chrono::steady_clock::now();
  };
  bool admit(int fd, Slot& slot);
  void waits(Slot& slot);  // the connection waits for a request to begin
  // With mutex_ held: closes the connection, other than `spare`, that has waited longest for a
  // request to begin, or else the oldest whose request's head is not whole; false when none.
  bool close_oldest_waiting(const Slot* spare = nullptr);
  bool close_oldest_in(int phase, const Slot* spare);
  void release(int fd);
  SSL* new_session(SSL_CTX* ctx);
  bool handshake(SSL* ssl, int fd) const;

  const std::chrono::milliseconds request_timeout_, head_timeout_;
  const std::size_t allowance_;
  std::mutex mutex_;
  std::map<int, Slot*> open_;
  bool closing_ = false;
  std::size_t owed_ = 0;  // connections still to close to make room
};

}  // namespace pos::headoffice

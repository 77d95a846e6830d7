#pragma once
// The connections being served: how each is read and answered, and ending them all at stop().
// Thread-safe: every connection thread calls serve(); any thread may call close_all().

#include <httplib.h>
#include <openssl/ssl.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <mutex>
#include <set>

namespace pos::headoffice {

class Connections {
 public:
  // Reads and answers one request on the stream; false when nothing more can be said.
  using Process = std::function<bool(httplib::Stream&, bool close_connection, bool& connection_closed)>;

  Connections(std::chrono::milliseconds request_timeout, std::size_t max_body);

  // Serves the requests of the connection `fd` (over TLS with `tls`), then closes it.
  void serve(int fd, SSL_CTX* tls, const Process& process);

  // Ends the requests still arriving; connections served from now on are closed at once.
  void close_all();

 private:
  bool admit(int fd);
  void release(int fd);
  SSL* new_session(SSL_CTX* ctx);
  bool handshake(SSL* ssl, int fd) const;

  const std::chrono::milliseconds request_timeout_;
  const std::size_t allowance_;
  std::mutex mutex_;
  std::set<int> open_;
  bool closing_ = false;
};

}  // namespace pos::headoffice

#pragma once
// A connection's bytes, plain or TLS, on a non-blocking socket. Reading a request stops at its
// deadline and after its byte allowance; writing gives up when the client takes nothing for a
// minute. Used by the one thread that serves the connection.

#include <httplib.h>
#include <openssl/ssl.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <string>

namespace pos::headoffice {

class ConnectionStream final : public httplib::Stream {
 public:
  using Clock = std::chrono::steady_clock;

  // `waiting` is cleared when a byte of a request arrives.
  ConnectionStream(int fd, SSL* tls, std::atomic<bool>& waiting) : fd_(fd), tls_(tls), waiting_(waiting) {}

  // A new request may take until `deadline` to arrive and send at most `allowance` bytes.
  void start_request(Clock::time_point deadline, std::size_t allowance);

  std::size_t written() const { return written_; }

  // True when another request starts within `wait`.
  bool more_within(std::chrono::milliseconds wait);

  bool is_readable() const override;
  bool is_writable() const override;
  ssize_t read(char* ptr, size_t size) override;
  ssize_t write(const char* ptr, size_t size) override;
  void get_remote_ip_and_port(std::string& ip, int& port) const override;
  void get_local_ip_and_port(std::string& ip, int& port) const override;
  socket_t socket() const override { return fd_; }

 private:
  bool buffered() const;
  // Reads what has arrived into the buffer: its size, 0 at the end of the stream, -1 on an error,
  // at the deadline (the request is then late) or beyond the allowance.
  ssize_t fill();

  int fd_;
  SSL* tls_;
  std::atomic<bool>& waiting_;
  Clock::time_point deadline_ = Clock::now();
  std::size_t allowance_ = 0;
  char buffer_[16384];
  std::size_t begin_ = 0, end_ = 0;
  std::size_t written_ = 0;
};

}  // namespace pos::headoffice

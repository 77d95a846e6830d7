#pragma once
// A connection's bytes, plain or TLS, on a non-blocking socket. Reading a request stops at its
// deadline, and before its head (line and headers) is whole at the earlier head deadline, and
// after its byte allowance; writing gives up when the client takes nothing for a minute. Used by
// the one thread that serves the connection.

#include <httplib.h>
#include <openssl/ssl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <string>

namespace pos::headoffice {

// Where a connection's request stands, as other threads see it.
struct RequestProgress {
  static constexpr int kWaiting = 0, kHead = 1, kRest = 2;
  std::atomic<int> phase{kWaiting};  // kHead from the request's first byte, kRest once its head is whole
  std::atomic<std::chrono::steady_clock::rep> head_began{0};  // when its first byte came
};

class ConnectionStream final : public httplib::Stream {
 public:
  using Clock = std::chrono::steady_clock;

  // `progress` follows each request; `on_head_bytes` is called when bytes of a head that is not
  // whole yet arrive.
  ConnectionStream(int fd, SSL* tls, RequestProgress& progress, std::function<void()> on_head_bytes = {})
      : fd_(fd), tls_(tls), progress_(progress), on_head_bytes_(std::move(on_head_bytes)) {}

  // A new request may take until `deadline` to arrive, until `head_deadline` for its head, and
  // send at most `allowance` bytes.
  void start_request(Clock::time_point deadline, Clock::time_point head_deadline, std::size_t allowance);

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
  Clock::time_point deadline() const { return head_done_ ? deadline_ : std::min(deadline_, head_deadline_); }
  // Follows the head's lines through `bytes`: it is whole at its first empty line.
  void scan_head(const char* bytes, std::size_t n);
  // Reads what has arrived into the buffer: its size, 0 at the end of the stream, -1 on an error,
  // at the deadline (the request is then late) or beyond the allowance.
  ssize_t fill();

  int fd_;
  SSL* tls_;
  // A byte of a request came: it is in its head now.
  void head_begins();

  RequestProgress& progress_;
  std::function<void()> on_head_bytes_;
  Clock::time_point deadline_ = Clock::now(), head_deadline_ = Clock::now();
  bool head_done_ = false;
  bool head_line_seen_ = false;  // a line that is not empty
  std::size_t line_length_ = 0;
  std::size_t allowance_ = 0;
  char buffer_[16384];
  std::size_t begin_ = 0, end_ = 0;
  std::size_t written_ = 0;
};

}  // namespace pos::headoffice

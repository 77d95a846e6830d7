#include "headoffice/transport/connection_stream.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "headoffice/transport/connection_state.h"
#include "headoffice/transport/socket_wait.h"

namespace pos::headoffice {
namespace {

constexpr auto kWriteTimeout = std::chrono::seconds(60);

using NameFn = int (*)(int, sockaddr*, socklen_t*);

void address(int fd, NameFn get, std::string& ip, int& port) {
  sockaddr_storage a{};
  socklen_t len = sizeof a;
  ip.clear();
  port = 0;
  if (get(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) return;
  char text[INET6_ADDRSTRLEN] = "";
  if (a.ss_family == AF_INET) {
    const auto& v4 = reinterpret_cast<const sockaddr_in&>(a);
    inet_ntop(AF_INET, &v4.sin_addr, text, sizeof text);
    port = ntohs(v4.sin_port);
  } else if (a.ss_family == AF_INET6) {
    const auto& v6 = reinterpret_cast<const sockaddr_in6&>(a);
    inet_ntop(AF_INET6, &v6.sin6_addr, text, sizeof text);
    port = ntohs(v6.sin6_port);
  }
  ip = text;
}

}  // namespace

void ConnectionStream::start_request(Clock::time_point deadline, Clock::time_point head_deadline,
                                     std::size_t allowance) {
  deadline_ = deadline;
  head_deadline_ = head_deadline;
  allowance_ = allowance;
  written_ = 0;
  head_done_ = head_line_seen_ = false;
  line_length_ = 0;
  if (begin_ != end_) {  // what came with the last request
    head_begins();
    scan_head(buffer_ + begin_, end_ - begin_);
  }
}

void ConnectionStream::head_begins() {
  int waiting = RequestProgress::kWaiting;
  if (progress_.phase.compare_exchange_strong(waiting, RequestProgress::kHead))
    progress_.head_began = Clock::now().time_since_epoch().count();
}

void ConnectionStream::scan_head(const char* bytes, std::size_t n) {
  for (std::size_t i = 0; i < n && !head_done_; ++i) {
    if (bytes[i] == '\n') {
      head_done_ = line_length_ == 0 && head_line_seen_;
      head_line_seen_ = head_line_seen_ || line_length_ > 0;
      line_length_ = 0;
    } else if (bytes[i] != '\r') {
      ++line_length_;
    }
  }
  if (head_done_) progress_.phase = RequestProgress::kRest;
}

bool ConnectionStream::more_within(std::chrono::milliseconds wait) {
  return buffered() || wait_until(fd_, POLLIN, Clock::now() + wait);
}

bool ConnectionStream::is_readable() const { return buffered() || wait_until(fd_, POLLIN, deadline()); }

bool ConnectionStream::is_writable() const { return wait_until(fd_, POLLOUT, Clock::now() + kWriteTimeout); }

ssize_t ConnectionStream::read(char* ptr, size_t size) {
  if (begin_ == end_) {
    const ssize_t n = fill();
    if (n <= 0) return n;
  }
  const std::size_t n = std::min(size, end_ - begin_);
  std::memcpy(ptr, buffer_ + begin_, n);
  begin_ += n;
  return static_cast<ssize_t>(n);
}

ssize_t ConnectionStream::write(const char* ptr, size_t size) {
  std::size_t done = 0;
  while (done < size) {
    short want = POLLOUT;
    if (tls_) {
      const int n = SSL_write(tls_, ptr + done, static_cast<int>(std::min<std::size_t>(size - done, 1u << 30)));
      if (n > 0) {
        done += static_cast<std::size_t>(n);
        continue;
      }
      const int e = SSL_get_error(tls_, n);
      if (e == SSL_ERROR_WANT_READ)
        want = POLLIN;
      else if (e != SSL_ERROR_WANT_WRITE)
        return -1;
    } else {
      const ssize_t n = ::send(fd_, ptr + done, size - done, MSG_NOSIGNAL);
      if (n > 0) {
        done += static_cast<std::size_t>(n);
        continue;
      }
      if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return -1;
    }
    if (!wait_until(fd_, want, Clock::now() + kWriteTimeout)) return -1;
  }
  written_ += size;
  return static_cast<ssize_t>(size);
}

void ConnectionStream::get_remote_ip_and_port(std::string& ip, int& port) const {
  address(fd_, ::getpeername, ip, port);
}

void ConnectionStream::get_local_ip_and_port(std::string& ip, int& port) const {
  address(fd_, ::getsockname, ip, port);
}

bool ConnectionStream::buffered() const { return begin_ != end_ || (tls_ && SSL_pending(tls_) > 0); }

ssize_t ConnectionStream::fill() {
  if (allowance_ == 0) return -1;
  const std::size_t room = std::min(sizeof buffer_, allowance_);
  for (;;) {
    short want = POLLIN;
    ssize_t n = 0;
    if (tls_) {
      const int r = SSL_read(tls_, buffer_, static_cast<int>(room));
      if (r > 0) {
        n = r;
      } else {
        const int e = SSL_get_error(tls_, r);
        if (e == SSL_ERROR_ZERO_RETURN) return 0;
        if (e == SSL_ERROR_WANT_WRITE)
          want = POLLOUT;
        else if (e != SSL_ERROR_WANT_READ)
          return -1;
        n = -1;
      }
    } else {
      n = ::recv(fd_, buffer_, room, 0);
      if (n == 0) return 0;
      if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return -1;
    }
    if (n > 0) {
      head_begins();
      begin_ = 0;
      end_ = static_cast<std::size_t>(n);
      allowance_ -= end_;
      scan_head(buffer_, end_);
      if (!head_done_ && on_head_bytes_) on_head_bytes_();
      return n;
    }
    if (!wait_until(fd_, want, deadline())) {
      connection_state.late = Clock::now() >= deadline();
      return -1;
    }
  }
}

}  // namespace pos::headoffice

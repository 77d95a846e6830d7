#include "headoffice/transport/connections.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <exception>
#include <string_view>
#include <utility>
#include <vector>

#include "headoffice/transport/connection_state.h"
#include "headoffice/transport/connection_stream.h"
#include "headoffice/transport/socket_wait.h"

namespace pos::headoffice {
namespace {

using Clock = std::chrono::steady_clock;

// Bytes a request may send before its body: the request line and headers.
constexpr std::size_t kHeadAllowance = 256u << 10;
constexpr int kKeepAliveRequests = 100;
constexpr auto kKeepAliveWait = std::chrono::seconds(5);
// After refusing a request that was not read whole, its rest is read and dropped for this long,
// so that closing does not reset the connection before the client has the answer.
constexpr auto kLingerTime = std::chrono::seconds(2);

// No more answers go out; what the client still sends is read and dropped for a short while.
void linger(int fd) {
  ::shutdown(fd, SHUT_WR);
  const auto until = Clock::now() + kLingerTime;
  char sink[16384];
  while (wait_until(fd, POLLIN, until)) {
    const ssize_t n = ::recv(fd, sink, sizeof sink, 0);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) break;
  }
}

}  // namespace

Connections::Connections(std::chrono::milliseconds request_timeout, std::chrono::milliseconds head_timeout,
                         std::size_t max_body)
    : request_timeout_(request_timeout), head_timeout_(head_timeout), allowance_(max_body + kHeadAllowance) {}

void Connections::serve(int fd, SSL_CTX* tls, const Process& process) {
  Slot slot;
  if (!admit(fd, slot)) {
    ::close(fd);
    return;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
  // An answer is written in pieces (head, then body): on a kept-alive connection Nagle's wait for
  // the client's delayed acknowledgement would hold each answer's last piece back for ~40 ms.
  const int on = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  SSL* ssl = tls ? new_session(tls) : nullptr;
  const bool ready = !tls || (ssl && SSL_set_fd(ssl, fd) == 1 && handshake(ssl, fd));
  bool unread = !ready;
  if (ready) {
    ConnectionStream stream(fd, ssl, slot.progress, [this] {
      std::lock_guard lock(mutex_);
      if (owed_ > 0 && close_oldest_waiting()) --owed_;
    });
    for (int n = 0; n < kKeepAliveRequests; ++n) {
      if (n > 0) {
        waits(slot);
        if (!stream.more_within(kKeepAliveWait)) break;
      }
      connection_state = {};
      const auto now = Clock::now();
      stream.start_request(now + request_timeout_, now + head_timeout_, allowance_);
      bool closed = false;
      bool answered = false;
      try {
        answered = process(stream, n + 1 == kKeepAliveRequests, closed);
      } catch (const std::exception&) {
        // Nothing more can be said on this connection.
      }
      unread = connection_state.close || connection_state.late;
      // The library answers nothing when the request line itself is late.
      if (connection_state.late && stream.written() == 0) {
        static constexpr std::string_view kLate =
            "HTTP/1.1 408 Request Timeout\r\nContent-Type: text/plain\r\nContent-Length: 36\r\n"
            "Connection: close\r\n\r\nthe request took too long to arrive\n";
        stream.write(kLate.data(), kLate.size());
      }
      if (!answered || closed || unread) break;
    }
    if (ssl) SSL_shutdown(ssl);
  }
  if (ssl) SSL_free(ssl);
  release(fd);
  if (unread) linger(fd);
  ::shutdown(fd, SHUT_RDWR);
  ::close(fd);
}

void Connections::make_room(std::size_t waiting) {
  std::lock_guard lock(mutex_);
  owed_ = std::max(owed_, waiting);
  while (owed_ > 0 && close_oldest_waiting()) --owed_;
}

void Connections::waits(Slot& slot) {
  std::lock_guard lock(mutex_);
  slot.since = Clock::now();
  slot.progress.phase = RequestProgress::kWaiting;
  slot.chosen = false;
  if (owed_ > 0 && close_oldest_waiting(&slot)) --owed_;
}

bool Connections::close_oldest_waiting(const Slot* spare) {
  return close_oldest_in(RequestProgress::kWaiting, spare) || close_oldest_in(RequestProgress::kHead, spare);
}

bool Connections::close_oldest_in(int phase, const Slot* spare) {
  const auto grace_from = (Clock::now() - kHeadGrace).time_since_epoch().count();
  std::vector<std::pair<Clock::rep, int>> candidates;  // by age
  for (const auto& [fd, slot] : open_) {
    if (slot == spare || slot->chosen || slot->progress.phase != phase) continue;
    const Clock::rep began =
        phase == RequestProgress::kWaiting ? slot->since.time_since_epoch().count() : slot->progress.head_began.load();
    if (phase == RequestProgress::kWaiting || began <= grace_from) candidates.emplace_back(began, fd);
  }
  std::sort(candidates.begin(), candidates.end());
  for (const auto& [began, fd] : candidates) {
    // A waiting connection with bytes not read yet: a request is beginning.
    int unread = 0;
    if (phase == RequestProgress::kWaiting && ::ioctl(fd, FIONREAD, &unread) == 0 && unread > 0) continue;
    open_[fd]->chosen = true;
    ::shutdown(fd, SHUT_RDWR);
    return true;
  }
  return false;
}

void Connections::close_all() {
  std::lock_guard lock(mutex_);
  closing_ = true;
  for (const auto& entry : open_) ::shutdown(entry.first, SHUT_RD);
}

bool Connections::admit(int fd, Slot& slot) {
  std::lock_guard lock(mutex_);
  if (closing_) return false;
  open_.emplace(fd, &slot);
  if (owed_ > 0 && close_oldest_waiting(&slot)) --owed_;
  return true;
}

void Connections::release(int fd) {
  std::lock_guard lock(mutex_);
  open_.erase(fd);
}

SSL* Connections::new_session(SSL_CTX* ctx) {
  std::lock_guard lock(mutex_);
  return SSL_new(ctx);
}

bool Connections::handshake(SSL* ssl, int fd) const {
  const auto deadline = Clock::now() + request_timeout_;
  for (;;) {
    const int r = SSL_accept(ssl);
    if (r == 1) return true;
    const int e = SSL_get_error(ssl, r);
    short want = 0;
    if (e == SSL_ERROR_WANT_READ)
      want = POLLIN;
    else if (e == SSL_ERROR_WANT_WRITE)
      want = POLLOUT;
    else
      return false;
    if (!wait_until(fd, want, deadline)) return false;
  }
}

}  // namespace pos::headoffice

#include "bench/link/delay_proxy.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <deque>
#include <string>

#include "tests/support/loopback_socket.h"

namespace pos::bench {

namespace {

void no_delay(int fd) {
  int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

bool send_all(int fd, const std::string& bytes) {
  for (std::size_t off = 0; off < bytes.size();) {
    const ssize_t n = send(fd, bytes.data() + off, bytes.size() - off, MSG_NOSIGNAL);
    if (n <= 0) return false;
    off += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

// Both directions of one client's connection, a thread each: it reads what arrives, stamps it
// with the time it will have crossed the link and hands it on then.
class DelayProxy::Connection {
 public:
  Connection(DelayProxy& proxy, int client, int upstream, Clock::time_point handshake_done)
      : client_(client), upstream_(upstream) {
    up_ = std::thread([=, this, &proxy] { relay(proxy, client, upstream, proxy.up_, handshake_done); });
    down_ = std::thread([=, this, &proxy] { relay(proxy, upstream, client, proxy.down_, {}); });
  }

  ~Connection() {
    cut();
    up_.join();
    down_.join();
    close(client_);
    close(upstream_);
  }

  bool done() const { return finished_ == 2; }

  // Ends the connection at once, dropping what is still on its way.
  void cut() {
    cut_ = true;
    shutdown(client_, SHUT_RDWR);
    shutdown(upstream_, SHUT_RDWR);
  }

 private:
  struct Chunk {
    Clock::time_point due;
    std::string bytes;
  };

  void relay(DelayProxy& proxy, int from, int to, Direction& link, Clock::time_point not_before) {
    std::deque<Chunk> queue;
    Clock::time_point last_due{};
    bool reading = true, delivering = true;
    char buf[16384];
    while (!cut_ && (reading || !queue.empty())) {
      const auto wait = queue.empty() ? Clock::duration::max() : queue.front().due - Clock::now();
      if (reading && wait > Clock::duration::zero()) {
        pollfd p{from, POLLIN, 0};
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
        const timespec limit{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
        if (ppoll(&p, 1, queue.empty() ? nullptr : &limit, nullptr) > 0) {
          const ssize_t n = recv(from, buf, sizeof buf, 0);
          if (n <= 0) {
            reading = false;
          } else {
            const auto bytes = static_cast<std::size_t>(n);
            last_due = std::max(last_due, proxy.delivery(link, not_before, bytes));  // in order, whatever the shape
            queue.push_back({last_due, std::string(buf, bytes)});
          }
        }
      } else if (wait > Clock::duration::zero()) {
        std::this_thread::sleep_for(std::min<Clock::duration>(wait, std::chrono::milliseconds(50)));
      }
      for (const auto now = Clock::now(); !queue.empty() && queue.front().due <= now; queue.pop_front()) {
        if (delivering && !send_all(to, queue.front().bytes)) {
          delivering = false;  // the receiving end is gone: take no more for it
          shutdown(from, SHUT_RD);
        }
      }
    }
    if (delivering && !cut_) shutdown(to, SHUT_WR);
    ++finished_;
  }

  int client_, upstream_;
  std::atomic<bool> cut_{false};
  std::atomic<int> finished_{0};
  std::thread up_, down_;
};

DelayProxy::DelayProxy(int target_port, LinkShape shape) : target_(target_port), shape_(shape) {
  const auto listener = testing::listen_on_loopback(64);
  listener_ = listener.fd;
  port_ = listener.port;
  acceptor_ = std::thread([this] { accept_loop(); });
}

DelayProxy::~DelayProxy() {
  stop_ = true;
  acceptor_.join();
  close(listener_);
  reap(true);
}

void DelayProxy::set_shape(LinkShape shape) {
  std::lock_guard lock(mutex_);
  shape_ = shape;
}

LinkCounters DelayProxy::counters() const { return {accepted_, up_.bytes, down_.bytes}; }

DelayProxy::Clock::time_point DelayProxy::delivery(Direction& d, Clock::time_point not_before, std::size_t bytes) {
  d.bytes += bytes;
  std::lock_guard lock(mutex_);
  Clock::time_point start = std::max(Clock::now(), not_before);
  if (shape_.bits_per_second > 0) {
    start = std::max(start, d.free_at);
    d.free_at = start + std::chrono::duration_cast<Clock::duration>(
                            std::chrono::duration<double>(static_cast<double>(bytes) * 8 / shape_.bits_per_second));
    start = d.free_at;
  }
  return start + shape_.round_trip / 2;
}

void DelayProxy::accept_loop() {
  while (!stop_) {
    pollfd p{listener_, POLLIN, 0};
    if (poll(&p, 1, 100) > 0) {
      const int client = accept(listener_, nullptr, nullptr);
      if (client >= 0) {
        const int upstream = testing::connect_to_loopback(target_);
        if (upstream < 0) {
          close(client);
        } else {
          no_delay(client);
          no_delay(upstream);
          ++accepted_;
          std::lock_guard lock(mutex_);
          connections_.push_back(
              std::make_unique<Connection>(*this, client, upstream, Clock::now() + shape_.round_trip));
        }
      }
    }
    reap(false);
  }
}

void DelayProxy::reap(bool all) {
  std::list<std::unique_ptr<Connection>> ended;
  {
    std::lock_guard lock(mutex_);
    for (auto it = connections_.begin(); it != connections_.end();) {
      const auto next = std::next(it);
      if (all || (*it)->done()) ended.splice(ended.end(), connections_, it);
      it = next;
    }
  }
  ended.clear();  // joins their threads, outside the lock
}

}  // namespace pos::bench

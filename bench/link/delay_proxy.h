#pragma once
// A loopback TCP relay that makes a slow link out of loopback: every byte arrives half a round
// trip after it was sent, each way, no faster than the bandwidth allows (shared by all connections
// in each direction), and a new connection's first bytes wait one round trip more, as a TCP
// handshake would make them. Bytes are relayed in order and unchanged, connections stay open as
// long as both ends keep them (keep-alive passes through) and a half-close passes on.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

namespace pos::bench {

struct LinkShape {
  std::chrono::microseconds round_trip{0};
  double bits_per_second = 0;  // 0: no limit
};

// What crossed the link since the proxy started.
struct LinkCounters {
  std::uint64_t connections = 0;
  std::uint64_t bytes_up = 0;    // towards the service
  std::uint64_t bytes_down = 0;  // towards the client
};

class DelayProxy {
 public:
  DelayProxy(int target_port, LinkShape shape);
  ~DelayProxy();
  DelayProxy(const DelayProxy&) = delete;
  DelayProxy& operator=(const DelayProxy&) = delete;

  int port() const { return port_; }
  // Applies to bytes that arrive from now on.
  void set_shape(LinkShape shape);
  LinkCounters counters() const;

  using Clock = std::chrono::steady_clock;
  class Connection;

  // One direction of the link: when bytes arriving now will have crossed it.
  struct Direction {
    std::atomic<std::uint64_t> bytes{0};
    Clock::time_point free_at{};
  };
  Clock::time_point delivery(Direction& d, Clock::time_point not_before, std::size_t bytes);

 private:
  void accept_loop();
  void reap(bool all);

  int target_;
  int listener_ = -1;
  int port_ = 0;
  mutable std::mutex mutex_;  // shape_, the directions' free_at, connections_
  LinkShape shape_;
  Direction up_, down_;
  std::atomic<std::uint64_t> accepted_{0};
  std::list<std::unique_ptr<Connection>> connections_;
  std::atomic<bool> stop_{false};
  std::thread acceptor_;
};

}  // namespace pos::bench

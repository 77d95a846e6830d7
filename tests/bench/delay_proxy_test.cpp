// The benchmarks' delay proxy relays bytes unchanged and in order, keeps a connection open across
// exchanges, passes a half-close on, and holds bytes back as long as its round trip and bandwidth
// say (at least: a loaded machine may add to it).

#include "bench/link/delay_proxy.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <random>
#include <string>
#include <thread>

namespace {

using pos::bench::DelayProxy;
using pos::bench::LinkShape;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

int connect_to(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) ADD_FAILURE() << "cannot connect";
  return fd;
}

void send_all(int fd, const std::string& s) {
  for (std::size_t off = 0; off < s.size();) {
    const ssize_t n = send(fd, s.data() + off, s.size() - off, MSG_NOSIGNAL);
    ASSERT_GT(n, 0);
    off += static_cast<std::size_t>(n);
  }
}

// Reads `n` bytes, or up to the end when n is 0.
std::string receive(int fd, std::size_t n = 0) {
  std::string s;
  char buf[65536];
  while (n == 0 || s.size() < n) {
    const ssize_t got = recv(fd, buf, n ? std::min(sizeof buf, n - s.size()) : sizeof buf, 0);
    if (got <= 0) break;
    s.append(buf, static_cast<std::size_t>(got));
  }
  return s;
}

// Echoes one connection's bytes; at its end writes "end." and closes.
class EchoServer {
 public:
  EchoServer() {
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(listener_, 4) != 0)
      throw std::runtime_error("cannot listen");
    getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] {
      const int c = accept(listener_, nullptr, nullptr);
      char buf[65536];
      for (ssize_t n; (n = recv(c, buf, sizeof buf, 0)) > 0;)
        send_all(c, std::string(buf, static_cast<std::size_t>(n)));
      send_all(c, "end.");
      close(c);
    });
  }
  ~EchoServer() {
    thread_.join();
    close(listener_);
  }
  int port() const { return port_; }

 private:
  int listener_, port_;
  std::thread thread_;
};

double seconds_since(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

TEST(DelayProxy, KeepsAConnectionAcrossExchangesEachARoundTripAndPassesAHalfCloseOn) {
  EchoServer server;
  DelayProxy proxy(server.port(), {.round_trip = 40ms});
  const auto t0 = Clock::now();
  const int fd = connect_to(proxy.port());
  send_all(fd, "first request");
  EXPECT_EQ(receive(fd, 13), "first request");
  EXPECT_GE(seconds_since(t0), 0.080);  // the handshake's round trip and the request's
  for (const std::string message : {"second", "third, longer"}) {
    const auto t1 = Clock::now();
    send_all(fd, message);
    EXPECT_EQ(receive(fd, message.size()), message);
    EXPECT_GE(seconds_since(t1), 0.040);
  }
  shutdown(fd, SHUT_WR);
  EXPECT_EQ(receive(fd), "end.");
  close(fd);
  const auto c = proxy.counters();
  EXPECT_EQ(c.connections, 1u);
  EXPECT_EQ(c.bytes_up, 32u);
  EXPECT_EQ(c.bytes_down, 36u);
}

TEST(DelayProxy, RelaysBulkBytesUnchangedAtTheBandwidth) {
  EchoServer server;
  DelayProxy proxy(server.port(), {.round_trip = 2ms, .bits_per_second = 80e6});
  std::string bulk(2'000'000, '\0');
  std::mt19937 random(23);
  for (char& ch : bulk) ch = static_cast<char>(random());
  const auto t0 = Clock::now();
  const int fd = connect_to(proxy.port());
  std::thread sender([&] {
    send_all(fd, bulk);
    shutdown(fd, SHUT_WR);
  });
  const std::string back = receive(fd);
  sender.join();
  close(fd);
  EXPECT_GE(seconds_since(t0), 0.2);  // 16 Mbit each way, the two ways overlapping
  EXPECT_TRUE(back == bulk + "end.") << "the bytes came back changed or out of order";
  EXPECT_EQ(proxy.counters().bytes_down, bulk.size() + 4);
}

}  // namespace

#include "tests/support/cutting_proxy.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "tests/support/loopback_socket.h"

namespace pos::testing {

namespace {

// Copies bytes both ways until both sides have closed.
void relay(int a, int b) {
  pollfd fds[2] = {{a, POLLIN, 0}, {b, POLLIN, 0}};
  char buf[65536];
  bool open[2] = {true, true};
  while (open[0] || open[1]) {
    if (poll(fds, 2, 5000) <= 0) break;
    for (int i = 0; i < 2; ++i) {
      if (!open[i] || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      ssize_t n = read(fds[i].fd, buf, sizeof buf);
      if (n <= 0) {
        open[i] = false;
        fds[i].fd = -1;
        shutdown(i == 0 ? b : a, SHUT_WR);
        continue;
      }
      for (ssize_t off = 0; off < n;) {
        ssize_t w = write(i == 0 ? b : a, buf + off, static_cast<size_t>(n - off));
        if (w <= 0) return;
        off += w;
      }
    }
  }
}

}  // namespace

CuttingProxy::CuttingProxy(int target_port, int connections_passed) : target_(target_port), limit_(connections_passed) {
  const auto listener = listen_on_loopback(16);
  listener_ = listener.fd;
  port_ = listener.port;
  thread_ = std::thread([this] { serve(); });
}

CuttingProxy::~CuttingProxy() {
  stop_ = true;
  thread_.join();
  if (listener_ >= 0) close(listener_);
}

void CuttingProxy::serve() {
  while (!stop_ && relayed_ < limit_) {
    pollfd p{listener_, POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    int client = accept(listener_, nullptr, nullptr);
    if (client < 0) continue;
    const int upstream = connect_to_loopback(target_);
    if (upstream >= 0) {
      relay(client, upstream);
      close(upstream);
    }
    close(client);
    ++relayed_;
  }
  // From now on nothing listens: connections are refused.
  if (!stop_) {
    close(listener_);
    listener_ = -1;
  }
}

}  // namespace pos::testing

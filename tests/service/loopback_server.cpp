#include "tests/service/loopback_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <stdexcept>

namespace pos::testing {
namespace {

int bound_socket() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) throw std::runtime_error("socket");
  const int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    ::close(fd);
    throw std::runtime_error("bind");
  }
  return fd;
}

int port_of(int fd) {
  sockaddr_in addr{};
  socklen_t len = sizeof addr;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  return ntohs(addr.sin_port);
}

// Waits up to `ms` for `fd` to become readable; false on time-out.
bool readable(int fd, int ms) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, ms) > 0;
}

// The body length a request announces, or 0.
std::size_t content_length(const std::string& head) {
  for (std::size_t pos = 0; (pos = head.find("\r\n", pos)) != std::string::npos;) {
    pos += 2;
    static constexpr std::string_view kName = "content-length:";
    if (head.size() - pos < kName.size()) break;
    bool match = true;
    for (std::size_t i = 0; i < kName.size() && match; ++i) {
      match = std::tolower(static_cast<unsigned char>(head[pos + i])) == kName[i];
    }
    if (match) return std::strtoul(head.c_str() + pos + kName.size(), nullptr, 10);
  }
  return 0;
}

}  // namespace

std::string http_reply(std::string_view body, std::string_view status, std::string_view headers) {
  std::string r = "HTTP/1.1 " + std::string(status) + "\r\nContent-Type: text/html\r\n";
  r += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  r += headers;
  r += "\r\n";
  r += body;
  return r;
}

LoopbackServer::LoopbackServer(Script script) : script_(std::move(script)) {
  listen_fd_ = bound_socket();
  port_ = port_of(listen_fd_);
  ::listen(listen_fd_, 16);
  thread_ = std::thread([this] { serve(); });
}

LoopbackServer::LoopbackServer(std::string body)
    : LoopbackServer([body = std::move(body)](const std::string&, int) { return Reply{http_reply(body)}; }) {}

LoopbackServer::~LoopbackServer() {
  stop_ = true;
  thread_.join();
  ::close(listen_fd_);
}

std::vector<std::string> LoopbackServer::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

void LoopbackServer::reset_at_head(std::vector<int> indexes) {
  std::lock_guard lock(mutex_);
  reset_at_head_ = std::move(indexes);
}

std::string LoopbackServer::last_request() const {
  std::lock_guard lock(mutex_);
  return requests_.empty() ? std::string() : requests_.back();
}

void LoopbackServer::serve() {
  while (!stop_) {
    if (!readable(listen_fd_, 20)) continue;
    const int fd = ::accept(listen_fd_, nullptr, nullptr);
    if (fd < 0) continue;
    ++connections_;
    // A connection stays open while the client sends further requests on it.
    while (!stop_ && serve_connection(fd)) {
    }
    ::close(fd);
  }
}

// Reads one request and answers it; false when the connection is done.
bool LoopbackServer::serve_connection(int fd) {
  std::string request;
  std::size_t need = std::string::npos;
  char buf[65536];
  while (!stop_ && request.size() < need) {
    if (!readable(fd, 20)) continue;
    const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n <= 0) return false;
    request.append(buf, static_cast<std::size_t>(n));
    const std::size_t head_end = request.find("\r\n\r\n");
    if (need == std::string::npos && head_end != std::string::npos) {
      need = head_end + 4 + content_length(request.substr(0, head_end + 2));
      std::lock_guard lock(mutex_);
      if (std::ranges::find(reset_at_head_, static_cast<int>(requests_.size())) != reset_at_head_.end()) {
        requests_.push_back(request.substr(0, head_end + 4));
        const linger now{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &now, sizeof now);
        return false;
      }
    }
  }
  if (stop_) return false;
  int index;
  {
    std::lock_guard lock(mutex_);
    requests_.push_back(request);
    index = static_cast<int>(requests_.size()) - 1;
  }
  const Reply reply = script_(request, index);
  if (reply.hang) {
    while (!stop_) readable(fd, 20);
    return false;
  }
  for (std::size_t sent = 0; sent < reply.raw.size();) {
    const ssize_t n = ::send(fd, reply.raw.data() + sent, reply.raw.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<std::size_t>(n);
  }
  // Keep the connection for a following request only when the reply allows it.
  return reply.raw.find("Connection: keep-alive") != std::string::npos && readable(fd, 200);
}

int closed_port() {
  const int fd = bound_socket();
  const int port = port_of(fd);
  ::close(fd);
  return port;
}

}  // namespace pos::testing

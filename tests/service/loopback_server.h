#pragma once
// A one-thread HTTP server on 127.0.0.1 for the service tests: it records every request's raw
// bytes and answers each with a scripted raw response.

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace pos::testing {

struct Reply {
  std::string raw;    // sent as it is, then the connection is closed
  bool hang = false;  // read the request and never answer
};

// "HTTP/1.1 <status>" with Content-Length, the extra header lines (each ending CR LF) and `body`.
std::string http_reply(std::string_view body, std::string_view status = "200 OK", std::string_view headers = "");

class LoopbackServer {
 public:
  using Script = std::function<Reply(const std::string& request, int index)>;

  explicit LoopbackServer(Script script);
  // Answers every request with `body` and status 200.
  explicit LoopbackServer(std::string body);
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  int port() const { return port_; }
  std::string base() const { return "http://127.0.0.1:" + std::to_string(port_); }

  std::vector<std::string> requests() const;
  std::string last_request() const;
  int connections() const { return connections_; }
  // The requests of these indexes get a reset as soon as their head has arrived, the body unread.
  void reset_at_head(std::vector<int> indexes);

 private:
  void serve();
  bool serve_connection(int fd);

  Script script_;
  int listen_fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> connections_{0};
  mutable std::mutex mutex_;
  std::vector<std::string> requests_;
  std::vector<int> reset_at_head_;
  std::thread thread_;
};

// A loopback port that nothing listens on.
int closed_port();

}  // namespace pos::testing

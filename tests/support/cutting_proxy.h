#pragma once
// A loopback TCP relay in front of a service that passes on a given number of connections and
// then stops listening, so that later requests find the service unreachable.

#include <atomic>
#include <thread>

namespace pos::testing {

class CuttingProxy {
 public:
  CuttingProxy(int target_port, int connections_passed);
  ~CuttingProxy();
  CuttingProxy(const CuttingProxy&) = delete;
  CuttingProxy& operator=(const CuttingProxy&) = delete;

  int port() const { return port_; }
  int relayed() const { return relayed_; }

 private:
  void serve();

  int target_;
  int limit_;
  std::atomic<int> listener_{-1};
  int port_ = 0;
  std::atomic<int> relayed_{0};
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace pos::testing

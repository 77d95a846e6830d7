#pragma once
// The service's connection threads: one thread per connection, up to `cap` (more connections
// wait in line, and `on_full` is told how many wait, to make room); threads left idle for a while
// end, down to `keep`.

#include <httplib.h>

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace pos::headoffice {

class ConnectionThreads : public httplib::TaskQueue {
 public:
  ConnectionThreads(std::size_t keep, std::size_t cap, std::function<void(std::size_t)> on_full = {});
  ~ConnectionThreads() override;

  void enqueue(std::function<void()> fn) override;

  // Runs what is queued, then ends every thread.
  void shutdown() override;

 private:
  void work();
  void reap();  // joins the threads that have ended

  const std::size_t keep_, cap_;
  const std::function<void(std::size_t)> on_full_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> jobs_;
  std::map<std::thread::id, std::thread> threads_;
  std::vector<std::thread::id> finished_;
  std::size_t idle_ = 0;
  bool stopping_ = false;
};

}  // namespace pos::headoffice

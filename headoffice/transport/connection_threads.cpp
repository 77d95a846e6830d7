#include "headoffice/transport/connection_threads.h"

#include <algorithm>
#include <chrono>
#include <system_error>

namespace pos::headoffice {
namespace {

constexpr auto kIdleThreadLife = std::chrono::seconds(10);

}  // namespace

ConnectionThreads::ConnectionThreads(std::size_t keep, std::size_t cap, std::function<void(std::size_t)> on_full)
    : keep_(keep), cap_(std::max(cap, keep)), on_full_(std::move(on_full)) {}

ConnectionThreads::~ConnectionThreads() { shutdown(); }

void ConnectionThreads::enqueue(std::function<void()> fn) {
  std::lock_guard lock(mutex_);
  reap();
  jobs_.push_back(std::move(fn));
  if (idle_ < jobs_.size() && threads_.size() < cap_) {
    try {
      std::thread t([this] { work(); });
      const auto id = t.get_id();
      threads_.emplace(id, std::move(t));
    } catch (const std::system_error&) {
      // No thread to be had now: the connection waits for one that is running.
    }
  }
  if (idle_ < jobs_.size() && threads_.size() >= cap_ && on_full_) on_full_(jobs_.size() - idle_);
  wake_.notify_one();
}

void ConnectionThreads::shutdown() {
  std::map<std::thread::id, std::thread> threads;
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    threads.swap(threads_);
    finished_.clear();
  }
  wake_.notify_all();
  for (auto& [id, t] : threads) t.join();
}

void ConnectionThreads::work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    ++idle_;
    const bool woken = wake_.wait_for(lock, kIdleThreadLife, [&] { return !jobs_.empty() || stopping_; });
    --idle_;
    if (jobs_.empty()) {
      if (stopping_ || (!woken && threads_.size() - finished_.size() > keep_)) break;
      continue;
    }
    std::function<void()> job = std::move(jobs_.front());
    jobs_.pop_front();
    lock.unlock();
    job();
    job = nullptr;
    lock.lock();
  }
  if (!stopping_) finished_.push_back(std::this_thread::get_id());
}

void ConnectionThreads::reap() {
  for (const auto id : finished_) {
    auto it = threads_.find(id);
    it->second.join();
    threads_.erase(it);
  }
  finished_.clear();
}

}  // namespace pos::headoffice

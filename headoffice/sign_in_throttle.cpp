#include "headoffice/sign_in_throttle.h"

#include <algorithm>

namespace pos::headoffice {
namespace {

constexpr std::size_t kPruneAbove = 4096;

}  // namespace

long long SignInThrottle::refused_for(const std::string& address, Clock::time_point now) {
  std::lock_guard lock(mutex_);
  const auto it = records_.find(address);
  if (it == records_.end() || it->second.refused_until <= now) return 0;
  return std::chrono::ceil<std::chrono::seconds>(it->second.refused_until - now).count();
}

void SignInThrottle::failed(const std::string& address, Clock::time_point now) {
  std::lock_guard lock(mutex_);
  if (records_.size() > kPruneAbove) forget_old(now);
  Record& r = records_[address];
  if (now - r.last > kMemory) r = Record{};
  r.last = now;
  if (++r.failures <= kFreeFailures) return;
  const int doublings = std::min(r.failures - kFreeFailures - 1, 20);
  r.refused_until = now + std::min<std::chrono::seconds>(std::chrono::seconds(1LL << doublings), kLongestRefusal);
}

void SignInThrottle::succeeded(const std::string& address) {
  std::lock_guard lock(mutex_);
  if (!records_.empty()) records_.erase(address);
}

void SignInThrottle::forget_old(Clock::time_point now) {
  std::erase_if(records_, [&](const auto& entry) {
    return now - entry.second.last > kMemory && entry.second.refused_until <= now;
  });
}

}  // namespace pos::headoffice

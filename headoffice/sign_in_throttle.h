#pragma once
// Slows down guessing: an address whose sign-ins keep failing is refused for a while, without its
// credentials being looked at, for longer each time. A correct sign-in clears its address, and
// addresses that sign in correctly are never held. Thread-safe.

#include <chrono>
#include <cstddef>
#include <mutex>
#include <string>
#include <unordered_map>

namespace pos::headoffice {

class SignInThrottle {
 public:
  using Clock = std::chrono::steady_clock;

  // Failures in a row that an address may have before it is refused: 1 s after the next one,
  // then 2, 4, ... up to kLongestRefusal.
  static constexpr int kFreeFailures = 10;
  static constexpr std::chrono::seconds kLongestRefusal{300};
  // An address that has not failed for this long starts again from nothing.
  static constexpr std::chrono::minutes kMemory{15};

  // Seconds `address` must still wait before it may try again; 0 when it may try now.
  long long refused_for(const std::string& address, Clock::time_point now = Clock::now());
  void failed(const std::string& address, Clock::time_point now = Clock::now());
  void succeeded(const std::string& address);

 private:
  struct Record {
    int failures = 0;
    Clock::time_point last{}, refused_until{};
  };
  void forget_old(Clock::time_point now);

  std::mutex mutex_;
  std::unordered_map<std::string, Record> records_;
};

}  // namespace pos::headoffice

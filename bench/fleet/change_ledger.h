#pragma once
// What head office changed, and what each terminal fetched of it. Every change of a product or
// member gets the next version, which head office writes into the row (a product's PUT_ID, a
// member's NOTE); a terminal that fetches the row at version V has every change of that key up to V.
// The time from a change's commit to its first such fetch is its freshness for that terminal; a
// change a terminal never fetched by the end is lost for it. Thread-safe.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace pos::fleet {

class ChangeLedger {
 public:
  using Clock = std::chrono::steady_clock;

  // `keys`: every product and member key that head office may change; `terminals`: how many.
  ChangeLedger(const std::vector<std::string>& keys, std::size_t terminals);

  // The versions of changes about to be committed, one per key (each a key of the constructor).
  std::vector<std::uint32_t> begin_changes(const std::vector<std::string>& keys);
  // They are committed now: freshness counts from here.
  void committed(const std::vector<std::uint32_t>& versions);

  // Terminal `t` fetched `key` at `version` (0: a version this ledger did not hand out).
  void fetched(std::size_t t, const std::string& key, std::uint32_t version);

  // From now on fetches count only as fetched, not for freshness (runs out of their turn).
  void stop_timing() { timing_ = false; }

  std::uint64_t changes() const;
  // Changes terminal `t` has not fetched, and (terminal, change) pairs not fetched, all terminals.
  std::uint64_t missing(std::size_t t) const;
  std::uint64_t missing() const;

  // Freshness over every (terminal, change) fetched: the p-th quantile in seconds, and the largest.
  double freshness(double p) const;
  double freshness_max() const;

 private:
  static constexpr double kBucket = 0.1;  // seconds a freshness bucket spans

  struct Change {
    std::uint32_t key;
    std::uint32_t earlier;  // the key's previous version; 0 for none
    Clock::time_point committed{};
    bool done = false;
  };

  mutable std::mutex mu_;
  std::unordered_map<std::string, std::uint32_t> key_index_;
  std::vector<std::uint32_t> latest_;             // by key: its last version
  std::vector<Change> changes_;                   // by version - 1
  std::vector<std::vector<std::uint64_t>> seen_;  // by terminal: a bit per version
  std::vector<std::uint64_t> histogram_;          // freshness, kBucket a slot
  double max_ = 0;
  std::atomic<bool> timing_{true};
};

}  // namespace pos::fleet

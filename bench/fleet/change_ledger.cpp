#include "bench/fleet/change_ledger.h"

#include <algorithm>
#include <bit>
#include <stdexcept>

namespace pos::fleet {

ChangeLedger::ChangeLedger(const std::vector<std::string>& keys, std::size_t terminals)
    : latest_(keys.size(), 0), seen_(terminals) {
  for (std::size_t i = 0; i < keys.size(); ++i) key_index_.emplace(keys[i], static_cast<std::uint32_t>(i));
}

std::vector<std::uint32_t> ChangeLedger::begin_changes(const std::vector<std::string>& keys) {
  std::lock_guard lock(mu_);
  std::vector<std::uint32_t> versions;
  for (const auto& k : keys) {
    const auto found = key_index_.find(k);
    if (found == key_index_.end()) throw std::invalid_argument("the ledger does not know key " + k);
    changes_.push_back({found->second, latest_[found->second]});
    const auto version = static_cast<std::uint32_t>(changes_.size());
    latest_[found->second] = version;
    versions.push_back(version);
  }
  return versions;
}

void ChangeLedger::committed(const std::vector<std::uint32_t>& versions) {
  const auto now = Clock::now();
  std::lock_guard lock(mu_);
  for (const auto v : versions) {
    changes_[v - 1].committed = now;
    changes_[v - 1].done = true;
  }
}

void ChangeLedger::fetched(std::size_t t, const std::string& key, std::uint32_t version) {
  const auto now = Clock::now();
  std::lock_guard lock(mu_);
  if (version == 0 || version > changes_.size()) return;
  const auto found = key_index_.find(key);
  // A version belongs to one key: a row that shows another key's version is no fetch of it.
  if (found == key_index_.end() || changes_[version - 1].key != found->second) return;
  auto& seen = seen_[t];
  if (seen.size() * 64 < changes_.size()) seen.resize(changes_.size() / 64 + 1, 0);
  for (std::uint32_t v = version; v != 0; v = changes_[v - 1].earlier) {
    std::uint64_t& word = seen[(v - 1) / 64];
    const std::uint64_t bit = std::uint64_t{1} << ((v - 1) % 64);
    if (word & bit) break;  // this one and every earlier one were fetched before
    word |= bit;
    if (!timing_) continue;
    // A row may be fetched before its writer heard the commit: that is no wait at all.
    const Change& c = changes_[v - 1];
    const double waited = c.done ? std::max(0.0, std::chrono::duration<double>(now - c.committed).count()) : 0.0;
    const auto slot = static_cast<std::size_t>(waited / kBucket);
    if (histogram_.size() <= slot) histogram_.resize(slot + 1, 0);
    ++histogram_[slot];
    max_ = std::max(max_, waited);
  }
}

std::uint64_t ChangeLedger::changes() const {
  std::lock_guard lock(mu_);
  return changes_.size();
}

std::uint64_t ChangeLedger::missing(std::size_t t) const {
  std::lock_guard lock(mu_);
  std::uint64_t have = 0;
  for (const auto word : seen_[t]) have += static_cast<std::uint64_t>(std::popcount(word));
  return changes_.size() - have;
}

std::uint64_t ChangeLedger::missing() const {
  std::uint64_t n = 0;
  for (std::size_t t = 0; t < seen_.size(); ++t) n += missing(t);
  return n;
}

double ChangeLedger::freshness(double p) const {
  std::lock_guard lock(mu_);
  std::uint64_t total = 0;
  for (const auto n : histogram_) total += n;
  if (total == 0) return 0;
  const auto rank = static_cast<std::uint64_t>(std::max(1.0, p * static_cast<double>(total)));
  std::uint64_t below = 0;
  for (std::size_t i = 0; i < histogram_.size(); ++i) {
    below += histogram_[i];
    if (below >= rank) return static_cast<double>(i + 1) * kBucket;
  }
  return max_;
}

double ChangeLedger::freshness_max() const {
  std::lock_guard lock(mu_);
  return max_;
}

}  // namespace pos::fleet

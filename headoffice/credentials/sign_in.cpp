#include "headoffice/credentials/sign_in.h"

#include <sodium.h>

#include <map>
#include <stdexcept>

#include "headoffice/credentials/password_hash.h"

namespace pos::headoffice {

SignIn::SignIn(ConnectionPool& pool, std::string shared_user, std::string shared_password)
    : pool_(pool), shared_user_(std::move(shared_user)), shared_password_(std::move(shared_password)) {
  if (sodium_init() < 0) throw std::runtime_error("libsodium cannot start");
  randombytes_buf(key_, sizeof key_);
  if (!shared_user_.empty() || !shared_password_.empty()) shared_key_ = pair_key(shared_user_, shared_password_);
}

std::string SignIn::pair_key(const std::string& user, const std::string& password) const {
  // The user name's length first, so that no other split of the same bytes gives the same key.
  std::string pair = std::to_string(user.size()) + ":" + user + password;
  unsigned char out[32];
  crypto_generichash(out, sizeof out, reinterpret_cast<const unsigned char*>(pair.data()), pair.size(), key_,
                     sizeof key_);
  sodium_memzero(pair.data(), pair.size());
  return std::string(reinterpret_cast<const char*>(out), sizeof out);
}

std::optional<Principal> SignIn::verify(const std::string& user, const std::string& password) {
  const std::string key = pair_key(user, password);
  if (!shared_key_.empty() && sodium_memcmp(key.data(), shared_key_.data(), key.size()) == 0)
    return Principal{Principal::Kind::Shared, user};
  recheck_when_due();
  if (auto answer = known(key)) return *answer;
  std::shared_ptr<std::mutex> turn;
  {
    std::lock_guard lock(pending_mutex_);
    auto& slot = pending_[key];
    if (!slot) slot = std::make_shared<std::mutex>();
    turn = slot;
  }
  // The last one waiting for the pair forgets its turn, whatever the look-up did.
  struct Done {
    SignIn& in;
    const std::string& key;
    ~Done() {
      std::lock_guard lock(in.pending_mutex_);
      if (auto it = in.pending_.find(key); it != in.pending_.end() && it->second.use_count() <= 2)
        in.pending_.erase(it);
    }
  } done{*this, key};
  std::lock_guard mine(*turn);
  if (auto answer = known(key)) return *answer;
  return look_up(key, user, password);
}

std::optional<std::optional<Principal>> SignIn::known(const std::string& key) {
  std::shared_lock lock(mutex_);
  if (const auto hit = verified_.find(key); hit != verified_.end()) return std::optional<Principal>(hit->second.who);
  if (const auto miss = wrong_.find(key); miss != wrong_.end() && Clock::now() - miss->second < kRememberWrong)
    return std::optional<Principal>();
  return std::nullopt;
}

std::optional<Principal> SignIn::look_up(const std::string& key, const std::string& user, const std::string& password) {
  std::uint64_t epoch = 0;
  {
    std::shared_lock lock(mutex_);
    epoch = epoch_;
  }
  std::optional<StoredCredential> stored;
  {
    auto c = pool_.borrow();
    stored = find_credential(*c, user);
  }
  bool right = false;
  if (stored && !stored->revoked()) {
    hashing_.acquire();
    right = password_matches(stored->hash, password);
    hashing_.release();
  }
  std::unique_lock lock(mutex_);
  // A recheck since the lookup may have missed this pair: it is not kept then, only answered.
  const bool keep = epoch == epoch_;
  if (!right) {
    if (keep) {
      if (wrong_.size() > kMostWrongPairs) wrong_.clear();
      wrong_[key] = Clock::now();
    }
    return std::nullopt;
  }
  const Principal who{stored->role == CredentialRole::Viewer ? Principal::Kind::Viewer : Principal::Kind::Terminal,
                      stored->name};
  if (keep) verified_[key] = Verified{who, stored->hash};
  return who;
}

void SignIn::recheck_when_due() {
  const auto now = Clock::now();
  if (now.time_since_epoch().count() - checked_.load() < std::chrono::duration_cast<Clock::duration>(kRecheck).count())
    return;
  std::unique_lock turn(recheck_mutex_, std::try_to_lock);
  if (!turn) return;
  checked_ = now.time_since_epoch().count();
  try {
    auto c = pool_.borrow();
    const CredentialsVersion version = credentials_version(*c);
    if (version_ && *version_ == version) return;
    std::map<std::string, std::string> hashes;
    for (CredentialRole role : {CredentialRole::Terminal, CredentialRole::Viewer})
      for (auto& s : list_credentials(*c, role)) hashes[s.name] = s.hash;
    std::unique_lock lock(mutex_);
    std::erase_if(verified_, [&](const auto& entry) {
      const auto now_stored = hashes.find(entry.second.who.name);
      return now_stored == hashes.end() || now_stored->second != entry.second.hash;
    });
    wrong_.clear();
    ++epoch_;
    version_ = version;
  } catch (const std::exception&) {
    // The database did not answer: the pairs known stay, and the next request looks again.
  }
}

}  // namespace pos::headoffice

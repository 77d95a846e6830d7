#pragma once
// Who a user name and password are: a terminal or a viewer by the credentials head office issued
// (credential_store.h), or the one shared credential of every terminal when the service was
// started with one. A correct pair is remembered in memory, keyed by a keyed hash of the pair, so
// the slow password hash runs once per pair and process, not once per request; a wrong pair is
// remembered for a minute. Every kRecheck the service looks whether a credential was issued or
// revoked since; a pair whose credential changed is forgotten then, so a revocation takes effect
// within seconds. Thread-safe.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <semaphore>
#include <shared_mutex>
#include <string>
#include <unordered_map>

#include "headoffice/credentials/credential_store.h"
#include "headoffice/storage/connection_pool.h"

namespace pos::headoffice {

struct Principal {
  enum class Kind { Terminal, Viewer, Shared };
  Kind kind = Kind::Terminal;
  std::string name;  // the user name; a terminal's machine number
};

class SignIn {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::seconds kRecheck{2};
  static constexpr std::chrono::seconds kRememberWrong{60};

  // `shared_user` and `shared_password`: the credential of every terminal, or both empty for none.
  SignIn(ConnectionPool& pool, std::string shared_user, std::string shared_password);

  // Throws DatabaseError when the credential must be looked up and the database does not answer.
  std::optional<Principal> verify(const std::string& user, const std::string& password);

 private:
  struct Verified {
    Principal who;
    std::string hash;  // the stored hash it was verified against
  };
  std::string pair_key(const std::string& user, const std::string& password) const;
  // What is known of the pair `key`: who it is, that it is wrong (an empty optional), or nothing
  // (the outer optional empty).
  std::optional<std::optional<Principal>> known(const std::string& key);
  std::optional<Principal> look_up(const std::string& key, const std::string& user, const std::string& password);
  void recheck_when_due();

  static constexpr std::size_t kMostWrongPairs = 4096;

  ConnectionPool& pool_;
  const std::string shared_user_, shared_password_;
  unsigned char key_[32];
  std::string shared_key_;  // pair_key of the shared credential; empty without one
  std::shared_mutex mutex_;
  std::unordered_map<std::string, Verified> verified_;
  std::unordered_map<std::string, Clock::time_point> wrong_;
  std::uint64_t epoch_ = 0;  // rechecks that reloaded the credentials
  // A pair being looked up: its other requests wait for that look-up instead of hashing again.
  std::mutex pending_mutex_;
  std::unordered_map<std::string, std::shared_ptr<std::mutex>> pending_;
  std::mutex recheck_mutex_;
  std::atomic<Clock::rep> checked_{0};  // when the credentials were last looked at
  std::optional<CredentialsVersion> version_;
  // Slow hashes at once: each takes a core and 64 MiB.
  std::counting_semaphore<> hashing_{2};
};

}  // namespace pos::headoffice

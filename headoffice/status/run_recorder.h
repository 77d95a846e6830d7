#pragma once
// Follows each terminal's runs through the requests this process answers, and keeps in the
// head-office table TERMINAL_STATUS what the status page shows. A run begins with the opening
// check and reaches its last job with the last job's statement (the statement catalogue's run
// marks); it is a full update when it fetches a whole table that a changes update fetches by key,
// a changes update when it takes what a change log lists. The table is written when a run
// begins, at its first error answer and when it reaches its last job, and at most once a minute
// while it goes (that it still asks), never for each request. A refused sign-in as a machine
// head office knows is written too.
// A terminal signed in with its own credential is its machine; otherwise (the shared credential)
// the machine is the one a statement names, and requests that do not name their machine are the
// machine's that last named itself from the same client address. Thread-safe.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "headoffice/storage/connection_pool.h"

namespace pos::headoffice {

class RunRecorder {
 public:
  explicit RunRecorder(ConnectionPool& pool) : pool_(pool) {}

  // A request answered: from `client`, signed in as terminal `machine` (empty: not with its own
  // credential), with `statement` (as sent; empty when there was none), and `error`, the error
  // answer's text, when it got one.
  void answered(const std::string& client, const std::string& machine, std::string_view statement,
                const std::optional<std::string>& error);

  // A sign-in from `client` as `user` refused for a wrong or revoked password; counted for the
  // machine `user` names when head office knows it (an MCH_ITEM row or a terminal's credential).
  void sign_in_refused(const std::string& client, const std::string& user);

  // The machine number a statement names (MCH_NO = '...'); empty when none.
  static std::string machine_named(std::string_view statement);

  // Runs this process saw begin, and runs it saw get their first error answer.
  std::int64_t runs_started() const { return started_; }
  std::int64_t runs_failed() const { return failed_; }

 private:
  using Clock = std::chrono::steady_clock;
  struct Run {
    bool begun = false;         // this process saw the run begin
    bool ended = false;         // ... or reach its last job
    bool error_kept = false;    // its first error answer is written
    bool whole_tables = false;  // it fetched a whole table that a changes update fetches by key
    bool logged = false;        // it took what a change log lists, as only a changes update does
    int requests = 0;
    Clock::time_point last{};
    Clock::time_point written{};  // when this process last wrote the run's record
  };
  enum class Write { Begin, Seen, Error, End };

  void write(Write what, const std::string& machine, const Run& run, const std::optional<std::string>& error);

  ConnectionPool& pool_;
  std::mutex mutex_;
  std::map<std::string, Run> runs_;                       // by machine number
  std::map<std::string, std::string> machine_of_client_;  // address -> machine number
  std::atomic<std::int64_t> started_{0}, failed_{0};
};

}  // namespace pos::headoffice

#pragma once
// A terminal without a local database for the chain benchmark: it makes a changes update with
// batch=1 as pos-updater does (the same requests in the same order, each job's own texts sent
// through the data module, the keyed fetches and change-log steps of the jobs' kit), parses every
// answer, and tells its watcher what each logged product or member fetch brought. The keys it takes
// from a change log are remembered in memory across its runs, as POS_TAKEN_KEYS would keep them.
// One run at a time; terminals on different threads are independent.

#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace pos {
class RowSet;
}

namespace pos::fleet {

// Told, on the thread of the run, what each fetch of a logged product or member brought.
class FetchWatcher {
 public:
  virtual ~FetchWatcher() = default;
  virtual void product(const std::string& key, const RowSet& rows) = 0;
  virtual void member(const std::string& key, const RowSet& rows) = 0;
};

struct HeadOfficeAddress {
  std::string host = "127.0.0.1";
  int port = 0;
  std::string user, password;
};

struct RunReport {
  bool completed = false;          // reached the last job
  std::string error;               // why it ended early
  std::size_t failed_rows = 0;     // logged keys whose fetch failed: kept for the next run
  std::size_t unconfirmed = 0;     // change-log statements head office did not confirm
  std::vector<double> request_ms;  // each request's time, from sending to its answer parsed
  bool clean() const { return completed && failed_rows == 0 && unconfirmed == 0; }
};

class SimulatedTerminal {
 public:
  // Writes `folder`/httpset.ini (batch=1) for head office at `ho`; the data module keeps its
  // diagnostic files there.
  SimulatedTerminal(std::filesystem::path folder, std::string machine, const HeadOfficeAddress& ho);

  const std::string& machine() const { return machine_; }

  // One changes update of every job; `today` is "YYYY/MM/DD". `watcher` may be null.
  RunReport changes_update(const std::string& today, FetchWatcher* watcher);

 private:
  std::filesystem::path folder_;
  std::string machine_;
  std::map<std::string, std::set<std::string>> taken_;  // remembered keys by step
};

}  // namespace pos::fleet

#pragma once
// Head office and terminal 001 as they stood at one moment, played again from that moment as often
// as a test likes: each play works on its own copies, served by its own headoffice-service.

#include <sys/types.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/e2e/expected_state.h"
#include "tests/support/local_snapshot.h"
#include "tests/support/process.h"
#include "tests/support/reference_service.h"
#include "tests/support/temp_folder.h"

namespace pos::e2e {

class SavedStore {
 public:
  // Copies the SQLite head-office database of `service` and the terminal folder.
  SavedStore(const testing::ReferenceService& service, const std::filesystem::path& terminal);
  std::filesystem::path head_office() const { return folder_ / "headoffice.db"; }
  std::filesystem::path terminal() const { return folder_ / "terminal"; }

 private:
  testing::TempFolder folder_{"possaved"};
};

class StorePlay {
 public:
  // `serve_args` go to the service (e.g. a fault); the terminal gives up a request after
  // `read_timeout` seconds without a byte, and with `batch` asks for batched requests (batch=1).
  explicit StorePlay(const SavedStore& saved, std::vector<std::string> serve_args = {}, double read_timeout = 2,
                     bool batch = false);

  // pos-updater headless on the terminal with `args` (mode, --jobs ...).
  testing::Outcome update(const std::string& args);
  pid_t start_update(const std::string& args);
  testing::Outcome finish_update(pid_t pid);  // status is minus the signal when one ended it

  std::filesystem::path terminal() const { return folder_ / "terminal"; }
  std::string database() const { return (terminal() / "Data" / "POS_LOC.GDB").string(); }
  testing::LocalSnapshot snapshot() const { return testing::local_snapshot(database()); }
  std::map<std::string, std::vector<Entry>> entries(const std::string& machine);
  testing::ReferenceService& service() { return *service_; }

 private:
  std::string command(const std::string& args) const;
  testing::TempFolder folder_{"posplay"};
  std::unique_ptr<testing::ReferenceService> service_;
};

// A moment to play a run from, with what an undisturbed run from there leaves.
struct Stage {
  std::string name;
  std::unique_ptr<SavedStore> saved;
  std::string args;  // the run: mode and jobs
  testing::LocalSnapshot clean;
  std::map<std::string, std::vector<Entry>> entries_001, entries_002;  // after the undisturbed run
  int requests = 0;                                                    // that the undisturbed run made
};

// A small head office for terminals 001 and 002 and two moments of terminal 001: "full" (a new
// terminal, before its first full update) and "changes" (after it, with head office having
// changed some of everything since). Built once per test program.
const std::vector<Stage>& store_stages();

// "" when `play` holds what the stage's undisturbed run left, locally and in both terminals'
// change logs; else what differs.
std::string converged(StorePlay& play, const Stage& stage);

}  // namespace pos::e2e

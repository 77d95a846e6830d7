#pragma once
// One run at a time per terminal folder, whichever front or user starts it: pos-updater.lock in the
// folder, locked with flock(2). The kernel drops the lock with the process that holds it, so a
// killed run never blocks the next one; the file's one line says who holds it.

#include <filesystem>
#include <string>

namespace pos {

class TerminalLock {
 public:
  explicit TerminalLock(std::filesystem::path folder);
  ~TerminalLock();
  TerminalLock(const TerminalLock&) = delete;
  TerminalLock& operator=(const TerminalLock&) = delete;

  // Takes the lock for this process; `what` names the run for others ("changes update, headless").
  // False when another process holds it; holder() then says who. Throws std::runtime_error when
  // the lock file cannot be opened or locked.
  bool take(const std::string& what);
  void release();
  bool held() const { return held_; }

  // As the holder wrote it: "pid 1234 since 2026-12-09 00:35:44: changes update, headless".
  const std::string& holder() const { return holder_; }
  const std::filesystem::path& file() const { return file_; }

 private:
  std::filesystem::path file_;
  int fd_ = -1;
  bool held_ = false;
  std::string holder_;
};

// What a run of `mode` (0, 1 or -1) on a front is called in the lock file.
std::string run_description(int mode, bool headless);

// For stderr: another run holds `folder`, this one does not start.
std::string folder_busy_message(const std::filesystem::path& folder, const std::string& holder);
// For the window's box (Big5): the same for the staff.
std::string folder_busy_box(const std::string& holder);
// For the window's log (Big5): start-up waits until `holder` is done.
std::string folder_busy_wait_line(const std::string& holder);

}  // namespace pos

#include "app/terminal_lock.h"

#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <stdexcept>
#include <thread>

#include "service/diagnostics.h"
#include "text/big5.h"

namespace pos {

namespace {

std::string local_time_now() {
  const std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
  return buf;
}

std::string read_all(int fd) {
  std::string text;
  char buf[512];
  for (off_t at = 0;;) {
    const ssize_t n = ::pread(fd, buf, sizeof buf, at);
    if (n <= 0) break;
    text.append(buf, static_cast<std::size_t>(n));
    at += n;
  }
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

}  // namespace

TerminalLock::TerminalLock(std::filesystem::path folder) : file_(std::move(folder) / "pos-updater.lock") {}

TerminalLock::~TerminalLock() { release(); }

bool TerminalLock::take(const std::string& what) {
  if (held_) return true;
  if (fd_ < 0) {
    fd_ = open_private_file(file_, true, OtherOwner::Keep);
    if (fd_ < 0) throw std::runtime_error("cannot open the lock file " + file_.string() + ": " + std::strerror(errno));
  }
  if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
    if (errno != EWOULDBLOCK) throw std::runtime_error("cannot lock " + file_.string() + ": " + std::strerror(errno));
    // The holder writes its line right after it takes the lock: a moment later it is there.
    holder_ = read_all(fd_);
    for (int i = 0; i < 20 && holder_.empty(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      holder_ = read_all(fd_);
    }
    if (holder_.empty()) holder_ = "a process that has not said who it is";
    return false;
  }
  held_ = true;
  holder_.clear();
  // Who holds it, for a run that finds it taken. A full disk leaves the line out, not the lock.
  const std::string line = "pid " + std::to_string(::getpid()) + " since " + local_time_now() + ": " + what + "\n";
  if (::ftruncate(fd_, 0) == 0) (void)!::pwrite(fd_, line.data(), line.size(), 0);
  return true;
}

void TerminalLock::release() {
  if (fd_ < 0) return;
  if (held_) (void)!::ftruncate(fd_, 0);
  ::close(fd_);  // drops the lock
  fd_ = -1;
  held_ = false;
}

std::string run_description(int mode, bool headless) {
  const char* kind = mode == 0 ? "changes update" : mode == 1 ? "full update" : "no mode";
  return std::string(kind) + (headless ? ", headless" : ", window");
}

std::string folder_busy_message(const std::filesystem::path& folder, const std::string& holder) {
  return "another run holds the terminal folder " + folder.string() + " (" + holder + "); this run does not start";
}

std::string folder_busy_box(const std::string& holder) {
  return big5("此終端機的資料更新正在進行中，這次不執行。") + "\n(" + holder + ")";
}

std::string folder_busy_wait_line(const std::string& holder) {
  return big5(" 此終端機的資料更新正在進行中 (") + holder + big5(")，完成後再開始..!");
}

}  // namespace pos

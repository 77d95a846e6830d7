#include "app/terminal_folder_check.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace pos {

namespace {

std::string user_name(uid_t uid) {
  if (const passwd* pw = ::getpwuid(uid)) return pw->pw_name;
  return "uid " + std::to_string(uid);
}

std::string errno_text(int err) { return std::strerror(err); }

}  // namespace

std::string owner_name(const std::filesystem::path& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return "";
  return user_name(st.st_uid);
}

void check_terminal_folder(const std::filesystem::path& home, bool named) {
  std::error_code ec;
  if (std::filesystem::exists(home / "MCH_NO.TXT", ec)) return;
  if (!std::filesystem::is_directory(home, ec))
    throw FolderRefused(
        "the terminal folder " + home.string() + " does not exist" +
        (named ? "; make it with terminal-init --home " + home.string() + " --machine NO --service HOST:PORT"
               : "; name the terminal folder with --home DIR"));
  throw FolderRefused(home.string() + " holds no terminal (it has no MCH_NO.TXT); " +
                      (named ? "make one there with terminal-init --home " + home.string() +
                                   " --machine NO --service HOST:PORT, or name another folder with --home"
                             : "without --home the program's own folder is used: name the terminal folder with "
                               "--home DIR, or make one with terminal-init"));
}

void become_folder_owner(const std::filesystem::path& home) {
  struct stat st {};
  if (::stat(home.c_str(), &st) != 0)
    throw FolderRefused("cannot look at the terminal folder " + home.string() + ": " + errno_text(errno));
  const uid_t me = ::geteuid();
  if (st.st_uid == me) return;
  const std::string owner = user_name(st.st_uid);
  if (me != 0)
    throw FolderRefused("the terminal folder " + home.string() + " belongs to " + owner + ", not to " + user_name(me) +
                        ": run pos-updater as " + owner + " (e.g. sudo -u " + owner +
                        " pos-updater ...), so that the files it writes there stay readable to the timer's runs");
  // Groups first, the user last: once the user is dropped, the groups cannot change.
  const passwd* pw = ::getpwuid(st.st_uid);
  const gid_t gid = pw ? pw->pw_gid : st.st_gid;
  const bool groups = pw ? ::initgroups(pw->pw_name, gid) == 0 : ::setgroups(0, nullptr) == 0;
  if (!groups || ::setgid(gid) != 0 || ::setuid(st.st_uid) != 0)
    throw FolderRefused("cannot run as " + owner + ", who owns the terminal folder " + home.string() + ": " +
                        errno_text(errno));
}

void check_run_history(const std::filesystem::path& home) {
  const auto history = home / "runs.jsonl";
  std::error_code ec;
  const bool exists = std::filesystem::exists(history, ec);
  if (::access(home.c_str(), W_OK | X_OK) != 0)
    throw FolderRefused("cannot write in the terminal folder " + home.string() + " (" + errno_text(errno) +
                        "; it belongs to " + owner_name(home) + ")");
  if (exists && ::access(history.c_str(), R_OK | W_OK) != 0)
    throw FolderRefused("cannot read and write the run history " + history.string() + " (" + errno_text(errno) +
                        "; it belongs to " + owner_name(history) + "): give it back to the folder's owner, " +
                        owner_name(home) + ", e.g. chown " + owner_name(home) + " " + history.string());
}

}  // namespace pos

#include "tools/terminal_folder.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string_view>

#include "localdb/connection.h"
#include "localdb/terminal_schema.h"

namespace fs = std::filesystem;

namespace pos {

namespace {

// Writes `content` to a new file readable and writable by its owner only, then moves it over
// `path`: whatever stood there before (a symbolic link included) is replaced, never written
// through.
void write_file(const fs::path& path, const std::string& content) {
  const fs::path fresh = path.string() + ".new";
  ::unlink(fresh.c_str());
  const int fd = ::open(fresh.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  bool ok = fd >= 0;
  for (std::string_view rest = content; ok && !rest.empty();) {
    const ssize_t n = ::write(fd, rest.data(), rest.size());
    ok = n > 0 || (n < 0 && errno == EINTR);
    if (n > 0) rest.remove_prefix(static_cast<std::size_t>(n));
  }
  const int err = ok ? 0 : errno;
  if (fd >= 0 && ::close(fd) != 0 && ok) ok = false;
  if (ok && ::rename(fresh.c_str(), path.c_str()) == 0) return;
  ::unlink(fresh.c_str());
  throw std::runtime_error("cannot write " + path.string() + ": " + std::strerror(err ? err : errno));
}

// A folder of the terminal: made when missing; neither its group nor others may list or write it
// (they may pass through it: the Firebird server opens Data/POS_LOC.GDB as its own user).
void make_private_folder(const fs::path& folder) {
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec) throw std::runtime_error("cannot create " + folder.string() + ": " + ec.message());
  fs::permissions(folder,
                  fs::perms::group_read | fs::perms::group_write | fs::perms::others_read | fs::perms::others_write,
                  fs::perm_options::remove, ec);
  if (ec) throw std::runtime_error("cannot set the permissions of " + folder.string() + ": " + ec.message());
}

bool valid_machine(const std::string& m) {
  return !m.empty() && m.size() <= 5 && std::all_of(m.begin(), m.end(), [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
  });
}

}  // namespace

std::string make_terminal_folder(const TerminalSpec& spec) {
  if (spec.home.empty()) throw std::runtime_error("no terminal folder given");
  if (!valid_machine(spec.machine))
    throw std::runtime_error("the machine number must be 1 to 5 letters or digits, not '" + spec.machine + "'");
  fs::path home = fs::absolute(spec.home);
  fs::path db = home / "Data" / "POS_LOC.GDB";
  make_private_folder(home);
  make_private_folder(db.parent_path());
  std::error_code ec;
  if (fs::exists(db)) {
    if (!spec.force) throw std::runtime_error(db.string() + " already exists; use --force to replace it");
    fs::remove(db);
  }

  ConnectionParams params;
  params.database = db.string();
  LocalConnection::create_database(params);
  try {
    LocalConnection con;
    con.open(params);
    for (const auto& statement : older_level_statements()) {
      try {
        con.execute(statement);
      } catch (const std::exception& e) {
        throw std::runtime_error(std::string(e.what()) + "\nin: " + statement);
      }
    }
    con.close();
  } catch (...) {
    fs::remove(db, ec);  // no half-made database left behind
    throw;
  }

  write_file(home / "MCH_NO.TXT", spec.machine + "\n");
  // It holds the passwords: its owner alone may read it, as every file of the folder.
  std::string settings = "[set]\nhost=" + spec.host + "\nport=" + spec.port + "\ndriver=" + spec.driver +
                         "\nuser_name=" + spec.user + "\npassword=" + spec.password + "\n";
  if (spec.scheme == "https") settings += "scheme=https\n";
  if (!spec.cafile.empty()) settings += "cafile=" + spec.cafile + "\n";
  if (!spec.db_user.empty() || !spec.db_password.empty()) {
    settings += "\n[localdb]\n";
    if (!spec.db_user.empty()) settings += "user=" + spec.db_user + "\n";
    if (!spec.db_password.empty()) settings += "password=" + spec.db_password + "\n";
  }
  write_file(home / "httpset.ini", settings);
  return db.string();
}

}  // namespace pos

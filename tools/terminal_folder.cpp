#include "tools/terminal_folder.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "localdb/connection.h"
#include "tools/sql_script.h"

namespace fs = std::filesystem;

namespace pos {

namespace {

// Writes `content` to a file readable and writable by its owner only.
void write_file(const fs::path& path, const std::string& content) {
  const fs::perms mode = fs::perms::owner_read | fs::perms::owner_write;
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    out.close();
    if (!out) throw std::runtime_error("cannot write " + path.string());
  }
  std::error_code ec;
  fs::permissions(path, mode, ec);
  if (ec) throw std::runtime_error("cannot set the permissions of " + path.string() + ": " + ec.message());
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
  std::error_code ec;
  fs::create_directories(db.parent_path(), ec);
  if (ec) throw std::runtime_error("cannot create " + db.parent_path().string() + ": " + ec.message());
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
    for (const auto& statement : split_sql_script(terminal_schema_sql())) {
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

#include "tools/terminal_folder.h"

#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "localdb/connection.h"
#include "tools/sql_script.h"

namespace fs = std::filesystem;

namespace pos {

namespace {

void write_file(const fs::path& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
  out.close();
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

}  // namespace

std::string make_terminal_folder(const TerminalSpec& spec) {
  if (spec.home.empty()) throw std::runtime_error("no terminal folder given");
  if (spec.machine.empty() || spec.machine.find_first_of("\r\n") != std::string::npos)
    throw std::runtime_error("the machine number must be one non-empty line");
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
  write_file(home / "httpset.ini", "[set]\nhost=" + spec.host + "\nport=" + spec.port + "\ndriver=" + spec.driver +
                                       "\nuser_name=" + spec.user + "\npassword=" + spec.password + "\n");
  return db.string();
}

}  // namespace pos

#pragma once
// Makes a terminal folder: MCH_NO.TXT, httpset.ini and Data/POS_LOC.GDB with the terminal's tables.

#include <string>

namespace pos {

struct TerminalSpec {
  std::string home;      // the terminal folder
  std::string machine;   // machine number, first line of MCH_NO.TXT
  std::string host;      // head-office service host
  std::string port;      // and port
  std::string scheme{};  // "https" writes scheme=https; empty or "http" writes none (plain HTTP)
  std::string cafile{};  // the certificate that signed head office's, for HTTPS; empty: the system's
  std::string driver = "ado";
  std::string user = "SYSDBA";
  std::string password = "quillbark";
  // How pos-updater signs in to the local database ([localdb] of httpset.ini); empty: the fixed one.
  std::string db_user{}, db_password{};
  bool force = false;  // replace an existing database
};

// Creates the folder's files; throws std::runtime_error with a clear message on failure.
// Returns the database path.
std::string make_terminal_folder(const TerminalSpec& spec);

}  // namespace pos

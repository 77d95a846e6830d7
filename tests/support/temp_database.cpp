#include "tests/support/temp_database.h"

#include <stdlib.h>

namespace pos::testing {

TempDatabase::TempDatabase() {
  std::string templ = (std::filesystem::temp_directory_path() / "posdb-XXXXXX").string();
  folder_ = mkdtemp(templ.data());
  LocalConnection::create_database(params());
  con_.open(params());
}

TempDatabase::~TempDatabase() {
  con_.close();
  std::error_code ec;
  std::filesystem::remove_all(folder_, ec);
}

ConnectionParams TempDatabase::params() const {
  ConnectionParams p;
  p.database = (folder_ / "POS_LOC.GDB").string();
  return p;
}

void TempDatabase::run(std::initializer_list<std::string> statements) {
  for (const auto& s : statements) con_.execute(s);
}

void TempDatabase::reopen() {
  con_.close();
  con_.open(params());
}

}  // namespace pos::testing

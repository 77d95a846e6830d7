#include "tests/support/temp_database.h"

namespace pos::testing {

TempDatabase::TempDatabase() {
  LocalConnection::create_database(params());
  con_.open(params());
}

TempDatabase::~TempDatabase() { con_.close(); }

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

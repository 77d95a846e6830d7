#pragma once
// A fresh Firebird database file in a temporary folder, opened with the embedded engine.

#include <filesystem>
#include <initializer_list>
#include <string>

#include "localdb/connection.h"
#include "tests/support/temp_folder.h"

namespace pos::testing {

class TempDatabase {
 public:
  TempDatabase();
  ~TempDatabase();

  const std::filesystem::path& folder() const { return folder_.path(); }
  ConnectionParams params() const;
  LocalConnection& con() { return con_; }

  // Runs each statement on its own.
  void run(std::initializer_list<std::string> statements);

  // Closes and opens the attachment again (what a later program start sees).
  void reopen();

 private:
  TempFolder folder_{"posdb"};
  LocalConnection con_;
};

}  // namespace pos::testing

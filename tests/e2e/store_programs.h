#pragma once
// The programs as a store runs them: terminal-init makes a terminal folder, pos-updater updates it
// headless with its database opened by the embedded engine.

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/process.h"
#include "tests/support/reference_service.h"
#include "tests/support/service_setting.h"

namespace pos::e2e {

inline constexpr const char* kEveryJob = "all";

inline std::string local_database(const std::filesystem::path& home) {
  return (home / "Data" / "POS_LOC.GDB").string();
}

inline testing::Outcome init_terminal(const testing::ReferenceService& service, const std::filesystem::path& home,
                                      const std::string& machine = "001") {
  const testing::Credential own = service.credential(machine);
  return testing::run_command(std::string(TERMINAL_INIT_EXE) + " --home " + home.string() + " --machine " + machine +
                              " --service " + service.address() + " --user " + own.user + " --password " +
                              own.password);
}

inline std::string updater_command(const std::filesystem::path& home, const std::string& args) {
  return std::string(POS_UPDATER_EXE) + " " + args + " --headless --home " + home.string() + " --local-db " +
         local_database(home);
}

}  // namespace pos::e2e

#pragma once
// The programs as a store runs them: terminal-init makes a terminal folder, pos-updater updates it
// headless with its database opened by the embedded engine.

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/process.h"
#include "tests/support/reference_service.h"

namespace pos::e2e {

inline constexpr const char* kEveryJob = "0,1,2,4,5,6,7,8,9,10,11,12,14";

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

// Sets `key=value` in [set] of the terminal's httpset.ini (e.g. batch=1), replacing the key's earlier value.
inline void set_service_setting(const std::filesystem::path& home, const std::string& key, const std::string& value) {
  const auto ini = home / "httpset.ini";
  std::ifstream in(ini);
  std::string text, line;
  bool in_set = false;
  while (std::getline(in, line)) {
    if (!line.empty() && line[0] == '[') in_set = line.rfind("[set]", 0) == 0;
    if (in_set && line.rfind(key + "=", 0) == 0) continue;
    text += line + "\n";
    if (line.rfind("[set]", 0) == 0) text += key + "=" + value + "\n";
  }
  std::ofstream(ini, std::ios::trunc) << text;  // the file keeps its owner-only mode
}

inline std::string updater_command(const std::filesystem::path& home, const std::string& args) {
  return std::string(POS_UPDATER_EXE) + " " + args + " --headless --home " + home.string() + " --local-db " +
         local_database(home);
}

}  // namespace pos::e2e

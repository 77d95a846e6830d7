#pragma once
// A terminal folder's service settings, changed the way an installer edits httpset.ini.

#include <filesystem>
#include <fstream>
#include <string>

namespace pos::e2e {

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

}  // namespace pos::e2e

#pragma once
// A benchmark's terminal with a service setting of its own: `key=value` in [set] of the folder's
// httpset.ini, replacing the key's earlier value.

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

namespace pos::bench {

inline void set_service_setting(const std::filesystem::path& home, const std::string& key, const std::string& value) {
  const auto file = home / "httpset.ini";
  std::ifstream in(file);
  if (!in) throw std::runtime_error("cannot read " + file.string());
  std::ostringstream out;
  bool in_set = false, written = false;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line[0] == '[') in_set = line.rfind("[set]", 0) == 0;
    if (in_set && line.rfind(key + "=", 0) == 0) continue;
    out << line << '\n';
    if (in_set && !written) {
      out << key << '=' << value << '\n';
      written = true;
    }
  }
  if (!written) throw std::runtime_error(file.string() + " has no [set] section");
  in.close();
  std::ofstream(file, std::ios::trunc) << out.str();  // the file keeps its owner-only mode
}

}  // namespace pos::bench

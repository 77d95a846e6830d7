#include "tools/sql_script.h"

#include <sstream>

namespace pos {

std::vector<std::string> split_sql_script(const std::string& script) {
  std::vector<std::string> out;
  std::string current, line;
  std::istringstream in(script);
  while (std::getline(in, line)) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.pop_back();
    std::size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line.compare(first, 2, "--") == 0) continue;
    if (!current.empty()) current += '\n';
    if (line.back() == ';') {
      current += line.substr(0, line.size() - 1);
      out.push_back(std::move(current));
      current.clear();
    } else {
      current += line;
    }
  }
  if (current.find_first_not_of(" \t\n") != std::string::npos) out.push_back(current);
  return out;
}

}  // namespace pos

#include "service/service_settings.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string_view>

#include "text/ascii.h"
#include "text/number_format.h"

namespace pos {
namespace {

bool same_name(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return ascii_upper(x) == ascii_upper(y); });
}

std::string unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
    value = value.substr(1, value.size() - 2);
  return std::string(value);
}

}  // namespace

ServiceSettings read_service_settings(const std::filesystem::path& ini_file) {
  ServiceSettings settings;
  std::ifstream in(ini_file, std::ios::binary);
  if (!in) return settings;
  settings.file_found = true;
  std::string content{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (content.starts_with("\xEF\xBB\xBF")) content.erase(0, 3);

  std::string* const fields[] = {&settings.host,    &settings.user_name, &settings.password, &settings.port,
                                 &settings.driver,  &settings.scheme,    &settings.cafile,   &settings.read_timeout,
                                 &settings.retries, &settings.compress,  &settings.batch};
  static constexpr std::string_view keys[] = {"host",   "user_name",    "password", "port",     "driver", "scheme",
                                              "cafile", "read_timeout", "retries",  "compress", "batch"};
  constexpr int kKeys = static_cast<int>(std::size(keys));
  static_assert(std::size(keys) == std::size(fields));
  bool seen[kKeys] = {};
  bool in_set = false;
  std::string_view rest = content;
  while (!rest.empty()) {
    const std::size_t eol = rest.find_first_of("\r\n");
    std::string_view line = trim_blanks(rest.substr(0, eol));
    rest.remove_prefix(eol == std::string_view::npos ? rest.size() : eol + 1);
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      const std::size_t close = line.find(']');
      in_set = close != std::string_view::npos && same_name(trim_blanks(line.substr(1, close - 1)), "set");
      settings.section_found = settings.section_found || in_set;
      continue;
    }
    const std::size_t eq = line.find('=');
    if (!in_set || eq == std::string_view::npos) continue;
    const std::string_view key = trim_blanks(line.substr(0, eq));
    for (int i = 0; i < kKeys; ++i) {
      if (!seen[i] && same_name(key, keys[i])) {
        seen[i] = true;
        *fields[i] = unquote(trim_blanks(line.substr(eq + 1)));
      }
    }
  }
  return settings;
}

std::string query_endpoint(const ServiceSettings& s) {
  return s.scheme + "://" + s.host + ":" + s.port + "/Vark/" + s.driver + "/index.php";
}

std::string script_endpoint(const ServiceSettings& s) {
  return s.scheme + "://" + s.host + ":" + s.port + "/Vark/" + s.driver + "/sql_scripts.php";
}

}  // namespace pos

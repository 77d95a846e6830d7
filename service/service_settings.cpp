#include "service/service_settings.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <span>
#include <string_view>
#include <vector>

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

// Reads the `keys` of `section` into `values` (a key not found leaves its value alone). False when
// the file cannot be read; `section_found` says whether it has the section.
bool read_ini_section(const std::filesystem::path& ini_file, std::string_view section,
                      std::span<const std::string_view> keys, std::span<std::string* const> values,
                      bool& section_found) {
  std::ifstream in(ini_file, std::ios::binary);
  if (!in) return false;
  std::string content{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (content.starts_with("\xEF\xBB\xBF")) content.erase(0, 3);

  std::vector<bool> seen(keys.size());
  bool in_section = false;
  std::string_view rest = content;
  while (!rest.empty()) {
    const std::size_t eol = rest.find_first_of("\r\n");
    std::string_view line = trim_blanks(rest.substr(0, eol));
    rest.remove_prefix(eol == std::string_view::npos ? rest.size() : eol + 1);
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      const std::size_t close = line.find(']');
      in_section = close != std::string_view::npos && same_name(trim_blanks(line.substr(1, close - 1)), section);
      section_found = section_found || in_section;
      continue;
    }
    const std::size_t eq = line.find('=');
    if (!in_section || eq == std::string_view::npos) continue;
    const std::string_view key = trim_blanks(line.substr(0, eq));
    for (std::size_t i = 0; i < keys.size(); ++i) {
      if (!seen[i] && same_name(key, keys[i])) {
        seen[i] = true;
        *values[i] = unquote(trim_blanks(line.substr(eq + 1)));
      }
    }
  }
  return true;
}

}  // namespace

ServiceSettings read_service_settings(const std::filesystem::path& ini_file) {
  ServiceSettings settings;
  std::string* const fields[] = {&settings.host,    &settings.user_name, &settings.password, &settings.port,
                                 &settings.driver,  &settings.scheme,    &settings.cafile,   &settings.read_timeout,
                                 &settings.retries, &settings.compress,  &settings.batch};
  static constexpr std::string_view keys[] = {"host",   "user_name",    "password", "port",     "driver", "scheme",
                                              "cafile", "read_timeout", "retries",  "compress", "batch"};
  static_assert(std::size(keys) == std::size(fields));
  settings.file_found = read_ini_section(ini_file, "set", keys, fields, settings.section_found);
  return settings;
}

LocalDbSignIn read_local_db_sign_in(const std::filesystem::path& ini_file) {
  LocalDbSignIn sign_in;
  std::string user, password;
  std::string* const values[] = {&user, &password};
  static constexpr std::string_view keys[] = {"user", "password"};
  bool found = false;
  read_ini_section(ini_file, "localdb", keys, values, found);
  if (!user.empty()) sign_in.user = user;
  if (!password.empty()) sign_in.password = password;
  sign_in.from_settings = !user.empty() || !password.empty();
  return sign_in;
}

std::string query_endpoint(const ServiceSettings& s) {
  return s.scheme + "://" + s.host + ":" + s.port + "/Vark/" + s.driver + "/index.php";
}

std::string script_endpoint(const ServiceSettings& s) {
  return s.scheme + "://" + s.host + ":" + s.port + "/Vark/" + s.driver + "/sql_scripts.php";
}

}  // namespace pos

#include "service/service_settings.h"

#include <ini.h>
#include <strings.h>

#include <fstream>
#include <iterator>
#include <string_view>

namespace pos {
namespace {

struct Reader {
  std::string_view rest;
};

// Feeds inih one line at a time with its leading blanks removed, so that an indented key is read
// as a key and not as the continuation of the previous value. A line too long for inih's buffer
// is cut instead of spilling into a second line.
char* read_line(char* str, int num, void* stream) {
  auto& r = *static_cast<Reader*>(stream);
  if (r.rest.empty() || num < 2) return nullptr;
  std::size_t end = r.rest.find('\n');
  end = end == std::string_view::npos ? r.rest.size() : end + 1;
  std::string_view line = r.rest.substr(0, end);
  r.rest.remove_prefix(end);
  while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
  const std::size_t n = std::min(line.size(), static_cast<std::size_t>(num - 1));
  line.copy(str, n);
  str[n] = '\0';
  return str;
}

std::string unquote(std::string value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

struct Target {
  ServiceSettings settings;
  bool seen[5] = {};
};

int on_entry(void* user, const char* section, const char* name, const char* value) {
  auto& t = *static_cast<Target*>(user);
  if (strcasecmp(section, "set") != 0) return 1;
  std::string* const fields[] = {&t.settings.host, &t.settings.user_name, &t.settings.password, &t.settings.port,
                                 &t.settings.driver};
  static const char* const keys[] = {"host", "user_name", "password", "port", "driver"};
  for (int i = 0; i < 5; ++i) {
    if (strcasecmp(name, keys[i]) == 0 && !t.seen[i]) {
      t.seen[i] = true;
      *fields[i] = unquote(value);
    }
  }
  return 1;
}

}  // namespace

ServiceSettings read_service_settings(const std::filesystem::path& ini_file) {
  std::ifstream in(ini_file, std::ios::binary);
  if (!in) return {};
  const std::string content{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  Reader reader{content};
  Target target;
  // Lines that are not key=value are skipped; the result is the settings read so far either way.
  ini_parse_stream(&read_line, &reader, &on_entry, &target);
  return target.settings;
}

std::string query_endpoint(const ServiceSettings& s) {
  return "http://" + s.host + ":" + s.port + "/Vark/" + s.driver + "/index.php";
}

std::string script_endpoint(const ServiceSettings& s) {
  return "http://" + s.host + ":" + s.port + "/Vark/" + s.driver + "/sql_scripts.php";
}

}  // namespace pos

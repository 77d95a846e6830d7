// Arbitrary bytes as httpset.ini. Reading the settings must never fail or crash, and a value never
// reaches past its own line.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "service/service_settings.h"

namespace {

void check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "property broken: %s\n", what);
    std::abort();
  }
}

const std::filesystem::path& ini_file() {
  // In memory when the system has a tmpfs for it: the file is written for every input.
  static const std::filesystem::path folder =
      std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path();
  static const struct Scratch {
    std::filesystem::path path;
    ~Scratch() {
      std::error_code ec;
      std::filesystem::remove(path, ec);
    }
  } file{folder / ("ini-fuzz-" + std::to_string(::getpid()) + ".ini")};
  return file.path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  {
    std::ofstream out(ini_file(), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  const pos::ServiceSettings s = pos::read_service_settings(ini_file());
  check(s.file_found, "the file is found");
  const std::string content(reinterpret_cast<const char*>(data), size);
  const pos::ServiceSettings defaults;
  const std::string* values[] = {&s.host, &s.user_name, &s.password, &s.port, &s.driver};
  const std::string* fallbacks[] = {&defaults.host, &defaults.user_name, &defaults.password, &defaults.port,
                                    &defaults.driver};
  for (int i = 0; i < 5; ++i) {
    const std::string& v = *values[i];
    check(v.find_first_of("\r\n") == std::string::npos, "a value stays on its line");
    if (v == *fallbacks[i]) continue;
    check(s.section_found, "without [set] every key keeps its default");
    check(content.find(v) != std::string::npos, "a value is a piece of the file");
  }
  check(pos::query_endpoint(s).starts_with("http://"), "the endpoint is built");
  return 0;
}

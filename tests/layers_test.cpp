// The folders' #include lines follow the one-way dependencies of the layout:
// app -> jobs -> jobs/kit -> (service, localdb) -> (packet, text); headoffice uses packet and text
// only; tools use localdb. Only app may include Qt.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>

namespace {

namespace fs = std::filesystem;

const std::map<std::string, std::set<std::string>> kMayInclude = {
    {"text", {"text"}},
    {"packet", {"packet", "text"}},
    {"localdb", {"localdb", "text"}},
    {"service", {"service", "packet", "text"}},
    {"jobs/kit", {"jobs/kit", "service", "localdb", "packet", "text"}},
    {"jobs", {"jobs", "jobs/kit", "service", "localdb", "packet", "text"}},
    {"app", {"app", "jobs", "jobs/kit", "service", "localdb", "packet", "text"}},
    {"headoffice", {"headoffice", "packet", "text"}},
    {"tools", {"tools", "localdb", "text"}},
};

TEST(Layers, EveryFolderIncludesOnlyWhatItMayDependOn) {
  static const std::regex project_include(R"(^\s*#\s*include\s*"([a-z_]+)/)");
  static const std::regex qt_include(R"(^\s*#\s*include\s*<Q)");
  std::size_t files = 0;
  for (const auto& [folder, allowed] : kMayInclude) {
    for (const auto& entry : fs::recursive_directory_iterator(fs::path(SOURCE_DIR) / folder)) {
      const auto ext = entry.path().extension();
      if (ext != ".cpp" && ext != ".h") continue;
      if (folder == "jobs" && entry.path().parent_path().filename() == "kit") continue;  // its own folder
      ++files;
      std::ifstream in(entry.path());
      std::string line;
      for (int number = 1; std::getline(in, line); ++number) {
        const std::string where = entry.path().string() + ":" + std::to_string(number) + ": " + line;
        std::smatch m;
        if (std::regex_search(line, m, project_include) && kMayInclude.count(m[1])) {
          const std::string target =
              m[1] == "jobs" && line.find("\"jobs/kit/") != std::string::npos ? std::string("jobs/kit") : m[1].str();
          EXPECT_TRUE(allowed.count(target)) << where;
        }
        if (folder != "app") {
          EXPECT_FALSE(std::regex_search(line, qt_include)) << where;
        }
      }
    }
  }
  EXPECT_GT(files, 100u);
}

}  // namespace

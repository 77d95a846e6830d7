#include "app/command_line.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <numeric>
#include <string_view>

#include "jobs/job_table.h"
#include "text/number_format.h"

namespace pos {

const char* const kUsage =
    "usage: pos-updater [MODE] [--home DIR] [--local-db CONN] [--headless] [--jobs LIST] [--summary] [--history]\n"
    "  MODE        0 changes update (default), 1 full update, -1 none\n"
    "  --home      terminal folder with MCH_NO.TXT, httpset.ini and Data/POS_LOC.GDB\n"
    "  --local-db  local database: HOST:PATH through a server, or a file path (embedded)\n"
    "  --headless  no window: one run, log on stdout, messages on stderr\n"
    "  --jobs      entries to tick before the run, e.g. 0,5, or all (mode 0 ticks all)\n"
    "  --summary   with --headless: what each job did (rows fetched, written, refused, failed) on stderr\n"
    "  --history   the last runs recorded in the terminal folder's runs.jsonl, as a table\n"
    "  --help      this text; --version: the program's version\n"
    "exit status: 0 completed, 1 ended early, 2 did not start, 3 completed with rows that failed or were\n"
    "refused or statements head office did not confirm, 4 another run holds the terminal folder\n";

const char* const kVersion = "pos-updater " POS_VERSION;

namespace {

std::vector<int> parse_jobs(const std::string& list) {
  std::vector<int> out;
  if (list == "all") {
    out.resize(kJobCount);
    std::iota(out.begin(), out.end(), 0);
    return out;
  }
  std::size_t at = 0;
  while (at <= list.size()) {
    std::size_t end = list.find(',', at);
    if (end == std::string::npos) end = list.size();
    std::string item = list.substr(at, end - at);
    int n = -1;
    auto r = std::from_chars(item.data(), item.data() + item.size(), n);
    if (item.empty() || r.ec != std::errc() || r.ptr != item.data() + item.size() || n < 0 ||
        static_cast<std::size_t>(n) >= kJobCount)
      throw UsageError("--jobs takes all, or job numbers 0 to " + std::to_string(kJobCount - 1) +
                       " separated by commas, not '" + list + "'");
    out.push_back(n);
    at = end + 1;
  }
  return out;
}

// The window toolkit's own options, which it takes out of the arguments itself; those before the
// last blank take a value.
constexpr std::array<std::string_view, 12> kToolkitValueOptions = {"-platform",        "-platformpluginpath",
                                                                   "-platformtheme",   "-plugin",
                                                                   "-qwindowgeometry", "-qwindowicon",
                                                                   "-qwindowtitle",    "-display",
                                                                   "-geometry",        "-style",
                                                                   "-stylesheet",      "-session"};
constexpr std::array<std::string_view, 4> kToolkitFlags = {"-reverse", "-nograb", "-dograb", "-widgetcount"};

template <std::size_t N>
bool one_of(const std::array<std::string_view, N>& set, const std::string& a) {
  return std::find(set.begin(), set.end(), a) != set.end();
}

// The mode as the window's selector takes the first argument.
int mode_of(const std::string& argument) {
  const int mode = parse_integer_or(argument, 0);
  return mode < -1 ? -1 : mode > 1 ? 1 : mode;
}

}  // namespace

CommandLine parse_command_line(const std::vector<std::string>& args, const std::filesystem::path& exe_folder) {
  CommandLine cl;
  cl.home = exe_folder;
  // The first argument is the mode unless it is an option.
  std::size_t i = 0;
  if (!args.empty() && args[0].rfind("--", 0) != 0) {
    cl.mode = mode_of(args[0]);
    if (args[0] != "0" && args[0] != "1" && args[0] != "-1") cl.mode_given = args[0];
    i = 1;
  }
  for (; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&]() -> const std::string& {
      if (i + 1 >= args.size()) throw UsageError(a + " needs a value");
      return args[++i];
    };
    if (a == "--home") {
      cl.home = std::filesystem::absolute(value());
      cl.home_named = true;
    } else if (a == "--local-db") {
      cl.local_db = value();
    } else if (a == "--headless") {
      cl.headless = true;
    } else if (a == "--jobs") {
      cl.jobs = parse_jobs(value());
    } else if (a == "--summary") {
      cl.summary = true;
    } else if (a == "--history") {
      cl.history = true;
    } else if (a == "--help" || a == "-h") {
      cl.help = true;
    } else if (a == "--version") {
      cl.version = true;
    } else if (a.rfind("--", 0) == 0) {
      throw UsageError("unknown option '" + a + "'");
    } else if (one_of(kToolkitValueOptions, a)) {
      cl.toolkit.push_back(a);
      cl.toolkit.push_back(value());
    } else if (one_of(kToolkitFlags, a)) {
      cl.toolkit.push_back(a);
    } else {
      cl.ignored.push_back(a);
    }
  }
  return cl;
}

}  // namespace pos

#pragma once
// pos-updater [MODE] [--home DIR] [--local-db CONN] [--headless] [--jobs LIST] [--summary] [--history]:
// read once at start; nothing after it looks at the program's arguments.

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace pos {

struct CommandLine {
  // The mode as the window's mode selector reads the first argument: 0 when it is missing or not an
  // integer, else clamped to -1..1.
  int mode = 0;
  // The first argument when it is not a mode as it stands ("5", "abc"); empty for 0, 1, -1 or none.
  std::string mode_given;
  std::filesystem::path home;  // --home made absolute, else the executable's folder
  bool home_named = false;     // --home was given
  std::string local_db;        // --local-db
  bool headless = false;
  std::vector<int> jobs;             // --jobs 0,6,7, or every job with --jobs all
  std::vector<std::string> ignored;  // plain arguments after the mode, which the program ignores
  std::vector<std::string> toolkit;  // the window toolkit's own options (-platform offscreen), left to it
  bool summary = false;              // --summary: what each job did, on stderr after the run
  bool history = false;              // --history: the recorded runs, no run
  bool help = false;                 // --help
  bool version = false;              // --version
};

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads the options; the first argument is the mode whatever it is unless it is an option, further
// plain arguments are collected in `ignored`. Throws UsageError for an unknown option or a missing
// value.
CommandLine parse_command_line(const std::vector<std::string>& args, const std::filesystem::path& exe_folder);

extern const char* const kUsage;
extern const char* const kVersion;  // "pos-updater <version>"

}  // namespace pos

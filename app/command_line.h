#pragma once
// pos-updater [MODE] [--home DIR] [--local-db CONN] [--headless] [--jobs LIST]

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace pos {

struct CommandLine {
  std::vector<std::string> args;  // all arguments after the program name (the first is MODE)
  std::filesystem::path home;     // --home made absolute, else the executable's folder
  bool home_named = false;        // --home was given
  std::string local_db;           // --local-db
  bool headless = false;
  std::vector<int> jobs;             // --jobs 0,6,7
  std::vector<std::string> ignored;  // plain arguments after the mode, which the program ignores
  bool summary = false;              // --summary: what each job did, on stderr after the run
  bool help = false;                 // --help
  bool version = false;              // --version
};

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads the options; the first argument stays the mode whatever it is, further plain arguments
// are collected in `ignored`. Throws UsageError for an unknown option or a missing value.
CommandLine parse_command_line(const std::vector<std::string>& args, const std::filesystem::path& exe_folder);

extern const char* const kUsage;
extern const char* const kVersion;  // "pos-updater <version>"

}  // namespace pos

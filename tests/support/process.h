#pragma once
// Runs a program as a user or cron would and collects what it printed and how it ended.

#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "tests/support/temp_folder.h"

namespace pos::testing {

struct Outcome {
  int status = -1;  // exit status; -1 when it did not exit normally
  std::string out, err;
};

// Runs `command` through the shell.
inline Outcome run_command(const std::string& command) {
  TempFolder folder("poscmd");
  const auto err_file = folder / "stderr.txt";
  Outcome o;
  FILE* p = popen((command + " 2>" + err_file.string()).c_str(), "r");
  if (!p) return o;
  char buf[4096];
  while (std::size_t n = fread(buf, 1, sizeof buf, p)) o.out.append(buf, n);
  const int raw = pclose(p);
  o.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  if (FILE* e = fopen(err_file.c_str(), "r")) {
    while (std::size_t n = fread(buf, 1, sizeof buf, e)) o.err.append(buf, n);
    fclose(e);
  }
  return o;
}

}  // namespace pos::testing

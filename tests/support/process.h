#pragma once
// Runs a program as a user or cron would and collects what it printed and how it ended.

#include <sys/wait.h>
#include <unistd.h>

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

// Starts `command` through the shell (which execs it, so the pid is the program's own), its output
// going to the files given.
inline pid_t start_command(const std::string& command, const std::string& out_file, const std::string& err_file) {
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    const std::string line = "exec " + command + " >" + out_file + " 2>" + err_file;
    execl("/bin/sh", "sh", "-c", line.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  return pid;
}

// Waits for a started command: its exit status, or minus the signal that ended it.
inline int finish_command(pid_t pid) {
  int raw = 0;
  if (waitpid(pid, &raw, 0) != pid) return -1000;
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -WTERMSIG(raw);
}

}  // namespace pos::testing

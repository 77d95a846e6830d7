#pragma once
// The front without a window: start-up, one run, an exit status.

#include "app/command_line.h"
#include "app/exit_status.h"

namespace pos {

// Locks the terminal folder, starts as the program does, runs once with the entries of --jobs
// ticked, and returns the exit status (app/exit_status.h). Log lines go to stdout (UTF-8), message
// boxes and warnings to stderr.
int run_headless(const CommandLine& cl);

}  // namespace pos

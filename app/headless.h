#pragma once
// The front without a window: start-up, one run, an exit status.

#include "app/command_line.h"

namespace pos {

// Exit statuses.
constexpr int kRunCompleted = 0;
constexpr int kRunEndedEarly = 1;
constexpr int kStartupFailed = 2;
constexpr int kRunCompletedWithDataErrors = 3;

// Starts as the program does, runs once with the entries of --jobs ticked, and returns the exit
// status. Log lines go to stdout (UTF-8), message boxes to stderr.
int run_headless(const CommandLine& cl);

}  // namespace pos

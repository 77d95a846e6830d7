#pragma once
// How a run ended, as the headless front's exit status and the run history's "exit".

namespace pos {

constexpr int kRunCompleted = 0;
// The run ended before its end: an error, a lost service or database, a stop signal.
constexpr int kRunEndedEarly = 1;
// Start-up failed: the settings, MCH_NO.TXT, the terminal folder or its database.
constexpr int kStartupFailed = 2;
// The run completed, but a row failed or was refused, or head office did not confirm a statement.
constexpr int kRunCompletedWithDataErrors = 3;
// Another run holds the terminal folder (or the embedded engine of another process its database):
// this one did not start.
constexpr int kFolderBusy = 4;

}  // namespace pos

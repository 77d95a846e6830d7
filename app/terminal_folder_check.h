#pragma once
// What pos-updater makes sure of the terminal folder before it writes anything in it: that it holds
// a terminal, that every file written there stays its owner's, and that the run history can be kept.

#include <filesystem>
#include <stdexcept>
#include <string>

namespace pos {

// The folder cannot be used by this run; what() says why and what to do (UTF-8).
class FolderRefused : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Refuses a folder without MCH_NO.TXT. `named`: the folder was given with --home (else it is the
// program's own folder).
void check_terminal_folder(const std::filesystem::path& home, bool named);

// Root in a folder another user owns goes on as that user (its groups included), so that the lock,
// the history and the answers written there stay the owner's; any other user who does not own the
// folder is refused. Call it before anything is written, and after the window's display is open.
void become_folder_owner(const std::filesystem::path& home);

// Refuses a run history (runs.jsonl) or a folder that this user cannot read and write.
void check_run_history(const std::filesystem::path& home);

// The name of the user who owns `path` ("uid 1001" without one); empty when it cannot be seen.
std::string owner_name(const std::filesystem::path& path);

}  // namespace pos

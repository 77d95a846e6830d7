#pragma once
// The diagnostic files the service operations leave in the terminal folder, and the line rules
// they use. A line break is CR LF, as in every text this program sends.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace pos {

// Splits at CR LF, CR or LF; a break at the very end does not start another line.
std::vector<std::string> split_lines(std::string_view text);

// Every line followed by CR LF.
std::string join_lines(const std::vector<std::string>& lines);

// Whether a file of another owner found in the folder is kept (the lock file, which runs of
// different users must share) or replaced like any other file that is not plainly this user's.
enum class OtherOwner { Replace, Keep };

// Opens `file` in the terminal folder for writing (and reading with `read_too`), readable and
// writable by its owner only (an existing file is narrowed to that), never through a symbolic
// link: a symbolic link, a file of another kind, one with more than one name (a hard link) or,
// with OtherOwner::Replace, one of another owner is removed (only its name; what it points to
// stays as it is) and a new file made in its place. The descriptor, or -1 with errno set.
int open_private_file(const std::filesystem::path& file, bool read_too = false,
                      OtherOwner other_owner = OtherOwner::Replace);

// Creates or overwrites `file` with `content`, readable by its owner only. Throws DiagnosticFileError.
void write_diagnostic_file(const std::filesystem::path& file, std::string_view content);

// A diagnostic file written piece by piece: created (owner only) or overwritten in place, and cut
// to what was written when it is finished. Every failure throws DiagnosticFileError.
class DiagnosticFile {
 public:
  explicit DiagnosticFile(std::filesystem::path file);
  ~DiagnosticFile();
  DiagnosticFile(const DiagnosticFile&) = delete;
  DiagnosticFile& operator=(const DiagnosticFile&) = delete;

  void write(std::string_view piece);
  void finish();

 private:
  [[noreturn]] void fail(int err);

  std::filesystem::path file_;
  int fd_ = -1;
  std::size_t written_ = 0;
};

}  // namespace pos

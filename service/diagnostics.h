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

// Opens `file` for writing (and reading with `read_too`), creating it readable and writable by its
// owner only and narrowing an existing one to that. The descriptor, or -1 with errno set.
int open_private_file(const std::filesystem::path& file, bool read_too = false);

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

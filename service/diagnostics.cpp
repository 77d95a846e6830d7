#include "service/diagnostics.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "service/service_errors.h"

namespace pos {

int open_private_file(const std::filesystem::path& file, bool read_too) {
  const int fd = ::open(file.c_str(), (read_too ? O_RDWR : O_WRONLY) | O_CREAT | O_CLOEXEC, 0600);
  // A file made earlier with a wider mode is narrowed; one of another owner stays as it is.
  if (fd >= 0) (void)::fchmod(fd, 0600);
  return fd;
}

std::vector<std::string> split_lines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') continue;
    lines.emplace_back(text.substr(start, i - start));
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.emplace_back(text.substr(start));
  return lines;
}

std::string join_lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) {
    text += line;
    text += "\r\n";
  }
  return text;
}

// Overwrites in place and then cuts the file to the new length: truncating to nothing first
// frees and reallocates the file's blocks, which costs far more than the write on every answer.
DiagnosticFile::DiagnosticFile(std::filesystem::path file) : file_(std::move(file)) {
  fd_ = open_private_file(file_);
  if (fd_ < 0) fail(errno);
}

DiagnosticFile::~DiagnosticFile() {
  if (fd_ >= 0) ::close(fd_);
}

void DiagnosticFile::fail(int err) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  std::string message = "Cannot create file \"" + file_.string() + "\".";
  if (err != 0) message += std::string(" ") + std::strerror(err);
  throw DiagnosticFileError(message);
}

void DiagnosticFile::write(std::string_view piece) {
  while (!piece.empty()) {
    const ssize_t n = ::write(fd_, piece.data(), piece.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) fail(errno);
    piece.remove_prefix(static_cast<std::size_t>(n));
    written_ += static_cast<std::size_t>(n);
  }
}

void DiagnosticFile::finish() {
  if (::ftruncate(fd_, static_cast<off_t>(written_)) != 0) fail(errno);
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) fail(errno);
}

void write_diagnostic_file(const std::filesystem::path& file, std::string_view content) {
  DiagnosticFile out(file);
  out.write(content);
  out.finish();
}

}  // namespace pos

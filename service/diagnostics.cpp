#include "service/diagnostics.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "service/service_errors.h"

namespace pos {

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
void write_diagnostic_file(const std::filesystem::path& file, std::string_view content) {
  auto fail = [&](int err) {
    std::string message = "Cannot create file \"" + file.string() + "\".";
    if (err != 0) message += std::string(" ") + std::strerror(err);
    throw DiagnosticFileError(message);
  };
  int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) fail(errno);
  const char* at = content.data();
  std::size_t left = content.size();
  while (left > 0) {
    ssize_t n = ::write(fd, at, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      int err = errno;
      ::close(fd);
      fail(err);
    }
    at += n;
    left -= static_cast<std::size_t>(n);
  }
  if (::ftruncate(fd, static_cast<off_t>(content.size())) != 0) {
    int err = errno;
    ::close(fd);
    fail(err);
  }
  if (::close(fd) != 0) fail(errno);
}

}  // namespace pos

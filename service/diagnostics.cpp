#include "service/diagnostics.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "service/service_errors.h"

namespace pos {

namespace {

// The descriptor in blocking mode (it was opened without blocking, so that a planted FIFO does not
// hold the run), narrowed to its owner.
int ready(int fd) {
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  (void)::fchmod(fd, 0600);
  return fd;
}

}  // namespace

int open_private_file(const std::filesystem::path& file, bool read_too, OtherOwner other_owner) {
  const int flags = (read_too ? O_RDWR : O_WRONLY) | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
  for (int attempt = 0; attempt < 3; ++attempt) {
    int fd = ::open(file.c_str(), flags | O_CREAT, 0600);
    // ELOOP: a symbolic link; ENXIO: a FIFO nobody reads; EACCES: another user's file.
    bool replace =
        fd < 0 && (errno == ELOOP || errno == ENXIO || (errno == EACCES && other_owner == OtherOwner::Replace));
    if (fd < 0 && !replace) return -1;
    if (fd >= 0) {
      struct stat st {};
      if (::fstat(fd, &st) != 0) {
        const int err = errno;
        ::close(fd);
        errno = err;
        return -1;
      }
      replace =
          !S_ISREG(st.st_mode) || st.st_nlink > 1 || (other_owner == OtherOwner::Replace && st.st_uid != ::geteuid());
      if (!replace) return ready(fd);
      ::close(fd);
    }
    if (::unlink(file.c_str()) != 0 && errno != ENOENT) return -1;
    fd = ::open(file.c_str(), flags | O_CREAT | O_EXCL, 0600);
    if (fd >= 0) return ready(fd);
    if (errno != EEXIST) return -1;  // planted again meanwhile: look again
  }
  return -1;
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

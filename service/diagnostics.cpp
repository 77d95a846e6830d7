#include "service/diagnostics.h"

#include <cerrno>
#include <cstring>
#include <fstream>

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

void write_diagnostic_file(const std::filesystem::path& file, std::string_view content) {
  errno = 0;
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  if (out) out.write(content.data(), static_cast<std::streamsize>(content.size()));
  if (out) out.close();
  if (!out) {
    const int err = errno;
    std::string message = "Cannot create file \"" + file.string() + "\".";
    if (err != 0) message += std::string(" ") + std::strerror(err);
    throw DiagnosticFileError(message);
  }
}

}  // namespace pos

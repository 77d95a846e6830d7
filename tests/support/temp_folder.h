#pragma once
// A new empty folder under the system's temporary folder, removed with its content when the object
// dies (unless kept).

#include <stdlib.h>

#include <filesystem>
#include <stdexcept>
#include <string>

namespace pos::testing {

class TempFolder {
 public:
  explicit TempFolder(const std::string& prefix = "pos") {
    std::string templ = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
    if (::mkdtemp(templ.data()) == nullptr) throw std::runtime_error("cannot make a temporary folder " + templ);
    path_ = templ;
  }
  ~TempFolder() {
    std::error_code ec;
    if (!kept_) std::filesystem::remove_all(path_, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::filesystem::path& child) const { return path_ / child; }
  std::string string() const { return path_.string(); }
  void keep() { kept_ = true; }

 private:
  std::filesystem::path path_;
  bool kept_ = false;
};

}  // namespace pos::testing

#include "app/folder_exposure.h"

#include <sys/stat.h>

#include <cstdio>

namespace pos {

std::string exposed_folder_warning(const std::filesystem::path& home) {
  for (const auto& folder : {home, home / "Data"}) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) continue;
    const mode_t mode = st.st_mode & 07777;
    if ((mode & (S_IWGRP | S_IWOTH)) == 0) continue;
    char octal[8];
    std::snprintf(octal, sizeof octal, "%04o", static_cast<unsigned>(mode));
    const char* who = (mode & S_IWOTH) ? "every user" : "its group";
    return "the folder " + folder.string() + " may be written by " + who + " (mode " + octal +
           "): another user could plant files there for this program to write or read; make it its owner's alone "
           "(chmod go-w " +
           folder.string() + ")";
  }
  return "";
}

}  // namespace pos

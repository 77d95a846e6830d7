#pragma once
// The terminal folder and its Data folder are meant to be their owner's alone: another user who
// may write in them can plant files there for this program to write or read.

#include <filesystem>
#include <string>

namespace pos {

// A warning (UTF-8) for the first of `home` and `home`/Data that its group or others may write;
// empty when neither may (or the folder is not there).
std::string exposed_folder_warning(const std::filesystem::path& home);

}  // namespace pos

#pragma once
// What a listening service needs from the system: why a port cannot be bound, and open files.

#include <cstddef>
#include <string>

namespace pos::headoffice {

// Why `host`:`port` cannot be bound, found by trying it.
std::string why_not_bindable(const std::string& host, int port);

// Raises this process's limit of open files to its hard limit; returns the limit now in force.
std::size_t raise_open_file_limit();

}  // namespace pos::headoffice

#pragma once
// Waiting on a socket with a deadline.

#include <chrono>

namespace pos::headoffice {

// Waits until `fd` is ready for `events` (poll flags); false when `until` passes first or on an error.
bool wait_until(int fd, short events, std::chrono::steady_clock::time_point until);

}  // namespace pos::headoffice

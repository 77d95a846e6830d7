#include "headoffice/transport/socket_wait.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>

namespace pos::headoffice {

bool wait_until(int fd, short events, std::chrono::steady_clock::time_point until) {
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - std::chrono::steady_clock::now()).count();
    if (left <= 0) return false;
    pollfd p{fd, events, 0};
    const int n = ::poll(&p, 1, static_cast<int>(std::min<long long>(left, 60'000)));
    if (n > 0) return true;
    if (n < 0 && errno != EINTR) return false;
  }
}

}  // namespace pos::headoffice

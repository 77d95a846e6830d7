#include "service/run_stop.h"

#include <atomic>

namespace pos {
namespace {
std::atomic<int> requested{0};
}

void request_run_stop(int signal_number) noexcept { requested.store(signal_number == 0 ? -1 : signal_number); }
bool run_stop_requested() noexcept { return requested.load() != 0; }
int run_stop_signal() noexcept { return requested.load() > 0 ? requested.load() : 0; }
void clear_run_stop() noexcept { requested.store(0); }

void stop_point() {
  if (run_stop_requested()) throw RunStopped{};
}

}  // namespace pos

#include "app/stop_signals.h"

#include <pthread.h>
#include <signal.h>

#include <mutex>
#include <thread>

#include "service/run_stop.h"

namespace pos {
namespace {

std::mutex handler_mutex;
std::function<void()> stop_handler;

sigset_t stop_set() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGINT);
  return set;
}

}  // namespace

void watch_stop_signals() {
  const sigset_t set = stop_set();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  std::thread([set] {
    for (;;) {
      int signal_number = 0;
      if (sigwait(&set, &signal_number) != 0) continue;
      request_run_stop(signal_number);
      std::function<void()> handler;
      {
        std::lock_guard lock(handler_mutex);
        handler = stop_handler;
      }
      if (handler) handler();
    }
  }).detach();
}

void on_stop_signal(std::function<void()> handler) {
  std::lock_guard lock(handler_mutex);
  stop_handler = std::move(handler);
}

}  // namespace pos

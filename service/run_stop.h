#pragma once
// A request to end the run at its next safe point (SIGTERM or SIGINT). The run checks it before each
// row, before each request to the service and while a transfer waits; what is done stays committed
// and nothing more is acknowledged.

namespace pos {

void request_run_stop(int signal_number) noexcept;
bool run_stop_requested() noexcept;
int run_stop_signal() noexcept;  // the signal that asked for the stop; 0 when none did
void clear_run_stop() noexcept;

// Thrown at a safe point once a stop is requested. Not a std::exception on purpose: no handler that
// reports an error per row or per request may take it for one.
struct RunStopped {};

// Throws RunStopped when a stop is requested.
void stop_point();

}  // namespace pos

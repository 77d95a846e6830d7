#pragma once
// SIGTERM and SIGINT end a run at its next safe point instead of killing the process.

#include <functional>

namespace pos {

// Blocks SIGTERM and SIGINT in the calling thread, and so in every thread started after it (the
// database engine's included), and starts a thread that takes them: each asks the run to stop and
// then calls the handler given to on_stop_signal, if any. Call it first thing in main.
void watch_stop_signals();

// The handler runs on the signal thread; it replaces the one before.
void on_stop_signal(std::function<void()> handler);

}  // namespace pos

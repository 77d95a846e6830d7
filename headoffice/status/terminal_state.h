#pragma once
// The states the status page sorts terminals by, worst first, and what to do about each.

#include <chrono>
#include <cstddef>
#include <string>

namespace pos::headoffice {

// Worst first:
// - silent: asked nothing for longer than the threshold (or never), and no run is going;
// - behind: an entry waiting for it in a change log is older than the threshold;
// - failing: its last run got an error answer, its sign-ins are refused since it last signed in,
//   or head office has no MCH_ITEM row for it;
// - stopped: its last run began and neither reached its last job nor is still going;
// - running: a run is going;
// - current: none of these.
enum class TerminalState { Silent, Behind, Failing, Stopped, Running, Current };
inline constexpr std::size_t kTerminalStates = 6;

const char* state_name(TerminalState state);  // "silent", "behind", ...

// One line on what head office should do about a terminal in `state`; `threshold` as the page
// judges by it.
std::string what_to_do(TerminalState state, std::chrono::seconds threshold);

// Where the last run begun stands.
enum class RunProgress { None, Running, Stopped, Ended };

// A run that has not reached its last job is still going while it is younger than the longest
// run of its terminal that reached its last job plus this, or asked something less than this ago.
inline constexpr std::chrono::minutes kRunGrace{5};

}  // namespace pos::headoffice

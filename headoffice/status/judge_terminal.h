#pragma once
// Judges one terminal's record: where its last run stands, its state and why.

#include <chrono>
#include <string>

#include "headoffice/status/fleet_status.h"

namespace pos::headoffice {

// Sets `t.run`, `t.state` and `t.reason` as of `now` (UTC text); terminal_state.h has the rules.
void judge_terminal(TerminalStatus& t, std::chrono::seconds threshold, const std::string& now);

}  // namespace pos::headoffice

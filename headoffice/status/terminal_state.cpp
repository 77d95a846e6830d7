#include "headoffice/status/terminal_state.h"

#include "headoffice/status/utc_time.h"

namespace pos::headoffice {

const char* state_name(TerminalState state) {
  switch (state) {
    case TerminalState::Silent:
      return "silent";
    case TerminalState::Behind:
      return "behind";
    case TerminalState::Failing:
      return "failing";
    case TerminalState::Stopped:
      return "stopped";
    case TerminalState::Running:
      return "running";
    case TerminalState::Current:
      break;
  }
  return "current";
}

std::string what_to_do(TerminalState state, std::chrono::seconds threshold) {
  const std::string limit = duration_text(threshold.count());
  switch (state) {
    case TerminalState::Silent:
      return "asked nothing for " + limit +
             " or never: check that the terminal is on and reaches head office (host= and port= in its "
             "httpset.ini) and that its timers run (systemctl list-timers 'pos-updater-*'); one never seen "
             "is not set up yet (terminal-init).";
    case TerminalState::Behind:
      return "an entry has waited longer than " + limit +
             ": its runs do not take what head office logs; on the terminal, pos-updater --history shows how "
             "its runs end.";
    case TerminalState::Failing:
      return "fix what its row names: an error answer (the last error), a refused sign-in (user_name= and "
             "password= in [set] of its httpset.ini; a new password: headoffice-service terminals add), or no "
             "MCH_ITEM row (headoffice-service terminals add --name --store).";
    case TerminalState::Stopped:
      return "a run began and stopped before its last job (stopped, killed, power or link lost): the next run "
             "takes it up; if it repeats, see journalctl -u 'pos-updater-*' on the terminal.";
    case TerminalState::Running:
      return "a run is going: nothing to do; it shows as stopped once it has run a few minutes longer than its "
             "usual length without asking anything.";
    case TerminalState::Current:
      break;
  }
  return "its last run reached its last job and nothing waits long: nothing to do.";
}

}  // namespace pos::headoffice

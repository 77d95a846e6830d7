#include "headoffice/status/judge_terminal.h"

#include <algorithm>

#include "headoffice/status/utc_time.h"

namespace pos::headoffice {
namespace {

long long seconds(std::chrono::seconds s) { return static_cast<long long>(s.count()); }

// How long ago `when` was, or none when it is no time.
std::optional<long long> age(const std::string& when, const std::string& now) { return seconds_between(when, now); }

RunProgress progress(const TerminalStatus& t, const std::string& now) {
  if (t.run_began.empty()) return RunProgress::None;
  if (!t.run_ended.empty()) return RunProgress::Ended;
  const long long grace = seconds(kRunGrace);
  const long long expected = std::max(t.changes.seconds.value_or(0), t.full.seconds.value_or(0));
  const auto running_for = age(t.run_began, now);
  const auto quiet_for = age(t.last_seen, now);
  if ((running_for && *running_for <= expected + grace) || (quiet_for && *quiet_for <= grace))
    return RunProgress::Running;
  return RunProgress::Stopped;
}

// The terminal's last sign of life: a signed-in request or a refused sign-in, whichever is later.
std::string last_activity(const TerminalStatus& t) { return std::max(t.last_seen, t.failed_sign_ins.last); }

bool refused_since_signed_in(const TerminalStatus& t) {
  return t.failed_sign_ins.count > 0 && t.failed_sign_ins.last > t.last_seen;
}

}  // namespace

void judge_terminal(TerminalStatus& t, std::chrono::seconds threshold, const std::string& now) {
  t.run = progress(t, now);
  const long long limit = seconds(threshold);
  const auto quiet = age(last_activity(t), now);
  const Backlog* oldest = nullptr;
  for (const Backlog& b : t.backlog) {
    const auto waited = age(b.oldest, now);
    if (b.entries > 0 && waited && *waited > limit && (!oldest || b.oldest < oldest->oldest)) oldest = &b;
  }
  t.reason.clear();
  if (t.run != RunProgress::Running && (!quiet || *quiet > limit)) {
    t.state = TerminalState::Silent;
    if (refused_since_signed_in(t)) t.reason = "its last sign-ins were refused";
  } else if (oldest) {
    t.state = TerminalState::Behind;
    t.reason = std::string("its oldest entry (") + oldest->label + ") has waited " +
               duration_text(age(oldest->oldest, now).value_or(0));
  } else if (refused_since_signed_in(t)) {
    t.state = TerminalState::Failing;
    t.reason = "its sign-in is refused: check user_name= and password= in [set] of its httpset.ini";
  } else if (!t.registered) {
    t.state = TerminalState::Failing;
    t.reason = "head office has no MCH_ITEM row for it and sends it nothing: headoffice-service terminals add " +
               t.machine + " --name NAME --store STORE";
  } else if (!t.last_run_error.empty()) {
    t.state = TerminalState::Failing;
    t.reason = "its last run got an error answer";
  } else if (t.run == RunProgress::Stopped) {
    t.state = TerminalState::Stopped;
    t.reason =
        "its run that began " + duration_text(age(t.run_began, now).value_or(0)) + " ago stopped before its last job";
  } else if (t.run == RunProgress::Running) {
    t.state = TerminalState::Running;
  } else {
    t.state = TerminalState::Current;
  }
}

}  // namespace pos::headoffice

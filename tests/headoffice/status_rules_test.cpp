// How the status page judges a terminal from what the service recorded, and how it shows an error.

#include <gtest/gtest.h>

#include <functional>

#include "headoffice/status/error_text.h"
#include "headoffice/status/judge_terminal.h"
#include "headoffice/status/utc_time.h"

namespace pos::test {
namespace {

using namespace pos::headoffice;

constexpr std::time_t kNow = 1'797'000'000;
const std::string now = utc_text(kNow);
std::string minutes_ago(int m) { return utc_text(kNow - m * 60); }

// A terminal that never asked anything.
TerminalStatus unseen(const char* machine, bool registered) {
  TerminalStatus t;
  t.machine = machine;
  t.registered = registered;
  return t;
}

// A registered terminal whose changes update 10 minutes ago took 30 s and reached its last job.
TerminalStatus clean_terminal() {
  TerminalStatus t;
  t.machine = "001";
  t.registered = true;
  t.last_seen = t.run_ended = minutes_ago(10);
  t.run_began = minutes_ago(11);
  t.changes = {minutes_ago(11), true, 30};
  t.backlog[0] = {"PRODUCT_TEMP", "products", 0, {}};
  return t;
}

TEST(StatusRules, EachRecordGetsItsStateWorstFirst) {
  const struct {
    const char* what;
    std::function<void(TerminalStatus&)> record;
    TerminalState state;
    RunProgress run;
    const char* reason;  // the reason holds it
  } cases[] = {
      {"a clean run 10 min ago", [](TerminalStatus&) {}, TerminalState::Current, RunProgress::Ended, ""},
      {"never asked anything", [](TerminalStatus& t) { t = unseen("002", true); }, TerminalState::Silent,
       RunProgress::None, ""},
      {"nothing for 40 min", [](TerminalStatus& t) { t.last_seen = t.run_ended = minutes_ago(40); },
       TerminalState::Silent, RunProgress::Ended, ""},
      {"a run begun 2 min ago",
       [](TerminalStatus& t) {
         t.run_began = t.last_seen = minutes_ago(2);
         t.run_ended.clear();
       },
       TerminalState::Running, RunProgress::Running, ""},
      {"a 30 s run begun 20 min ago that asked nothing for 19",
       [](TerminalStatus& t) {
         t.run_began = minutes_ago(20);
         t.last_seen = minutes_ago(19);
         t.run_ended.clear();
       },
       TerminalState::Stopped, RunProgress::Stopped, "began 20 min ago stopped before its last job"},
      {"a run begun 20 min ago that still asks",
       [](TerminalStatus& t) {
         t.run_began = minutes_ago(20);
         t.last_seen = minutes_ago(1);
         t.run_ended.clear();
       },
       TerminalState::Running, RunProgress::Running, ""},
      {"a run begun 20 min ago whose full update takes 25",
       [](TerminalStatus& t) {
         t.run_began = minutes_ago(20);
         t.last_seen = minutes_ago(19);
         t.run_ended.clear();
         t.full = {minutes_ago(600), true, 25 * 60};
       },
       TerminalState::Running, RunProgress::Running, ""},
      {"a run that stopped 40 min ago",
       [](TerminalStatus& t) {
         t.run_began = t.last_seen = minutes_ago(40);
         t.run_ended.clear();
       },
       TerminalState::Silent, RunProgress::Stopped, ""},
      {"sign-ins refused since it last signed in",
       [](TerminalStatus& t) {
         t.last_seen = t.run_ended = minutes_ago(3000);
         t.failed_sign_ins = {3, minutes_ago(2), "10.0.0.5"};
       },
       TerminalState::Failing, RunProgress::Ended, "user_name= and password= in [set] of its httpset.ini"},
      {"refused, never signed in",
       [](TerminalStatus& t) {
         t = unseen("002", true);
         t.failed_sign_ins = {1, minutes_ago(1), "a"};
       },
       TerminalState::Failing, RunProgress::None, "its sign-in is refused"},
      {"refused long ago and nothing since",
       [](TerminalStatus& t) {
         t.last_seen = t.run_ended = minutes_ago(3000);
         t.failed_sign_ins = {3, minutes_ago(2000), "10.0.0.5"};
       },
       TerminalState::Silent, RunProgress::Ended, "its last sign-ins were refused"},
      {"refused once, then signed in",
       [](TerminalStatus& t) {
         t.failed_sign_ins = {1, minutes_ago(12), "a"};
       },
       TerminalState::Current, RunProgress::Ended, ""},
      {"no MCH_ITEM row", [](TerminalStatus& t) { t.registered = false; }, TerminalState::Failing, RunProgress::Ended,
       "terminals add 001 --name NAME --store STORE"},
      {"no MCH_ITEM row, never seen", [](TerminalStatus& t) { t = unseen("009", false); }, TerminalState::Silent,
       RunProgress::None, ""},
      {"its last run got an error answer", [](TerminalStatus& t) { t.last_run_error = t.last_error = "x"; },
       TerminalState::Failing, RunProgress::Ended, "error answer"},
      {"an entry waits 50 min, and its last run failed",
       [](TerminalStatus& t) {
         t.backlog[0] = {"PRODUCT_TEMP", "products", 2, minutes_ago(50)};
         t.last_run_error = "x";
       },
       TerminalState::Behind, RunProgress::Ended, "oldest entry (products) has waited 50 min"},
      {"running after a failed run",
       [](TerminalStatus& t) {
         t.run_began = t.last_seen = minutes_ago(1);
         t.run_ended.clear();
         t.last_error = "x";
       },
       TerminalState::Running, RunProgress::Running, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TerminalStatus t = clean_terminal();
    c.record(t);
    judge_terminal(t, std::chrono::minutes(30), now);
    EXPECT_EQ(state_name(t.state), std::string(state_name(c.state)));
    EXPECT_EQ(static_cast<int>(t.run), static_cast<int>(c.run));
    EXPECT_NE(t.reason.find(c.reason), std::string::npos) << t.reason;
  }
}

TEST(StatusRules, ErrorsAreShownWithoutTheProtocolsTags) {
  const std::pair<const char*, const char*> cases[] = {
      {"<RESULT>canceling statement due to user request", "canceling statement due to user request"},
      {" <result>line 2: no such table: X</Result>\r\n", "line 2: no such table: X"},
      {"injected fault: error", "injected fault: error"},
      {"<RESULT>", ""},
  };
  for (const auto& [answer, shown] : cases) EXPECT_EQ(readable_error(answer), shown) << answer;
}

}  // namespace
}  // namespace pos::test

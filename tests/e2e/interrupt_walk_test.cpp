// Runs ended from outside at seeded random moments: killed (SIGKILL) or asked to stop (SIGTERM,
// SIGINT). Afterwards the database passes Firebird's own validation, and one clean run leaves the
// terminal as an undisturbed run does.

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <random>
#include <thread>

#include "localdb/connection.h"
#include "tests/e2e/saved_store.h"

namespace pos::e2e {
namespace {

using Clock = std::chrono::steady_clock;

bool long_run() { return std::getenv("POS_LONG_TESTS") != nullptr; }

// What `gfix -v -full` reports on the database: "" when it finds nothing.
std::string validation_report(const std::string& database) {
  const testing::Outcome v = testing::run_command("gfix -v -full -user SYSDBA -password quillbark " + database);
  return v.status == 0 ? v.out + v.err : "gfix ended with " + std::to_string(v.status) + ": " + v.out + v.err;
}

// The errors of a report, its warnings left out (an orphan page after a kill is a warning: space
// allocated by the killed process and never used).
std::string validation_errors(const std::string& report, int& warnings) {
  std::string errors;
  std::size_t at = 0;
  while (at < report.size()) {
    std::size_t end = report.find('\n', at);
    if (end == std::string::npos) end = report.size();
    const std::string line = report.substr(at, end - at);
    at = end + 1;
    if (line.empty() || line.starts_with("Summary of validation")) continue;
    if (line.find("warnings") != std::string::npos)
      ++warnings;
    else
      errors += line + "\n";
  }
  return errors;
}

// How long the stage's undisturbed run takes, measured once.
double run_seconds(const Stage& stage) {
  StorePlay play(*stage.saved);
  const auto start = Clock::now();
  EXPECT_EQ(play.update(stage.args).status, 0);
  return std::chrono::duration<double>(Clock::now() - start).count();
}

class InterruptWalk : public ::testing::TestWithParam<int> {
 protected:
  const Stage& stage() const { return store_stages().at(static_cast<std::size_t>(GetParam())); }
};

// What gfix reports right after a kill is the killed transaction's leftovers (pointer pages not
// yet brought up to date, a record version whose blob was never written); a sweep, as the engine's
// own garbage collection does, removes them. The database must then validate without errors.
TEST_P(InterruptWalk, AKillAtAnyMomentLeavesASoundDatabaseThatOneCleanRunConverges) {
  const double seconds = run_seconds(stage());
  std::mt19937 random(20261208u + static_cast<unsigned>(GetParam()));
  std::uniform_real_distribution<double> moment(0.05, seconds);
  const int points = long_run() ? 150 : 26;
  int leftovers = 0, warnings = 0;
  for (int i = 0; i < points; ++i) {
    const double at = moment(random);
    SCOPED_TRACE(stage().name + " update killed after " + std::to_string(at) + " s");
    StorePlay play(*stage().saved);
    const pid_t pid = play.start_update(stage().args);
    std::this_thread::sleep_for(std::chrono::duration<double>(at));
    kill(pid, SIGKILL);
    play.finish_update(pid);
    leftovers += !validation_report(play.database()).empty();
    const testing::Outcome swept =
        testing::run_command("gfix -sweep -user SYSDBA -password quillbark " + play.database());
    EXPECT_EQ(swept.status, 0) << swept.out << swept.err;
    const std::string after_sweep = validation_report(play.database());
    EXPECT_EQ(validation_errors(after_sweep, warnings), "") << after_sweep;
    const testing::Outcome clean = play.update(stage().args);
    EXPECT_EQ(clean.status, 0) << clean.out << clean.err;
    const std::string after_run = validation_report(play.database());
    EXPECT_EQ(validation_errors(after_run, warnings), "") << after_run;
    EXPECT_EQ(converged(play, stage()), "");
  }
  std::printf("%s update: %d kill points over %.2f s, %d with leftovers before the sweep, %d warnings after\n",
              stage().name.c_str(), points, seconds, leftovers, warnings);
}

TEST_P(InterruptWalk, AStopSignalEndsTheRunWithinSecondsKeepingWhatIsDone) {
  const double seconds = run_seconds(stage());
  std::mt19937 random(77u + static_cast<unsigned>(GetParam()));
  std::uniform_real_distribution<double> moment(0.05, seconds);
  const int points = long_run() ? 40 : 6;
  int stopped = 0;
  for (int i = 0; i < points; ++i) {
    const double at = moment(random);
    const int sig = i % 2 ? SIGINT : SIGTERM;
    SCOPED_TRACE(stage().name + " update, signal " + std::to_string(sig) + " after " + std::to_string(at) + " s");
    StorePlay play(*stage().saved);
    const pid_t pid = play.start_update(stage().args);
    std::this_thread::sleep_for(std::chrono::duration<double>(at));
    kill(pid, sig);
    const auto signalled = Clock::now();
    const testing::Outcome run = play.finish_update(pid);
    EXPECT_LT(std::chrono::duration<double>(Clock::now() - signalled).count(), 3.0);
    if (run.status == 1) {
      ++stopped;
      EXPECT_EQ(run.err.find("stopped by"), run.err.rfind("stopped by")) << run.err;
      EXPECT_NE(run.err.find("stopped by"), std::string::npos) << run.err;
      EXPECT_EQ(run.out.find("Data Error"), std::string::npos) << run.out;
      std::ifstream history(play.terminal() / "runs.jsonl");
      std::string line, last;
      while (std::getline(history, line)) last = line;
      EXPECT_NE(last.find("\"outcome\":\"stopped\",\"exit\":1,"), std::string::npos) << last;
    } else if (run.status != -sig) {
      EXPECT_EQ(run.status, 0) << run.err;  // it had finished before the signal came
    }  // else the signal came before main took the stop signals: nothing had been done
    EXPECT_EQ(validation_report(play.database()), "");
    EXPECT_EQ(play.update(stage().args).status, 0);
    EXPECT_EQ(converged(play, stage()), "");
  }
  EXPECT_GT(stopped, 0);
}

TEST_P(InterruptWalk, AStopSignalEndsAWaitForAHangingServiceAtOnce) {
  // The fifth request hangs far longer than the test waits.
  StorePlay play(*stage().saved, {"--fault", "hang@5", "--fault-hang", "60"}, 120);
  const pid_t pid = play.start_update(stage().args);
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  kill(pid, SIGTERM);
  const auto signalled = Clock::now();
  const testing::Outcome run = play.finish_update(pid);
  EXPECT_LT(std::chrono::duration<double>(Clock::now() - signalled).count(), 3.0);
  EXPECT_EQ(run.status, 1) << run.out << run.err;
  EXPECT_NE(run.err.find("stopped by SIGTERM"), std::string::npos) << run.err;
}

INSTANTIATE_TEST_SUITE_P(Stages, InterruptWalk, ::testing::Values(0, 1),
                         [](const auto& info) { return info.param == 0 ? "FullUpdate" : "ChangesUpdate"; });

TEST(NewTerminal, ItsDatabaseHasForcedWrites) {
  LocalConnection con;
  con.open(ConnectionParams{(store_stages().at(0).saved->terminal() / "Data" / "POS_LOC.GDB").string()});
  EXPECT_EQ(con.query("SELECT MON$FORCED_WRITES FROM MON$DATABASE").at(0).at(0).as_text(), "1");
}

}  // namespace
}  // namespace pos::e2e

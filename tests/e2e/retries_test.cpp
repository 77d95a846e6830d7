// retries= in httpset.ini: a request that timed out before any answer came is sent again after a
// wait, and the run goes on; without the key the run ends as it always did.

#include <gtest/gtest.h>

#include <fstream>

#include "tests/e2e/saved_store.h"

namespace pos::e2e {
namespace {

TEST(Retries, ATimedOutRequestIsSentAgainOnlyWhenTheTerminalAsksForIt) {
  const Stage& stage = store_stages().at(1);
  for (const char* retries : {"", "2"}) {
    SCOPED_TRACE(std::string("retries=") + retries);
    // The third request's answer is held far longer than the terminal waits.
    StorePlay play(*stage.saved, {"--fault", "hang@3", "--fault-hang", "30"}, 1);
    if (*retries) std::ofstream(play.terminal() / "httpset.ini", std::ios::app) << "retries=" << retries << "\n";
    const testing::Outcome run = play.update(stage.args);
    std::ifstream history(play.terminal() / "runs.jsonl");
    std::string last;
    for (std::string line; std::getline(history, line);) last = line;
    if (!*retries) {
      EXPECT_EQ(run.status, 1) << run.err;
      EXPECT_EQ(run.err.find("again in"), std::string::npos) << run.err;
      continue;
    }
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_NE(run.err.find("pos-updater: request 1 of 3 failed (Read timed out.); again in 1 s"), std::string::npos)
        << run.err;
    EXPECT_EQ(run.out.find("again in"), std::string::npos);  // never in the log
    EXPECT_NE(last.find("\"retries\":1}"), std::string::npos) << last;
    EXPECT_EQ(converged(play, stage), "");
  }
}

}  // namespace
}  // namespace pos::e2e

// Head office answering wrongly on purpose at each request of a run in turn: whatever the fault,
// the next clean run leaves the terminal as an undisturbed run does, and no change-log entry of
// either terminal is lost.

#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/e2e/saved_store.h"

namespace pos::e2e {
namespace {

const char* const kKinds[] = {"http500", "error", "truncate", "garbage", "hang", "drop"};

bool long_run() { return std::getenv("POS_LONG_TESTS") != nullptr; }

class FaultWalk : public ::testing::TestWithParam<int> {};

TEST_P(FaultWalk, EveryRequestFaultedInTurnThenACleanRunConverges) {
  const Stage& stage = store_stages().at(static_cast<std::size_t>(GetParam()));
  if (stage.name == "changes") {
    for (const auto& [log, entries] : stage.entries_001) EXPECT_TRUE(entries.empty()) << log << " not drained";
  }
  int walked = 0, bitten = 0;
  for (int request = 1; request <= stage.requests; ++request) {
    // Every kind at every request on demand; otherwise the kinds take turns along the run.
    for (int k = 0; k < 6; ++k) {
      if (!long_run() && k != request % 6) continue;
      const std::string fault = std::string(kKinds[k]) + "@" + std::to_string(request);
      SCOPED_TRACE(stage.name + " update, " + fault);
      StorePlay play(*stage.saved, {"--fault", fault, "--fault-hang", "3"}, 1);
      const testing::Outcome faulted = play.update(stage.args);
      EXPECT_GE(faulted.status, 0) << "the faulted run crashed\n" << faulted.err;
      bitten += faulted.status != 0;
      const testing::Outcome clean = play.update(stage.args);
      EXPECT_EQ(clean.status, 0) << clean.out << clean.err;
      EXPECT_EQ(converged(play, stage), "") << "faulted run:\n" << faulted.out << faulted.err;
      ++walked;
    }
  }
  EXPECT_GT(bitten, walked / 2) << "most faults must end or mar the run they hit";
  std::printf("%s update: %d fault points walked over %d requests, %d runs marred\n", stage.name.c_str(), walked,
              stage.requests, bitten);
}

// With batched requests the same run makes fewer requests, ends as the undisturbed run did, and
// faults along it converge as well.
TEST(BatchedFaultWalk, AChangesUpdateWithBatchedRequestsEndsAsTheDefaultOneAndConvergesAfterEachFault) {
  const Stage& stage = store_stages().at(1);
  int requests = 0;
  {
    StorePlay play(*stage.saved, {}, 2, true);
    const testing::Outcome run = play.update(stage.args);
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(converged(play, stage), "");
    requests = play.service().requests();
    EXPECT_LT(requests, stage.requests);
  }
  // Every fourth request, the kinds in turn.
  for (int i = 0, request = 1; request <= requests; ++i, request += 4) {
    const std::string fault = std::string(kKinds[i % 6]) + "@" + std::to_string(request);
    SCOPED_TRACE("batched changes update, " + fault);
    StorePlay play(*stage.saved, {"--fault", fault, "--fault-hang", "3"}, 1, true);
    const testing::Outcome faulted = play.update(stage.args);
    EXPECT_GE(faulted.status, 0) << "the faulted run crashed\n" << faulted.err;
    const testing::Outcome clean = play.update(stage.args);
    EXPECT_EQ(clean.status, 0) << clean.out << clean.err;
    EXPECT_EQ(converged(play, stage), "") << "faulted run:\n" << faulted.out << faulted.err;
  }
  std::printf("batched changes update: %d requests (%d without batching), every fourth faulted\n", requests,
              stage.requests);
}

INSTANTIATE_TEST_SUITE_P(Stages, FaultWalk, ::testing::Values(0, 1),
                         [](const auto& info) { return info.param == 0 ? "FullUpdate" : "ChangesUpdate"; });

}  // namespace
}  // namespace pos::e2e

// The fleet's simulated terminal sends what pos-updater sends: two head offices in the same state,
// a real pos-updater (batch=1, a changes update) against one and a simulated terminal against the
// other, and the statements each head office received must be the same, in the same order. Two
// rounds, so that keys a failed row left remembered are taken first by the second run.

#include "bench/fleet/simulated_terminal.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "packet/row_set.h"
#include "tests/e2e/store_programs.h"
#include "tests/support/reference_service.h"
#include "tests/support/temp_folder.h"
#include "text/date_format.h"

namespace pos::testing {
namespace {

const std::string kToday = today_slashed();

// Every statement of a product chunk is answered with an error (its keys are then fetched one by
// one), and so is the key that no product has (its row fails and it stays remembered).
const std::vector<std::string> kFaults = {"--fault", "error@/FROM PRODUCT WHERE PROD_ID IN/", "--fault",
                                          "error@/PROD_ID = '99999999'/"};

struct HeadOffice {
  ReferenceService service{
      {"--scale", "small", "--products", "800", "--members", "600", "--seed", "3", "--today", kToday},
      "001",
      std::nullopt,
      "",
      kFaults};

  // Changes of every kind, and the entries the batched requests treat apart: a key with small
  // letters, a key listed twice, keys no product or member has (asked for again on their own), a
  // member entry of another state.
  void change(int round) {
    const std::string seed = std::to_string(10 + round);
    for (const auto& [what, count] : std::vector<std::pair<std::string, std::string>>{
             {"products", "260"}, {"members", "260"}, {"promotions", "3"}, {"anychoice", "2"}, {"gifts", "2"}})
      service.run_tool(
          {"change", what, "--count", count, "--insert", "1", "--delete", "1", "--seed", seed, "--today", kToday});
    const std::string small = "p" + std::to_string(round);
    service.sql("INSERT INTO PRODUCT (PROD_ID, PROD_NAME) VALUES ('" + small +
                "', 'small letters');"
                "INSERT INTO PRODUCT_TEMP (MCH_NO, PROD_ID, STATE) VALUES ('001', '" +
                small +
                "', 'UPDATE');"
                "INSERT INTO PRODUCT_TEMP (MCH_NO, PROD_ID, STATE) VALUES ('001', '" +
                small +
                "', 'UPDATE');"
                "INSERT INTO PRODUCT_TEMP (MCH_NO, PROD_ID, STATE) VALUES ('001', '99999999', 'UPDATE');"
                "INSERT INTO MEMBER_TEMP (MCH_NO, MEMBER_ID, STATE) VALUES ('001', 'M9999999', 'UPDATE');"
                "INSERT INTO MEMBER_TEMP (MCH_NO, MEMBER_ID, STATE) VALUES ('001', 'M0000001', 'MOVED');");
  }
};

// Counts what the simulated terminal was told it fetched.
struct Fetched : fleet::FetchWatcher {
  void product(const std::string&, const RowSet& rows) override { products += rows.row_count(); }
  void member(const std::string&, const RowSet& rows) override { members += rows.row_count(); }
  std::size_t products = 0, members = 0;
};

TEST(SimulatedTerminal, SendsWhatPosUpdaterSendsInTheSameOrder) {
  HeadOffice real, simulated;
  TempFolder folder("possim");
  const auto home = folder / "real";
  ASSERT_EQ(e2e::init_terminal(real.service, home).status, 0);
  e2e::set_service_setting(home, "batch", "1");
  fleet::SimulatedTerminal terminal(folder / "simulated", "001",
                                    {.port = simulated.service.port(),
                                     .user = simulated.service.credential("001").user,
                                     .password = simulated.service.credential("001").password});
  Fetched fetched;
  std::size_t requests = 0;
  for (int round = 1; round <= 2; ++round) {
    SCOPED_TRACE(round);
    real.change(round);
    simulated.change(round);
    const auto ran = run_command(e2e::updater_command(home, "0"));
    EXPECT_EQ(ran.status, 3) << ran.err;  // the key no product has failed its row
    const fleet::RunReport report = terminal.changes_update(kToday, &fetched);
    EXPECT_TRUE(report.completed) << report.error;
    EXPECT_EQ(report.failed_rows, 1u);
    EXPECT_EQ(report.unconfirmed, 0u);
    requests += report.request_ms.size();  // one statement a request
    EXPECT_EQ(requests, simulated.service.statements().size());

    const auto want = real.service.statements(), have = simulated.service.statements();
    ASSERT_EQ(have.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
      ASSERT_EQ(have[i], want[i]) << "statement " << i << ": " << have[i].endpoint << " " << have[i].text
                                  << "\nwant: " << want[i].endpoint << " " << want[i].text;
    }
  }
  EXPECT_GT(fetched.products, 500u);
  EXPECT_GT(fetched.members, 500u);
}

}  // namespace
}  // namespace pos::testing

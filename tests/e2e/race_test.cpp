// Head office keeps changing data and logging it for terminals 001 and 002 while 001 runs changes
// update after changes update. Terminal 002 stays still and takes everything once at the end: if
// 001 ever removed an entry it had not applied, the two terminals end up different.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "tests/e2e/saved_store.h"
#include "tests/e2e/store_programs.h"

namespace pos::e2e {
namespace {

using testing::Outcome;
using testing::ReferenceService;
using testing::TempFolder;

struct StoreTerminal {
  TempFolder home{"posrace"};
  std::string database() const { return local_database(home.path()); }
  Outcome update(const std::string& args) const { return testing::run_command(updater_command(home.path(), args)); }
};

TEST(ChangeLogRace, EntriesLoggedDuringARunAreNeverRemovedUnapplied) {
  ReferenceService service({"--products", "400", "--members", "150", "--promotions", "6", "--any-choice", "4",
                            "--gifts", "4", "--seed", "9"},
                           "001,002");
  StoreTerminal t1, t2;
  for (auto [t, machine] : {std::pair{&t1, "001"}, std::pair{&t2, "002"}}) {
    const Outcome made = init_terminal(service, t->home.path(), machine);
    ASSERT_EQ(made.status, 0) << made.err;
    const Outcome full = t->update("1 --jobs 0,5,6,7,8,12");
    ASSERT_EQ(full.status, 0) << full.err;
  }

  std::atomic<bool> writing{true};
  std::atomic<int> batches{0}, edits{0};
  // Quick edits of products and members, the same keys again and again, each logged for both.
  const auto products = service.rows("SELECT PROD_ID FROM PRODUCT");
  const auto members = service.rows("SELECT MEMBER_ID FROM MEMBER");
  std::thread editor([&] {
    for (unsigned i = 1; writing; ++i) {
      const std::string p = products[(i * 7919u) % products.size()][0];
      const std::string m = members[(i * 104729u) % members.size()][0];
      service.sql("UPDATE PRODUCT SET SALE_PRICE = SALE_PRICE + 1 WHERE PROD_ID = '" + p +
                  "'; INSERT INTO PRODUCT_TEMP (MCH_NO, PROD_ID, STATE) VALUES ('001', '" + p +
                  "', 'UPDATE'), ('002', '" + p +
                  "', 'UPDATE'); UPDATE MEMBER SET TOTAL_AMT = TOTAL_AMT + 1 WHERE MEMBER_ID = '" + m +
                  "'; INSERT INTO MEMBER_TEMP (MCH_NO, MEMBER_ID, STATE) VALUES ('001', '" + m +
                  "', 'UPDATE'), ('002', '" + m + "', 'UPDATE');");
      ++edits;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  });
  std::thread writer([&] {
    const char* kinds[] = {"products", "members", "promotions", "anychoice", "gifts"};
    for (int i = 0; writing; ++i) {
      const std::string what = kinds[i % 5];
      // Bursts big enough that a run's loop takes a while, so that later batches land inside it.
      const bool many = what == "products" || what == "members";
      service.run_tool({"change", what, "--count", many ? "60" : "1", "--insert", many ? "3" : "1", "--delete",
                        many ? "2" : "0", "--seed", std::to_string(100 + i)});
      ++batches;
    }
  });
  const int runs = std::getenv("POS_LONG_TESTS") ? 40 : 5;
  for (int i = 0; i < runs; ++i) {
    const Outcome run = t1.update("0");
    EXPECT_EQ(run.status, 0) << run.out << run.err;
  }
  writing = false;
  writer.join();
  editor.join();

  // Quiet now: each terminal takes what is left, and the two must agree.
  ASSERT_EQ(t1.update("0").status, 0);
  ASSERT_EQ(t2.update("0").status, 0);
  auto a = testing::local_snapshot(t1.database());
  auto b = testing::local_snapshot(t2.database());
  a.erase("EINVOICE_WORD");  // each machine's own invoice tracks
  b.erase("EINVOICE_WORD");
  EXPECT_EQ(testing::snapshot_difference(b, a), "");
  HeadOffice ho(service.db_url());
  for (const char* machine : {"001", "002"})
    for (const auto& [log, entries] : entries_of(ho, machine)) EXPECT_TRUE(entries.empty()) << machine << " " << log;
  std::printf("%d changes updates raced %d batches of head-office changes and %d quick edits\n", runs, batches.load(),
              edits.load());
}

}  // namespace
}  // namespace pos::e2e

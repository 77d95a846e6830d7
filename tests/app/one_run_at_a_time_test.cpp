// One run at a time per terminal folder: two real pos-updater processes on one folder, through the
// embedded engine and through a Firebird server, and a killed run that must not block the next.

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include "tests/support/firebird_server.h"
#include "tests/support/process.h"
#include "tests/support/terminal.h"

namespace pos::testing {
namespace {

class OneRunAtATime : public ::testing::Test {
 protected:
  void SetUp() override {
    service.sql("INSERT INTO MCH_ITEM (MCH_NO, STOCK_ID, TOP_ITEMID) VALUES ('001', 'ST01', '');");
  }

  std::string updater(const std::string& args, const std::string& local_db) const {
    return std::string(POS_UPDATER_EXE) + " " + args + " --headless --home " + terminal.home().string() +
           " --local-db " + local_db;
  }

  pid_t start_full_update(const std::string& local_db) {
    return start_command(updater("1 --jobs 1", local_db), (logs / "a.out").string(), (logs / "a.err").string());
  }

  // Waits until the lock file names `pid` as its holder.
  bool held_by(pid_t pid) const {
    const std::string line = "pid " + std::to_string(pid) + " since ";
    for (int i = 0; i < 500; ++i) {
      std::ifstream in(terminal.home() / "pos-updater.lock");
      std::stringstream text;
      text << in.rdbuf();
      if (text.str().starts_with(line)) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

  // Every opening check waits a second for its answer, so a run holds the folder that long.
  ReferenceService service{{}, "001", std::nullopt, "", {"--fault", "hang@/FROM MCH_ITEM/", "--fault-hang", "1"}};
  Terminal terminal{service};
  TempFolder logs{"poslock"};
};

TEST_F(OneRunAtATime, ASecondRunDoesNotStartAndAKilledOneBlocksNothing) {
  std::vector<std::pair<std::string, std::string>> engines = {{"embedded engine", terminal.database()}};
  std::unique_ptr<FirebirdServer> server;
  if (FirebirdServer::available()) {
    // The server's SYSDBA password is not the fixed one: the terminal's settings name it.
    server = std::make_unique<FirebirdServer>("fb-secret");
    std::ofstream(terminal.home() / "httpset.ini", std::ios::app) << "\n[localdb]\npassword=fb-secret\n";
    engines.emplace_back("server", server->database(terminal.database()));
  }
  for (const auto& [engine, local_db] : engines) {
    const pid_t first = start_full_update(local_db);
    ASSERT_TRUE(held_by(first)) << engine;
    const Outcome second = run_command(updater("0", local_db));
    EXPECT_EQ(second.status, 4) << engine << "\n" << second.out << second.err;
    EXPECT_NE(second.err.find("pos-updater: another run holds the terminal folder " + terminal.home().string() +
                              " (pid " + std::to_string(first) + " since "),
              std::string::npos)
        << engine << "\n"
        << second.err;
    EXPECT_NE(second.err.find(": full update, headless); this run does not start"), std::string::npos) << second.err;
    EXPECT_TRUE(second.out.empty()) << second.out;  // it touched neither the database nor head office
    EXPECT_EQ(finish_command(first), 0) << engine;

    // A run killed while it holds the folder leaves it free for the next.
    const pid_t killed = start_full_update(local_db);
    ASSERT_TRUE(held_by(killed)) << engine;
    ::kill(killed, SIGKILL);
    EXPECT_EQ(finish_command(killed), -SIGKILL);
    const Outcome next = run_command(updater("1 --jobs 1", local_db));
    EXPECT_EQ(next.status, 0) << engine << "\n" << next.out << next.err;
  }
  if (!server) GTEST_SKIP() << "firebird3.0-server is not installed: tried with the embedded engine only";
}

}  // namespace
}  // namespace pos::testing

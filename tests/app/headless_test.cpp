// pos-updater --headless as cron runs it: log on stdout, messages on stderr, the exit status.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "app/terminal_folder_check.h"
#include "localdb/connection.h"
#include "tests/support/process.h"
#include "tests/support/terminal.h"

namespace pos::testing {
namespace {

Outcome run_updater(const Terminal& t, const std::string& args) {
  return run_command(std::string(POS_UPDATER_EXE) + " " + args + " --headless --home " + t.home().string() +
                     " --local-db " + t.database());
}

class Headless : public ::testing::Test {
 protected:
  void SetUp() override {
    service.sql("INSERT INTO MCH_ITEM (MCH_NO, STOCK_ID, TOP_ITEMID) VALUES ('001', 'ST01', '');");
  }
  ReferenceService service;
  Terminal terminal{service};
};

TEST_F(Headless, ACompletedRunExitsZeroWithItsLogOnStdout) {
  Outcome o = run_updater(terminal, "1 --jobs 1,2");
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_NE(o.out.find(" 人員資料傳送中...!\n 班別資料傳送中...!\n 階段作業完成..!\n"), std::string::npos) << o.out;
  EXPECT_TRUE(o.err.empty()) << o.err;
}

TEST_F(Headless, DataErrorsExitThree) {
  service.sql(
      "INSERT INTO PRODUCT (PROD_ID, PROD_NAME, PROD_BARCODE) VALUES ('P1', 'BAD', '1');"
      "INSERT INTO PRODUCT_TEMP (MCH_NO, PROD_ID, STATE) VALUES ('001', 'P1', 'UPDATE');");
  {
    LocalConnection con;
    con.open(ConnectionParams{terminal.database()});
    con.execute("ALTER TABLE LOC_PDC ADD CONSTRAINT NO_BAD CHECK (PDC_NAME IS DISTINCT FROM 'BAD')");
  }
  Outcome o = run_updater(terminal, "0");
  EXPECT_EQ(o.status, 3) << o.out << o.err;
  EXPECT_NE(o.out.find("P1Data Error...!"), std::string::npos) << o.out;
}

TEST_F(Headless, RefusedRowsExitThreeAndIgnoredArgumentsAreNamed) {
  service.sql("INSERT INTO PROD_SALE (PROD_ID, SAL_BARCODE, PACK_QTY) VALUES ('P1', 'B1', 6);");
  {
    LocalConnection con;
    con.open(ConnectionParams{terminal.database()});
    con.execute("ALTER TABLE PROD_SALE ADD CONSTRAINT NO_SIX CHECK (PACK_QTY <> 6)");
  }
  Outcome o = run_updater(terminal, "0 extra");
  EXPECT_EQ(o.status, 3) << o.out << o.err;
  EXPECT_NE(o.out.find(" PROD_SALE B1 本機資料庫拒絕寫入: "), std::string::npos) << o.out;
  EXPECT_NE(o.err.find("ignoring the argument 'extra'"), std::string::npos) << o.err;
}

TEST_F(Headless, ARunEndedEarlyExitsOneWithTheMessageOnStderr) {
  service.sql("DROP TABLE MCH_ITEM;");
  Outcome o = run_updater(terminal, "1");
  EXPECT_EQ(o.status, 1);
  EXPECT_NE(o.err.find("error: "), std::string::npos) << o.err;
  EXPECT_EQ(o.err.find("RESULT>"), std::string::npos) << o.err;  // the error's text, without its tags
  EXPECT_EQ(o.out.find("階段作業完成"), std::string::npos);
}

TEST_F(Headless, WhatWasLikelyNotMeantIsSaidOnStderr) {
  const struct {
    std::string args, warning;
  } cases[] = {
      {"abc --jobs 1", "the mode 'abc' is not a number: mode 0"},
      {"0 --jobs 1", "--jobs is ignored in mode 0"},
      {"1", "no job is ticked (--jobs)"},
      {"1 --jobs 3,13", "no job is ticked (--jobs)"},
  };
  for (const auto& c : cases) {
    Outcome o = run_updater(terminal, c.args);
    EXPECT_NE(o.err.find("pos-updater: " + c.warning), std::string::npos) << c.args << "\n" << o.err;
  }
  std::filesystem::remove(terminal.home() / "httpset.ini");
  Outcome o = run_updater(terminal, "1 --jobs 1");
  EXPECT_NE(o.err.find("httpset.ini cannot be read: the service settings take their defaults"), std::string::npos)
      << o.err;
}

// They may hold customer data (Result.txt: the last answer, e.g. cards with their PIN codes).
TEST_F(Headless, EveryFileItWritesInTheFolderIsItsOwnersAlone) {
  namespace fs = std::filesystem;
  service.sql("INSERT INTO MEMBER_TEMP (MCH_NO, MEMBER_ID, STATE) VALUES ('001', 'M1', 'UPDATE');");
  // Left readable by all by an earlier version: narrowed at their next write.
  const char* written[] = {"Result.txt", "message.txt", "123.txt", "ptpromotion.cds", "runs.jsonl"};
  for (const char* name : written) {
    std::ofstream(terminal.home() / name) << "earlier\n";
    fs::permissions(terminal.home() / name,
                    fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);
  }
  EXPECT_EQ(run_updater(terminal, "1 --jobs 8").status, 0);  // ptpromotion.cds
  EXPECT_EQ(run_updater(terminal, "0").status, 0);           // 123.txt, message.txt
  std::vector<std::string> seen;
  for (const auto& entry : fs::directory_iterator(terminal.home())) {
    if (!entry.is_regular_file()) continue;
    seen.push_back(entry.path().filename().string());
    EXPECT_EQ(entry.status().permissions(), fs::perms::owner_read | fs::perms::owner_write) << seen.back();
  }
  for (const char* name : written) EXPECT_NE(std::find(seen.begin(), seen.end(), name), seen.end()) << name;
  EXPECT_NE(std::find(seen.begin(), seen.end(), "pos-updater.lock"), seen.end());
}

// A folder that holds no terminal, or a user who does not own it, is refused before anything is
// written there; root in another user's folder runs as that user, so that the files stay the owner's.
TEST_F(Headless, AFolderIsUsedOnlyAsItsOwnerAndOnlyWhenItHoldsATerminal) {
  namespace fs = std::filesystem;
  const std::string updater = std::string(POS_UPDATER_EXE) + " 1 --jobs 1 --headless --home ";
  TempFolder empty("posempty");
  Outcome o = run_command(updater + empty.path().string());
  EXPECT_EQ(o.status, 2);
  EXPECT_NE(o.err.find("holds no terminal (it has no MCH_NO.TXT); make one there with terminal-init"),
            std::string::npos)
      << o.err;
  EXPECT_TRUE(fs::is_empty(empty.path()));

  const fs::path home = terminal.home();
  const std::string run = updater + home.string() + " --local-db " + terminal.database();
  fs::permissions(home, fs::perms::group_exec | fs::perms::others_exec, fs::perm_options::add);
  o = run_command("runuser -u nobody -- " + run);
  EXPECT_EQ(o.status, 2);
  EXPECT_NE(o.err.find("belongs to root, not to nobody: run pos-updater as root"), std::string::npos) << o.err;
  EXPECT_FALSE(fs::exists(home / "runs.jsonl"));
  EXPECT_FALSE(fs::exists(home / "pos-updater.lock"));

  TempFolder lock("posfblock");
  fs::permissions(lock.path(), fs::perms::all);
  ASSERT_EQ(run_command("chown -R nobody " + home.string()).status, 0);
  o = run_command("FIREBIRD_LOCK=" + lock.path().string() + " " + run);
  EXPECT_EQ(o.status, 0) << o.out << o.err;
  for (const char* name : {"runs.jsonl", "pos-updater.lock", "Result.txt"}) {
    struct stat st {};
    ASSERT_EQ(::stat((home / name).c_str(), &st), 0) << name;
    EXPECT_EQ(owner_name(home / name), "nobody") << name;
  }

  // A history another user took: refused with the reason and the way back.
  ASSERT_EQ(run_command("chown root " + (home / "runs.jsonl").string()).status, 0);
  o = run_command("FIREBIRD_LOCK=" + lock.path().string() + " " + run);
  EXPECT_EQ(o.status, 2);
  EXPECT_NE(o.err.find("cannot read and write the run history"), std::string::npos) << o.err;
  EXPECT_NE(o.err.find("chown nobody"), std::string::npos) << o.err;
}

// Names in the folder planted as links to files elsewhere (a symbolic link, or a second name of the
// file) are replaced by files of the run's own, and what they point to stays as it was; a folder
// every user may write gets a warning on stderr, in the log and in the history.
TEST_F(Headless, APlantedLinkIsReplacedNeverWrittenThroughAndAnOpenFolderIsNamed) {
  namespace fs = std::filesystem;
  service.sql("INSERT INTO MEMBER_TEMP (MCH_NO, MEMBER_ID, STATE) VALUES ('001', 'M1', 'UPDATE');");
  TempFolder elsewhere("poselse");
  const char* planted[] = {"Result.txt", "message.txt",    "123.txt",         "ptpromotion.cds",
                           "runs.jsonl", "runs.jsonl.new", "pos-updater.lock"};
  for (const char* name : planted) {
    std::ofstream(elsewhere / name) << "untouched\n";
    if (name == std::string("message.txt"))
      fs::create_hard_link(elsewhere / name, terminal.home() / name);
    else
      fs::create_symlink(elsewhere / name, terminal.home() / name);
  }
  fs::permissions(terminal.home(), fs::perms::all);
  const Outcome full = run_updater(terminal, "1 --jobs 8");  // ptpromotion.cds
  const Outcome changes = run_updater(terminal, "0");        // 123.txt, message.txt
  fs::permissions(terminal.home(), fs::perms::owner_all);
  EXPECT_EQ(full.status, 0) << full.err;
  EXPECT_EQ(changes.status, 0) << changes.err;
  for (const char* name : planted) {
    SCOPED_TRACE(name);
    std::ifstream target(elsewhere / name);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(target), {}), "untouched\n");
    const fs::path own = terminal.home() / name;
    if (name == std::string("runs.jsonl.new")) {
      EXPECT_FALSE(fs::exists(fs::symlink_status(own)));
      continue;
    }
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(own)));
    EXPECT_EQ(fs::hard_link_count(own), 1u);
    EXPECT_EQ(fs::status(own).permissions(), fs::perms::owner_read | fs::perms::owner_write);
  }
  EXPECT_NE(
      changes.err.find("warning: the folder " + terminal.home().string() + " may be written by every user (mode 0777)"),
      std::string::npos)
      << changes.err;
  EXPECT_NE(changes.out.find("終端機資料夾可被其他使用者寫入"), std::string::npos) << changes.out;
  std::ifstream history(terminal.home() / "runs.jsonl");
  std::string line, last;
  while (std::getline(history, line)) last = line;
  EXPECT_NE(last.find("may be written by every user"), std::string::npos) << last;
}

TEST(HeadlessHelp, HelpAndVersionNeedNoDisplay) {
  for (const char* option : {"--help", "--version"}) {
    std::string cmd =
        std::string("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM ") + POS_UPDATER_EXE + " " + option;
    FILE* p = popen(cmd.c_str(), "r");
    std::string out;
    char buf[512];
    while (std::size_t n = fread(buf, 1, sizeof buf, p)) out.append(buf, n);
    EXPECT_EQ(pclose(p), 0) << option;
    EXPECT_TRUE(out.starts_with(option == std::string("--help") ? "usage: pos-updater" : "pos-updater ")) << out;
  }
  EXPECT_NE(std::system((std::string("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM ") + POS_UPDATER_EXE +
                         " 1 2>/dev/null")
                            .c_str()),
            0);  // the window without a display says so and exits 2
}

TEST_F(Headless, AStartUpFailureExitsTwo) {
  std::filesystem::remove(terminal.home() / "MCH_NO.TXT");
  Outcome o = run_updater(terminal, "1");
  EXPECT_EQ(o.status, 2);
  EXPECT_NE(o.err.find("MCH_NO.TXT"), std::string::npos) << o.err;
  EXPECT_EQ(run_updater(terminal, "1 --jobs 99").status, 2);
}

}  // namespace
}  // namespace pos::testing

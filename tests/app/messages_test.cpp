// What pos-updater says when something is wrong around it: each case is a fault a store meets, the
// message must say what to check, and the exit status must be the case's kind. The run history
// keeps what went wrong too.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

#include "localdb/connection.h"
#include "tests/support/firebird_server.h"
#include "tests/support/process.h"
#include "tests/support/terminal.h"

namespace pos::testing {
namespace {

namespace fs = std::filesystem;

class Messages : public ::testing::Test {
 public:
  void SetUp() override {
    service.sql("INSERT INTO MCH_ITEM (MCH_NO, STOCK_ID, TOP_ITEMID) VALUES ('001', 'ST01', '');");
  }

  // `local_db` empty: the terminal's file, opened embedded.
  Outcome run_updater(const std::string& env, const std::string& args, const std::string& local_db) {
    return run_command(env + " " + POS_UPDATER_EXE + " " + args + " --home " + terminal.home().string() +
                       " --local-db " + (local_db.empty() ? terminal.database() : local_db));
  }

  // httpset.ini with the value of `key` in [set] replaced.
  void set_setting(const std::string& key, const std::string& value) {
    std::ifstream in(terminal.home() / "httpset.ini");
    std::string text, line;
    while (std::getline(in, line)) text += (line.starts_with(key + "=") ? key + "=" + value : line) + "\n";
    std::ofstream(terminal.home() / "httpset.ini", std::ios::trunc) << text;
  }

  // Head office refuses every promotion marking: their answers lack the success mark.
  ReferenceService service{{}, "001", std::nullopt, "", {"--fault", "error@/SET TRAN_CODE = 'W'/"}};
  Terminal terminal{service};
  std::unique_ptr<FirebirdServer> server;  // a terminal's Firebird server, where one can run here
};

struct Case {
  const char* what;
  std::function<std::string(Messages&)> prepare;  // returns the --local-db to use ("" for the file)
  std::string env, args;
  int status;
  std::vector<std::string> err;  // stderr holds each
  std::string out;               // the log (stdout) holds it
  bool needs_server = false;
};

TEST_F(Messages, EachFaultSaysWhatToCheckAndEndsWithItsStatus) {
  if (FirebirdServer::available()) server = std::make_unique<FirebirdServer>("fb-secret");
  std::unique_ptr<LocalConnection> holder;
  const Case cases[] = {
      {"a DISPLAY whose X server is gone",
       [](Messages&) { return ""; },
       "env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY=:97",
       "1",
       2,
       {"the window cannot open on display :97 (could not connect to display :97); run it with --headless"},
       ""},
      {"the terminal's database server is down",
       [](Messages& t) { return "127.0.0.1/1:" + t.terminal.database(); },
       "",
       "1 --headless",
       2,
       {"Unable to complete network request to host \"127.0.0.1\"",
        "the terminal's Firebird server is not running or does not answer (start it: service firebird3.0 start); "
        "without a server, open the file with the embedded engine: --local-db "},
       ""},
      {"the server does not take the sign-in",
       [](Messages& t) { return t.server->database(t.terminal.database()); },
       "",
       "1 --headless",
       2,
       {"Your user name and password are not defined",
        "pos-updater signs in to the terminal's database as SYSDBA with the password of [localdb] in"},
       "",
       true},
      {"the embedded engine of another process has the database open",
       [&holder](Messages& t) {
         holder = std::make_unique<LocalConnection>();
         holder->open(ConnectionParams{t.terminal.database()});
         return "";
       },
       "",
       "1 --headless",
       4,
       {"another process has the terminal's database"},
       ""},
      {"head office refuses the connection",
       [](Messages& t) {
         t.set_setting("port", "1");
         return "";
       },
       "",
       "1 --headless",
       1,
       {"錯誤的連線: ", "(is head office's service running there? check host= and port= in "},
       "\n 資料更新中斷 20"},  // begins with a blank, unlike a run's timestamps
      {"no such mode",
       [](Messages&) { return ""; },
       "",
       "5 --headless",
       0,
       {"there is no mode '5' (0 changes update, 1 full update, -1 none): it is read as mode 1"},
       ""},
      {"head office does not know the machine",
       [](Messages& t) {
         std::ofstream(t.terminal.home() / "MCH_NO.TXT") << "009\n";
         const Credential own = t.service.credential("009");
         t.set_setting("user_name", own.user);
         t.set_setting("password", own.password);
         return "";
       },
       "",
       "1 --jobs 1 --headless",
       0,
       {"warning: head office does not know this machine: MCH_ITEM has no row for MCH_NO '009'",
        "headoffice-service terminals add 009 --name NAME --store STORE"},
       "總部沒有此機台 009 的資料"},
      {"a wrong password",
       [](Messages& t) {
         t.set_setting("password", "wrong");
         return "";
       },
       "",
       "1 --jobs 1 --headless",
       1,
       {"access denied", "check user_name= and password= in [set] of its httpset.ini"},
       ""},
      {"head office refuses change-log statements",
       [](Messages&) { return ""; },
       "",
       "0 --headless",
       3,
       {"warning: head office did not confirm 6 change-log statement(s) (job 6: 2, job 8: 2, job 12: 2)",
        "The last one's answer (in " + (terminal.home() / "message.txt").string() + "): "},
       "\n 總部未確認 6 筆異動記錄的處理 (請看 message.txt)..!\n 階段作業完成..!\n20"},  // before the closing lines
  };
  const fs::path mch = terminal.home() / "MCH_NO.TXT", set = terminal.home() / "httpset.ini";
  const fs::path mch_saved = terminal.home() / "MCH_NO.saved", set_saved = terminal.home() / "ini.saved";
  fs::copy_file(mch, mch_saved);
  fs::copy_file(set, set_saved);
  for (const auto& c : cases) {
    if (c.needs_server && !server) continue;  // firebird3.0-server is not installed here
    const Outcome o = run_updater(c.env, c.args, c.prepare(*this));
    EXPECT_EQ(o.status, c.status) << c.what << "\n" << o.out << o.err;
    for (const auto& text : c.err) EXPECT_NE(o.err.find(text), std::string::npos) << c.what << "\n" << o.err;
    EXPECT_NE(o.out.find(c.out), std::string::npos) << c.what << "\n" << o.out;
    holder.reset();
    fs::copy_file(mch_saved, mch, fs::copy_options::overwrite_existing);
    fs::copy_file(set_saved, set, fs::copy_options::overwrite_existing);
  }

  // The history keeps the runs that did not start, with their reason, and the mode as it was given.
  const Outcome history = run_command(std::string(POS_UPDATER_EXE) + " --history --home " + terminal.home().string());
  EXPECT_EQ(history.status, 0) << history.err;
  for (const char* row :
       {"did not start: cannot open 127.0.0.1/1:", "ended early: http://127.0.0.1:1/Vark/ado/index.php",
        "0  completed: mode '5' read as 1", "3  completed with unconfirmed statements: head office"})
    EXPECT_NE(history.out.find(row), std::string::npos) << row << "\n" << history.out;
}

}  // namespace
}  // namespace pos::testing

// pos-updater --headless given bad input in each place it reads some: MCH_NO.TXT, httpset.ini and
// the command line. Each case must end with a clear message and the exit status of its kind, and
// the rows the terminal already had must still be there.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "localdb/connection.h"
#include "tests/support/process.h"
#include "tests/support/terminal.h"

namespace pos::testing {
namespace {

class BadInput : public ::testing::Test {
 public:  // the cases below prepare the terminal through it
  void SetUp() override {
    service.sql("INSERT INTO MCH_ITEM (MCH_NO, STOCK_ID, TOP_ITEMID) VALUES ('001', 'ST01', '');");
    LocalConnection con;
    con.open(ConnectionParams{terminal.database()});
    con.execute("INSERT INTO LOC_PERS (LAB_NO, CNAME) VALUES ('E8', 'kept')");
    con.execute("INSERT INTO LOC_PERS (LAB_NO, CNAME) VALUES ('E9', 'kept')");
  }

  Outcome run_updater(const std::string& args) {
    return run_command(std::string(POS_UPDATER_EXE) + " " + args + " --headless --home " + terminal.home().string() +
                       " --local-db " + terminal.database());
  }

  std::size_t kept_rows() {
    LocalConnection con;
    con.open(ConnectionParams{terminal.database()});
    return con.query("SELECT LAB_NO FROM LOC_PERS WHERE CNAME = 'kept'").size();
  }

  void write(const std::string& name, const std::string& content) {
    std::ofstream(terminal.home() / name, std::ios::binary | std::ios::trunc) << content;
  }

  ReferenceService service;
  Terminal terminal{service};
};

struct Case {
  const char* what;
  std::function<void(BadInput&)> prepare;
  std::string args;
  int status;           // 0 completed, 1 ended early, 2 did not start (-1: not checked)
  std::string message;  // stderr must hold it
};

TEST_F(BadInput, EachBadInputGetsAClearMessageAndKeepsTheStoredRows) {
  using namespace std::string_literals;
  const std::string port = std::to_string(service.port());
  const std::string huge(50u << 20, 'x');
  const Credential own = service.credential("001");
  const std::string sign_in = "user_name=" + own.user + "\npassword=" + own.password + "\n";
  const std::string ini = "[set]\nhost=127.0.0.1\n" + sign_in;
  const Case cases[] = {
      // MCH_NO.TXT
      {"no MCH_NO.TXT", [](BadInput& t) { std::filesystem::remove(t.terminal.home() / "MCH_NO.TXT"); }, "1", 2,
       "holds no terminal (it has no MCH_NO.TXT)"},
      {"empty MCH_NO.TXT", [](BadInput& t) { t.write("MCH_NO.TXT", ""); }, "1", 2, "MCH_NO.TXT is empty"},
      {"MCH_NO.TXT is a folder",
       [](BadInput& t) {
         std::filesystem::remove(t.terminal.home() / "MCH_NO.TXT");
         std::filesystem::create_directory(t.terminal.home() / "MCH_NO.TXT");
       },
       "1", 2, "Cannot read file"},
      {"binary MCH_NO.TXT", [](BadInput& t) { t.write("MCH_NO.TXT", "\x1F\x8B\x08\0\0\0\0\0\0\x03"s); }, "1", 2,
       "its first line holds the control byte 0x1F at byte 1"},
      {"NUL after the number", [](BadInput& t) { t.write("MCH_NO.TXT", "001\0\r\n"s); }, "1", 2,
       "control byte 0x00 at byte 4"},
      {"50 MB on one line", [&](BadInput& t) { t.write("MCH_NO.TXT", huge); }, "1", 2,
       "its first line is longer than 255 bytes"},
      {"50 MB after the number", [&](BadInput& t) { t.write("MCH_NO.TXT", "001\r\n" + huge); }, "0", 0, ""},
      // httpset.ini
      {"a port that is not a number", [&](BadInput& t) { t.write("httpset.ini", ini + "port=8O91\n"); }, "1", 2,
       "httpset.ini: port=8O91 is not a port number (1 to 65535); head office cannot be reached with it"},
      {"a port out of range", [&](BadInput& t) { t.write("httpset.ini", ini + "port=99999\n"); }, "1", 2,
       "httpset.ini: port=99999 is not a port number"},
      {"a NUL in the host",
       [&](BadInput& t) { t.write("httpset.ini", "[set]\nhost=127.0.0.1:" + port + "/\0\nport="s + port + "\n"); }, "1",
       1, "the URL holds a NUL byte"},
      {"NULs, broken UTF-8 and CR-only lines around good keys",
       [&](BadInput& t) {
         t.write("httpset.ini", "\xEF\xBB\xBF\0\xC3\x28\r[set]\rport="s + port + "\r\xFF=\0\r"s + sign_in);
       },
       "0", 0, ""},
      {"no [set] section", [&](BadInput& t) { t.write("httpset.ini", "[sets]\nport=" + port + "\n"); }, "1 --jobs 1",
       -1, "has no [set] section: the service settings take their defaults"},
      // the command line
      {"an unknown option", [](BadInput&) {}, "1 --force", 2, "unknown option '--force'\nusage: pos-updater"},
      {"a job number out of range", [](BadInput&) {}, "1 --jobs 1," + std::to_string(kJobCount), 2,
       "--jobs takes all, or job numbers"},
      {"an option without its value", [](BadInput&) {}, "1 --jobs", 2, "not '--headless'"},
      {"a mode that is not a number", [](BadInput&) {}, "x1 --jobs 1", 0,
       "the mode 'x1' is not a number: mode 0 (changes update)"},
  };
  const std::filesystem::path mch = terminal.home() / "MCH_NO.TXT", set = terminal.home() / "httpset.ini";
  const std::filesystem::path mch_saved = terminal.home() / "MCH_NO.saved", set_saved = terminal.home() / "ini.saved";
  std::filesystem::copy_file(mch, mch_saved);
  std::filesystem::copy_file(set, set_saved);
  for (const auto& c : cases) {
    c.prepare(*this);
    const Outcome o = run_updater(c.args);
    if (c.status >= 0) {
      EXPECT_EQ(o.status, c.status) << c.what << "\n" << o.out << o.err;
    }
    EXPECT_NE(o.err.find(c.message), std::string::npos) << c.what << "\n" << o.err;
    EXPECT_EQ(kept_rows(), 2u) << c.what;
    std::filesystem::remove_all(mch);
    std::filesystem::copy_file(mch_saved, mch);
    std::filesystem::copy_file(set_saved, set, std::filesystem::copy_options::overwrite_existing);
  }
}

}  // namespace
}  // namespace pos::testing

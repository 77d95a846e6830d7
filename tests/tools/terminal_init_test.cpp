#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "localdb/catalogue.h"
#include "localdb/connection.h"
#include "localdb/schema_upkeep.h"
#include "localdb/table_cursor.h"
#include "service/service_settings.h"
#include "tests/support/temp_folder.h"
#include "tools/terminal_folder.h"

namespace fs = std::filesystem;

namespace pos {
namespace {

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string run(const std::string& command, int* status) {
  std::string out;
  FILE* p = popen((command + " 2>&1").c_str(), "r");
  char buf[4096];
  while (std::size_t n = fread(buf, 1, sizeof buf, p)) out.append(buf, n);
  *status = pclose(p);
  return out;
}

class TerminalInit : public ::testing::Test {
 protected:
  pos::testing::TempFolder folder{"posterm"};
  fs::path home = folder.path();
};

TEST_F(TerminalInit, MakesAFolderThatIsqlListsAndTheUpkeepUpgrades) {
  int status = 0;
  std::string out = run(std::string(TERMINAL_INIT_EXE) + " --home " + home.string() +
                            " --machine 002 --service 127.0.0.1:8123 --user HQ --password secret",
                        &status);
  ASSERT_EQ(status, 0) << out;
  EXPECT_EQ(slurp(home / "MCH_NO.TXT"), "002\n");
  EXPECT_EQ(slurp(home / "httpset.ini"),
            "[set]\nhost=127.0.0.1\nport=8123\ndriver=ado\nuser_name=HQ\npassword=secret\n");

  fs::path db = home / "Data" / "POS_LOC.GDB";
  std::string listed = run("echo 'SHOW TABLES;' | isql-fb -q -user SYSDBA " + db.string(), &status);
  ASSERT_EQ(status, 0) << listed;
  for (const char* table :
       {"LOC_PDC", "LOC_TYPE", "PROD_SALE", "PROMOTION", "MEMBER", "VIPCARD_SUB", "LOC_WRK", "SMARTCARD_DATA"})
    EXPECT_NE(listed.find(table), std::string::npos) << table << " missing from:\n" << listed;
  EXPECT_EQ(listed.find("EINVOICE_WORD"), std::string::npos);

  // The older level: what the updater adds is absent until its upkeep runs.
  LocalConnection con;
  con.open(ConnectionParams{db.string()});
  LocalQuery q(con);
  TableCursor cur(con);
  cur.set_command_text("SELECT * FROM LOC_PDC");
  cur.open();
  EXPECT_THROW(cur.column_index("PUT_ID"), std::exception);
  EXPECT_TRUE(IndexMissing(q, "LOC_PDC1"));
  upgrade_local_schema(q);
  cur.open();
  EXPECT_NO_THROW(cur.column_index("PUT_ID"));
  EXPECT_NO_THROW(cur.column_index("POINT_YN"));
  EXPECT_FALSE(TableMissing(q, "EINVOICE_WORD"));

  // The bundle table keeps its column order: the job copies by position.
  cur.set_command_text("SELECT * FROM PROD_SALE");
  cur.open();
  ASSERT_EQ(cur.columns().size(), 8u);
  EXPECT_EQ(cur.columns()[1].name, "SAL_BARCODE");
}

TEST_F(TerminalInit, RefusesToOverwriteADatabaseUnlessForced) {
  TerminalSpec spec{home.string(), "001", "127.0.0.1", "80"};
  make_terminal_folder(spec);
  {
    LocalConnection con;
    con.open(ConnectionParams{(home / "Data" / "POS_LOC.GDB").string()});
    con.execute("INSERT INTO MCH_ITEM (MCH_NO) VALUES ('001')");
  }
  try {
    make_terminal_folder(spec);
    FAIL() << "overwrote an existing database";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("--force"), std::string::npos) << e.what();
  }
  spec.force = true;
  make_terminal_folder(spec);
  LocalConnection con;
  con.open(ConnectionParams{(home / "Data" / "POS_LOC.GDB").string()});
  EXPECT_TRUE(con.query("SELECT * FROM MCH_ITEM").empty());
}

TEST_F(TerminalInit, BadArgumentsAreClearErrors) {
  int status = 0;
  std::string out =
      run(std::string(TERMINAL_INIT_EXE) + " --home " + home.string() + " --machine 1 --service nohost", &status);
  EXPECT_NE(status, 0);
  EXPECT_NE(out.find("HOST:PORT"), std::string::npos) << out;
  out = run(std::string(TERMINAL_INIT_EXE) + " --machine 1", &status);
  EXPECT_NE(status, 0);
  EXPECT_NE(out.find("--home"), std::string::npos) << out;
  for (const char* machine : {"abc/../x", "123456", "'0 1'", "''"}) {
    out = run(
        std::string(TERMINAL_INIT_EXE) + " --home " + home.string() + " --machine " + machine + " --service h:1 2>&1",
        &status);
    EXPECT_NE(status, 0) << machine;
    EXPECT_NE(out.find("1 to 5 letters or digits"), std::string::npos) << out;
  }
  out = run(std::string(TERMINAL_INIT_EXE) + " --home " + home.string() +
                " --machine 1 --service https://127.0.0.1:8443/Vark 2>&1",
            &status);
  EXPECT_NE(status, 0);
  EXPECT_NE(out.find("give --service 127.0.0.1:8443 --scheme https"), std::string::npos) << out;
  EXPECT_FALSE(fs::exists(home / "MCH_NO.TXT"));
}

// The folders are closed to other users (they may pass through to the database); the files are
// its owner's alone, written as new files: a planted link is replaced, what it points to kept.
TEST_F(TerminalInit, TheFilesAreItsOwnersAloneAndNameTheLocalSignInWhenGiven) {
  int status = 0;
  const auto ca = home.parent_path() / (home.filename().string() + "-ca.pem");
  std::ofstream(ca) << "ca\n";
  fs::permissions(home, fs::perms::all);
  pos::testing::TempFolder elsewhere("poselse");
  std::ofstream(elsewhere / "target") << "untouched\n";
  fs::create_symlink(elsewhere / "target", home / "httpset.ini");
  run(std::string(TERMINAL_INIT_EXE) + " --home " + home.string() +
          " --machine A01 --service h:1 --db-password 'fb secret' --scheme https --cafile " + ca.string(),
      &status);
  fs::remove(ca);
  ASSERT_EQ(status, 0);
  const ServiceSettings settings = read_service_settings(home / "httpset.ini");
  EXPECT_EQ(settings.scheme, "https");
  EXPECT_EQ(settings.cafile, ca.string());
  EXPECT_EQ(slurp(elsewhere / "target"), "untouched\n");
  for (const char* file : {"httpset.ini", "MCH_NO.TXT"}) {
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(home / file))) << file;
    EXPECT_EQ(fs::status(home / file).permissions(), fs::perms::owner_read | fs::perms::owner_write) << file;
  }
  for (const fs::path& folder : {home, home / "Data"}) {
    const fs::perms open =
        fs::perms::group_read | fs::perms::group_write | fs::perms::others_read | fs::perms::others_write;
    EXPECT_EQ(fs::status(folder).permissions() & open, fs::perms::none) << folder;
  }
  // The server's SYSDBA password, as pos-updater reads it; the user stays the fixed one.
  const LocalDbSignIn sign_in = read_local_db_sign_in(home / "httpset.ini");
  EXPECT_EQ(sign_in.user, "SYSDBA");
  EXPECT_EQ(sign_in.password, "fb secret");
  EXPECT_TRUE(sign_in.from_settings);
  EXPECT_FALSE(read_local_db_sign_in(home / "none.ini").from_settings);
}

}  // namespace
}  // namespace pos

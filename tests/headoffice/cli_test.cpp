// headoffice-service's command line as a user meets it.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "tests/support/temp_folder.h"

namespace pos::test {
namespace {

struct Outcome {
  int status;
  std::string output;  // stdout and stderr
};

Outcome run(const std::string& args) {
  FILE* p = popen((std::string(HEADOFFICE_EXE) + " " + args + " 2>&1").c_str(), "r");
  Outcome o{};
  char buf[4096];
  while (std::size_t n = fread(buf, 1, sizeof buf, p)) o.output.append(buf, n);
  const int raw = pclose(p);
  o.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return o;
}

TEST(HeadofficeCli, MistakesAreRefusedWithWhatIsWrong) {
  pos::testing::TempFolder folder("ho-cli");
  const std::string db = " --db sqlite:" + (folder / "ho.db").string();
  const struct {
    std::string args, says;
  } refused[] = {
      {"serve --user u --password p" + db, "there is no database"},  // not even created
      {"change products --count 1" + db, "there is no database"},
  };
  for (const auto& c : refused) {
    Outcome o = run(c.args);
    EXPECT_NE(o.status, 0) << c.args;
    EXPECT_NE(o.output.find(c.says), std::string::npos) << c.args << "\n" << o.output;
  }
  EXPECT_FALSE(std::filesystem::exists(folder / "ho.db"));

  ASSERT_EQ(run("init" + db).status, 0);
  ASSERT_EQ(run("seed" + db).status, 0);
  Outcome again = run("seed" + db);
  EXPECT_NE(again.status, 0);
  EXPECT_NE(again.output.find("seed --force"), std::string::npos) << again.output;
  EXPECT_EQ(run("seed --force" + db).status, 0);

  for (const char* listen : {"127.0.0.1:x", "127.0.0.1:70000", "8080", ":8080"}) {
    Outcome o = run(std::string("serve --user u --password p --listen ") + listen + db);
    EXPECT_NE(o.status, 0) << listen;
    EXPECT_NE(o.output.find("--listen takes HOST:PORT"), std::string::npos) << o.output;
  }
  Outcome unknown = run("change products --count 1 --terminals 009" + db);
  EXPECT_EQ(unknown.status, 0);
  EXPECT_NE(unknown.output.find("machine 009 has no MCH_ITEM row"), std::string::npos) << unknown.output;
  EXPECT_NE(run("serve --help").output.find("=127.0.0.1:8080"), std::string::npos);  // the defaults are shown
}

}  // namespace
}  // namespace pos::test

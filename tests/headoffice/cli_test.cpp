// headoffice-service's command line as a user meets it.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "tests/support/temp_folder.h"

namespace pos::test {
namespace {

struct Outcome {
  int status;
  std::string output;  // stdout and stderr
};

// Runs the tool with `args`; a run still going after `limit_seconds` (when set) is ended.
Outcome run(const std::string& args, int limit_seconds = 0) {
  const std::string limit = limit_seconds > 0 ? "timeout " + std::to_string(limit_seconds) + " " : "";
  FILE* p = popen((limit + HEADOFFICE_EXE + " " + args + " 2>&1").c_str(), "r");
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
  const std::string help = run("serve --help").output;
  EXPECT_NE(help.find("=127.0.0.1:8080"), std::string::npos);  // the defaults are shown
  for (const char* option : {"--request-timeout", "--max-connections", "--cert", "--key"})
    EXPECT_NE(help.find(option), std::string::npos) << option;
  Outcome half = run("serve --user u --password p --listen 127.0.0.1:0 --cert " + (folder / "ho.db").string() + db);
  EXPECT_NE(half.status, 0);
  EXPECT_NE(half.output.find("--cert and --key go together"), std::string::npos) << half.output;
}

// A port another listener holds (with SO_REUSEPORT, as the library's own default sets it) is
// refused, not shared.
TEST(HeadofficeCli, APortInUseIsRefused) {
  pos::testing::TempFolder folder("ho-cli");
  const std::string db = " --db sqlite:" + (folder / "ho.db").string();
  ASSERT_EQ(run("init" + db).status, 0);
  const int holder = ::socket(AF_INET, SOCK_STREAM, 0);
  const int yes = 1;
  ::setsockopt(holder, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  ::setsockopt(holder, SOL_SOCKET, SO_REUSEPORT, &yes, sizeof yes);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  ASSERT_EQ(::bind(holder, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  ASSERT_EQ(::listen(holder, 5), 0);
  ::getsockname(holder, reinterpret_cast<sockaddr*>(&a), &len);
  const std::string port = std::to_string(ntohs(a.sin_port));
  Outcome o = run("serve --user u --password p --listen 127.0.0.1:" + port + db, 10);
  ::close(holder);
  EXPECT_EQ(o.status, 1) << o.output;
  EXPECT_NE(o.output.find("cannot listen on 127.0.0.1:" + port + ": the port is in use"), std::string::npos)
      << o.output;
}

}  // namespace
}  // namespace pos::test

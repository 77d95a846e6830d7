// headoffice-service's command line as a user meets it.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "headoffice/storage/database_url.h"
#include "tests/support/process.h"
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

// Credentials are issued with a new password as the last line, listed, and revoked; names that
// cannot be a terminal's or a viewer's, or that another holds, are refused.
TEST(HeadofficeCli, CredentialsAreIssuedListedAndRevoked) {
  pos::testing::TempFolder folder("ho-cli");
  const std::string db = " --db sqlite:" + (folder / "ho.db").string();
  ASSERT_EQ(run("init" + db).status, 0);
  const Outcome added = run("terminals add 001" + db);
  ASSERT_EQ(added.status, 0) << added.output;
  const std::string password = added.output.substr(added.output.rfind('\n', added.output.size() - 2) + 1);
  EXPECT_EQ(password.size(), 25u) << added.output;  // 24 letters and digits and the line end
  EXPECT_EQ(run("viewers add ops" + db).status, 0);
  const struct {
    std::string args, says;
  } refused[] = {
      {"terminals add 000001", "1 to 5 letters or digits"},
      {"viewers add a:b", "a viewer's name is 1 to 40 letters"},
      {"viewers add 001", "'001' is a terminal"},
      {"terminals add ops", "'ops' is a viewer"},
      {"terminals revoke 002", "terminal 002 has no credential to revoke"},
      {"pg-role", "pg-role needs a postgresql: database"},
      {"serve --user u --listen 127.0.0.1:0", "the shared credential needs both --user and a password"},
  };
  for (const auto& c : refused) {
    const Outcome o = run(c.args + db);
    EXPECT_NE(o.status, 0) << c.args;
    EXPECT_NE(o.output.find(c.says), std::string::npos) << c.args << "\n" << o.output;
  }
  EXPECT_EQ(run("terminals revoke 001" + db).status, 0);

  // A terminal registered with one command: its MCH_ITEM row is added, then changed only where told.
  auto machines = [&] {
    auto c = headoffice::open_database("sqlite:" + (folder / "ho.db").string())->connect();
    headoffice::RowCollector rows;
    c->execute("SELECT MCH_NO, MCH_NAME, STOCK_ID, TOP_ITEMID FROM MCH_ITEM ORDER BY MCH_NO", &rows);
    std::string out;
    for (const auto& r : rows.rows())
      for (const auto& v : r) out += (v.is_null() ? "null" : v.as_text()) + (&v == &r.back() ? "\n" : "|");
    return out;
  };
  const struct {
    std::string args, says, rows;
  } registered[] = {
      {"terminals add 002 --name 'Store 12 till 1' --store S012",
       "machine 002 added to MCH_ITEM (name 'Store 12 till 1', store S012)", "002|Store 12 till 1|S012|\n"},
      {"terminals add 002 --store S013", "machine 002's MCH_ITEM row updated (store S013)",
       "002|Store 12 till 1|S013|\n"},
      {"terminals add 002", "machine 002's MCH_ITEM row kept as it was", "002|Store 12 till 1|S013|\n"},
      {"terminals add 003",
       "machine 003 has no MCH_ITEM row and gets no data until it has one: add it with "
       "terminals add 003 --name NAME --store STORE",
       "002|Store 12 till 1|S013|\n"},
      {"terminals add 003 --store S014", "machine 003 added to MCH_ITEM (store S014)",
       "002|Store 12 till 1|S013|\n003|null|S014|\n"},
  };
  for (const auto& r : registered) {
    const Outcome o = run(r.args + db);
    EXPECT_EQ(o.status, 0) << r.args << "\n" << o.output;
    EXPECT_NE(o.output.find(r.says), std::string::npos) << r.args << "\n" << o.output;
    EXPECT_EQ(o.output.substr(o.output.rfind('\n', o.output.size() - 2) + 1).size(), 25u) << o.output;
    EXPECT_EQ(machines(), r.rows) << r.args;
  }
  const struct {
    std::string args, says;
  } unfit[] = {
      {"terminals add 004 --store S0123456789", "is 11 bytes in Big5; MCH_ITEM holds 10"},
      {"terminals add 004 --name '\xF0\x9F\x98\x80'", "holds characters the terminals' Big5 text does not have"},
  };
  for (const auto& u : unfit) {
    const Outcome o = run(u.args + db);
    EXPECT_NE(o.status, 0) << u.args;
    EXPECT_NE(o.output.find(u.says), std::string::npos) << u.args << "\n" << o.output;
  }
  EXPECT_EQ(machines().find("004"), std::string::npos);
  const std::string list = run("terminals list" + db).output + run("viewers list" + db).output;
  EXPECT_NE(list.find("001          terminal revoked"), std::string::npos) << list;
  EXPECT_NE(list.find("ops          viewer   issued"), std::string::npos) << list;
  EXPECT_EQ(list.find(password.substr(0, 24)), std::string::npos);
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

std::string file_text(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// SIGTERM ends the service within seconds while a statement without end runs (it is cancelled,
// not waited for). The service listens on an IPv6 address written in brackets and reads the
// shared credential's password from a file, so that ps does not show it; it warns of that credential.
TEST(HeadofficeCli, StopEndsTheServiceWhateverItsStatementsDo) {
  using Clock = std::chrono::steady_clock;
  pos::testing::TempFolder folder("ho-cli");
  const std::string db = " --db sqlite:" + (folder / "ho.db").string();
  ASSERT_EQ(run("init" + db).status, 0);
  std::ofstream(folder / "secret") << "s3cret-word\n";
  const pid_t pid =
      pos::testing::start_command(std::string(HEADOFFICE_EXE) + " serve --statements any --user u --password-file " +
                                      (folder / "secret").string() + " --listen [::1]:0" + db,
                                  (folder / "out").string(), (folder / "err").string());
  const std::string serving = "serving http://[::1]:";
  int port = 0;
  for (int i = 0; i < 500 && port == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const std::string out = file_text(folder / "out");
    if (const auto at = out.find(serving); at != std::string::npos) port = std::atoi(out.c_str() + at + serving.size());
  }
  if (port == 0) ::kill(pid, SIGKILL);
  ASSERT_NE(port, 0) << file_text(folder / "err");
  EXPECT_EQ(file_text("/proc/" + std::to_string(pid) + "/cmdline").find("s3cret"), std::string::npos);
  EXPECT_NE(file_text(folder / "err").find("--user u is a credential every terminal shares"), std::string::npos);

  const std::string body =
      "--B\r\nContent-Disposition: form-data; name=\"sql\"\r\n\r\n"
      "WITH RECURSIVE C(X) AS (SELECT 1 UNION ALL SELECT X + 1 FROM C) SELECT COUNT(*) FROM C\r\n--B--\r\n";
  const std::string request =
      "POST /Vark/ado/index.php?user_name=u&password=s3cret-word HTTP/1.0\r\nContent-Type: multipart/form-data; "
      "boundary=B\r\nContent-Length: " +
      std::to_string(body.size()) + "\r\n\r\n" + body;
  const int fd = ::socket(AF_INET6, SOCK_STREAM, 0);
  sockaddr_in6 a{};
  a.sin6_family = AF_INET6;
  a.sin6_port = htons(static_cast<uint16_t>(port));
  a.sin6_addr = in6addr_loopback;
  ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  ASSERT_EQ(::send(fd, request.data(), request.size(), MSG_NOSIGNAL), static_cast<ssize_t>(request.size()));
  std::this_thread::sleep_for(std::chrono::milliseconds(500));

  ::kill(pid, SIGTERM);
  const auto stopped = Clock::now();
  int raw = 0;
  while (::waitpid(pid, &raw, WNOHANG) == 0 && Clock::now() - stopped < std::chrono::seconds(15))
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  const double seconds = std::chrono::duration<double>(Clock::now() - stopped).count();
  if (::waitpid(pid, &raw, WNOHANG) == 0) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &raw, 0);
  }
  EXPECT_LT(seconds, 5);
  std::string answer;
  char buf[4096];
  pollfd p{fd, POLLIN, 0};
  while (::poll(&p, 1, 1000) > 0) {
    const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n <= 0) break;
    answer.append(buf, static_cast<std::size_t>(n));
  }
  ::close(fd);
  EXPECT_NE(answer.find("cancelled"), std::string::npos) << answer;  // signed in, then cancelled
}

}  // namespace
}  // namespace pos::test

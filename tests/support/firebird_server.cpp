#include "tests/support/firebird_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <thread>

namespace pos::testing {

namespace {

namespace fs = std::filesystem;

const fs::path kServer = "/usr/sbin/firebird";
const fs::path kSecuritySql = "/usr/share/firebird/3.0/security.sql";
const fs::path kInstalled = "/usr/lib/x86_64-linux-gnu/firebird/3.0";

// A loopback port nobody listens on now.
int free_port() {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  socklen_t len = sizeof addr;
  ::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len);
  ::close(s);
  return ntohs(addr.sin_port);
}

bool listening(int port) {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<std::uint16_t>(port));
  const bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  ::close(s);
  return ok;
}

void run(const std::string& command) {
  if (std::system(command.c_str()) != 0) throw std::runtime_error("failed: " + command);
}

}  // namespace

bool FirebirdServer::available() { return fs::exists(kServer) && fs::exists(kSecuritySql); }

FirebirdServer::FirebirdServer(const std::string& sysdba_password) {
  const fs::path root = folder_ / "root", lock = folder_ / "lock", security = folder_ / "security3.fdb";
  fs::create_directories(root);
  fs::create_directories(lock);
  // The installed engine, plugins and messages; our own configuration beside them.
  for (const char* part : {"firebird.msg", "intl", "lib", "plugins", "plugins.conf", "UDF"})
    fs::create_symlink(kInstalled / part, root / part);
  port_ = free_port();
  // SecurityDatabase: user management reaches our own security database, never the machine's (two
  // such servers at once would otherwise meet in it).
  std::ofstream(root / "firebird.conf") << "RemoteBindAddress = 127.0.0.1\nRemoteServicePort = " << port_
                                        << "\nSecurityDatabase = " << security.string() << "\n";
  std::ofstream(root / "databases.conf") << "security.db = " << security.string() << "\n";
  const std::string env = "FIREBIRD='" + root.string() + "' FIREBIRD_LOCK='" + lock.string() + "' ";
  const std::string quiet = " >>'" + (folder_ / "setup.log").string() + "' 2>&1";
  run("echo \"create database '" + security.string() + "';\" | " + env + "isql-fb -q" + quiet);
  run(env + "isql-fb -q -user SYSDBA -i " + kSecuritySql.string() + " '" + security.string() + "'" + quiet);
  run("echo \"create or alter user SYSDBA password '" + sysdba_password + "';\" | " + env +
      "isql-fb -q -user SYSDBA '" + security.string() + "'" + quiet);

  std::fflush(nullptr);
  pid_ = fork();
  if (pid_ == 0) {
    setenv("FIREBIRD", root.c_str(), 1);
    setenv("FIREBIRD_LOCK", lock.c_str(), 1);
    const std::string log = (folder_ / "server.log").string();
    if (FILE* out = freopen(log.c_str(), "a", stdout)) dup2(fileno(out), 2);
    execl(kServer.c_str(), kServer.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  for (int i = 0; i < 500 && !listening(port_); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  if (!listening(port_)) throw std::runtime_error("the Firebird server did not start; see " + folder_.string());
}

FirebirdServer::~FirebirdServer() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGKILL);  // it takes seconds over SIGTERM, and its databases are the test's own
  int status = 0;
  ::waitpid(pid_, &status, 0);
}

std::string FirebirdServer::database(const fs::path& file) const {
  return "127.0.0.1/" + std::to_string(port_) + ":" + file.string();
}

}  // namespace pos::testing

#include "tests/headoffice/scratch_postgres.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "headoffice/storage/database_url.h"

namespace pos::test {
namespace {

int free_loopback_port() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  int port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0) {
    port = ntohs(addr.sin_port);
  }
  ::close(fd);
  return port;
}

std::string read_file(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace

std::string postgres_bin_dir() {
  if (const char* env = std::getenv("PG_BIN")) return env;
  namespace fs = std::filesystem;
  std::string best;
  if (fs::exists("/usr/lib/postgresql")) {
    for (const auto& e : fs::directory_iterator("/usr/lib/postgresql")) {
      const auto bin = e.path() / "bin";
      if (fs::exists(bin / "initdb") && bin.string() > best) best = bin.string();
    }
  }
  if (best.empty()) throw std::runtime_error("no PostgreSQL server binaries (install postgresql, or set PG_BIN)");
  return best;
}

ScratchPostgres::ScratchPostgres(const std::vector<std::string>& settings) {
  char tmpl[] = "/tmp/ho-postgres-XXXXXX";
  if (::mkdtemp(tmpl) == nullptr) throw std::runtime_error("cannot make a temporary folder");
  dir_ = tmpl;
  as_postgres_ = ::geteuid() == 0;
  if (as_postgres_) {
    const passwd* pw = ::getpwnam("postgres");
    if (pw == nullptr || ::chown(dir_.c_str(), pw->pw_uid, pw->pw_gid) != 0) {
      throw std::runtime_error("running as root needs the postgres user to own " + dir_);
    }
  }
  const std::string bin = postgres_bin_dir();
  const std::string init = run_as_owner(
      bin + "/initdb -D " + dir_ + "/data -U postgres -A trust -E UTF8 --locale=C -N > " + dir_ + "/initdb.log 2>&1");
  if (std::system(init.c_str()) != 0) {
    throw std::runtime_error("initdb failed:\n" + read_file(dir_ + "/initdb.log"));
  }
  std::string options =
      " -c listen_addresses=127.0.0.1 -c fsync=off -c synchronous_commit=off"
      " -c full_page_writes=off -c max_connections=200";
  for (const auto& s : settings) options += " -c " + s;
  for (int attempt = 0; attempt < 3 && !running_; ++attempt) {
    port_ = free_loopback_port();
    const std::string start =
        run_as_owner(bin + "/pg_ctl -D " + dir_ + "/data -l " + dir_ + "/server.log -w -t 60 -o \"-p " +
                     std::to_string(port_) + " -k " + dir_ + options + "\" start > " + dir_ + "/pg_ctl.log 2>&1");
    running_ = std::system(start.c_str()) == 0;
  }
  if (!running_) throw std::runtime_error("PostgreSQL did not start:\n" + read_file(dir_ + "/server.log"));
}

ScratchPostgres::~ScratchPostgres() {
  if (running_) {
    const std::string stop =
        run_as_owner(postgres_bin_dir() + "/pg_ctl -D " + dir_ + "/data -m immediate -w stop > /dev/null 2>&1");
    [[maybe_unused]] const int rc = std::system(stop.c_str());
  }
  std::error_code ec;
  std::filesystem::remove_all(dir_, ec);
}

std::string ScratchPostgres::run_as_owner(const std::string& command) const {
  if (!as_postgres_) return command;
  // The redirections stay inside the quoted command, so the log files belong to postgres too.
  std::string quoted;
  for (char c : command) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return "runuser -u postgres -- sh -c '" + quoted + "'";
}

std::string ScratchPostgres::conninfo(const std::string& database) const {
  return "host=127.0.0.1 port=" + std::to_string(port_) + " user=postgres dbname=" + database;
}

std::string ScratchPostgres::create_database(const std::string& name) const {
  auto admin = headoffice::open_database(url("postgres"))->connect();
  admin->execute("DROP DATABASE IF EXISTS " + name);
  admin->execute("CREATE DATABASE " + name);
  return url(name);
}

}  // namespace pos::test

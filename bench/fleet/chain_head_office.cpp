#include "bench/fleet/chain_head_office.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>

#include "bench/fleet/process_cpu.h"
#include "headoffice/credentials/credential_store.h"
#include "headoffice/generators/seeder.h"
#include "headoffice/storage/database_url.h"
#include "headoffice/storage/schema.h"
#include "tests/support/loopback_socket.h"
#include "tests/support/process.h"
#include "text/date_format.h"

namespace pos::fleet {
namespace {

// The port in a service's first line, "serving http://127.0.0.1:PORT/...", or 0 before it is written.
int reported_port(const std::filesystem::path& log) {
  std::ifstream in(log);
  const std::string head = "serving http://127.0.0.1:";
  for (std::string line; std::getline(in, line);)
    if (line.rfind(head, 0) == 0) return std::atoi(line.c_str() + head.size());
  return 0;
}

bool accepts(int port) {
  const int fd = testing::connect_to_loopback(port);
  if (fd >= 0) ::close(fd);
  return fd >= 0;
}

int free_port() {
  const testing::LoopbackListener l = testing::listen_on_loopback(1);
  ::close(l.fd);
  return l.port;
}

// `log` made again as a table hash-partitioned by machine number into `partitions` parts, with the
// same columns, indexes and rows.
void partition_by_machine(headoffice::Connection& c, const std::string& log, int partitions) {
  const headoffice::TableDef& def = headoffice::service_table(log);
  c.execute("ALTER TABLE " + log + " RENAME TO " + log + "_WHOLE");
  for (std::size_t i = 0; i < def.indexes.size(); ++i)
    c.execute("DROP INDEX IF EXISTS IDX_" + log + "_" + std::to_string(i));
  for (const auto& statement : headoffice::create_statements(def)) {
    if (statement.rfind("CREATE TABLE", 0) != 0) {
      c.execute(statement);
      continue;
    }
    c.execute(statement + " PARTITION BY HASH (MCH_NO)");
    for (int i = 0; i < partitions; ++i)
      c.execute("CREATE TABLE " + log + "_P" + std::to_string(i) + " PARTITION OF " + log +
                " FOR VALUES WITH (MODULUS " + std::to_string(partitions) + ", REMAINDER " + std::to_string(i) + ")");
  }
  c.execute("INSERT INTO " + log + " SELECT * FROM " + log + "_WHOLE");
  c.execute("DROP TABLE " + log + "_WHOLE");
}

void stop(pid_t pid) {
  if (pid <= 0) return;
  ::kill(pid, SIGTERM);
  int status = 0;
  ::waitpid(pid, &status, 0);
}

}  // namespace

ChainHeadOffice::ChainHeadOffice(const ChainHeadOfficeOptions& o) : postgres_(o.postgres) {
  db_url_ = postgres_.create_database("chain");
  {
    auto c = headoffice::open_database(db_url_)->connect();
    headoffice::create_schema(*c, false);
    headoffice::create_credential_table(*c);
    headoffice::issue_credential(*c, o.viewer, headoffice::CredentialRole::Viewer, o.viewer_password);
    headoffice::SeedOptions seed = headoffice::scale_options("store");
    seed.terminals = o.terminals;
    seed.products = o.products;
    seed.members = o.members;
    seed.today = today_slashed();
    headoffice::seed_database(*c, seed);
    if (o.partitions > 0)
      for (const char* log : {"PRODUCT_TEMP", "MEMBER_TEMP"}) partition_by_machine(*c, log, o.partitions);
    c->execute("VACUUM ANALYZE");
  }
  try {
    start_services(o);
    start_balancer();
  } catch (...) {
    stop(balancer_);
    for (const pid_t s : services_) stop(s);
    throw;
  }
}

ChainHeadOffice::~ChainHeadOffice() {
  stop(balancer_);
  for (const pid_t s : services_) stop(s);
}

void ChainHeadOffice::start_services(const ChainHeadOfficeOptions& o) {
  const auto password = folder_ / "password";
  std::ofstream(password) << o.password << "\n";
  for (int i = 0; i < o.services; ++i) {
    const auto log = folder_ / ("serve-" + std::to_string(i) + ".log");
    services_.push_back(testing::start_command(std::string(HEADOFFICE_EXE) + " serve --db '" + db_url_ +
                                                   "' --listen 127.0.0.1:0 --user " + o.user + " --password-file " +
                                                   password.string() + " --threads " + std::to_string(o.threads) +
                                                   " --trusted-proxy 127.0.0.1 --quiet",
                                               log.string(), log.string() + ".err"));
    int port = 0;
    for (int wait = 0; wait < 1000 && port == 0; ++wait) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      port = reported_port(log);
    }
    if (port == 0) {
      std::ifstream err(log.string() + ".err");
      const std::string said((std::istreambuf_iterator<char>(err)), std::istreambuf_iterator<char>());
      throw std::runtime_error("a head-office service did not start: " + said);
    }
    service_ports_.push_back(port);
  }
}

void ChainHeadOffice::start_balancer() {
  balancer_port_ = free_port();
  const auto config = folder_ / "haproxy.cfg";
  std::ofstream cfg(config);
  cfg << "global\n  maxconn 8192\n\n"
         "defaults\n  mode http\n  option http-keep-alive\n  option forwardfor\n  http-reuse safe\n"
         "  timeout connect 5s\n  timeout client 120s\n  timeout server 120s\n  timeout http-keep-alive 10s\n"
         "  maxconn 8192\n\n"
      << "frontend terminals\n  bind 127.0.0.1:" << balancer_port_ << "\n  default_backend services\n\n"
      << "backend services\n  balance roundrobin\n";
  for (std::size_t i = 0; i < service_ports_.size(); ++i)
    cfg << "  server s" << i << " 127.0.0.1:" << service_ports_[i] << "\n";
  cfg.close();
  const auto log = folder_ / "haproxy.log";
  balancer_ = testing::start_command("haproxy -db -f " + config.string(), log.string(), log.string());
  for (int wait = 0; wait < 500 && !accepts(balancer_port_); ++wait)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  if (!accepts(balancer_port_))
    throw std::runtime_error("HAProxy did not start (is Debian's haproxy installed? apt-get install haproxy); see " +
                             log.string());
}

double ChainHeadOffice::services_cpu() const {
  double total = 0;
  for (const pid_t s : services_) total += process_cpu(s);
  return total;
}

double ChainHeadOffice::postgres_cpu() const { return fleet::postgres_cpu(postgres_.data_dir()); }

double ChainHeadOffice::balancer_cpu() const { return process_cpu(balancer_); }

}  // namespace pos::fleet

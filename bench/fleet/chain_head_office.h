#pragma once
// Head office as the chain run needs it, all on loopback: a PostgreSQL server holding the seeded
// head-office database, K `headoffice-service serve` processes on it, and HAProxy in front of them
// (round robin, kept-alive connections both ways, the client's address in X-Forwarded-For, which the
// services trust from the balancer). Everything is stopped when it is destroyed.

#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/headoffice/scratch_postgres.h"
#include "tests/support/temp_folder.h"

namespace pos::fleet {

struct ChainHeadOfficeOptions {
  int services = 2;                       // serve processes
  int threads = 8;                        // each one's database connections (serve --threads)
  std::vector<std::string> postgres;      // server settings, "name=value"
  std::vector<std::string> terminals;     // machine numbers seeded into MCH_ITEM
  int products = 50000, members = 20000;  // seeded
  int partitions = 0;                     // > 0: the products' and members' change logs hash-partitioned by MCH_NO
  std::string user = "SYSDBA", password = "quillbark";              // the terminals' shared credential
  std::string viewer = "monitor", viewer_password = "chainviewer";  // reads /status and /metrics
};

class ChainHeadOffice {
 public:
  explicit ChainHeadOffice(const ChainHeadOfficeOptions& options);
  ~ChainHeadOffice();
  ChainHeadOffice(const ChainHeadOffice&) = delete;
  ChainHeadOffice& operator=(const ChainHeadOffice&) = delete;

  const std::string& db_url() const { return db_url_; }
  int port() const { return balancer_port_; }  // where terminals connect
  const std::vector<int>& service_ports() const { return service_ports_; }
  const test::ScratchPostgres& postgres() const { return postgres_; }

  // CPU seconds so far.
  double services_cpu() const;
  double postgres_cpu() const;
  double balancer_cpu() const;

 private:
  void start_services(const ChainHeadOfficeOptions& o);
  void start_balancer();

  test::ScratchPostgres postgres_;
  testing::TempFolder folder_{"poschain"};
  std::string db_url_;
  std::vector<pid_t> services_;
  std::vector<int> service_ports_;
  pid_t balancer_ = -1;
  int balancer_port_ = 0;
};

}  // namespace pos::fleet

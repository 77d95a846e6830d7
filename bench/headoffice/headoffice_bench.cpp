// Measures the reference service at store scale: single-product fetches (a fresh HTTP/1.0
// connection each, as a terminal makes them) and the whole product table, next to the same
// queries in the database's own shell (sqlite3 or psql) as the floor.

#include <CLI/CLI.hpp>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>
#include <vector>

#include "headoffice/generators/seeder.h"
#include "headoffice/service.h"
#include "headoffice/storage/database_url.h"
#include "tests/headoffice/scratch_postgres.h"
#include "tests/headoffice/terminal_client.h"

namespace ho = pos::headoffice;
using Clock = std::chrono::steady_clock;

namespace {

const std::string kColumns =
    " PROD_ID,PROD_NAME,PROD_ID2,PROD_SNAME,PROD_BARCODE,UNITNAME,SALE_PRICE,PSALE_PRICE,STD_COST,AVG_COST,PD_CLASSID,"
    "SAL_TAG,PD_ITEMID,VIP_PRICE,CR_PRICE,TAX_KIND,P_PU,P_PU2,MEM_DISCOUNT,P_PRICE,P_PRICE2,N_PRICE,FREE_TAX,HEA_TAX,"
    "POINT_YN,PROD_SCALE,STOCK_QTY,DEF_PROFIT,MS,PUT_ID ";
const std::string kWholeTable = "SELECT " + kColumns + " FROM PRODUCT  ";

std::string single_product(int i) {
  return "SELECT " + kColumns + " FROM PRODUCT WHERE PROD_ID = '" + std::to_string(10000001 + i) + "' ";
}

double ms_since(Clock::time_point t) { return std::chrono::duration<double, std::milli>(Clock::now() - t).count(); }

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

double percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[std::min(v.size() - 1, static_cast<std::size_t>(p * v.size()))];
}

// Wall time of a shell command, in milliseconds; exits on failure.
double time_command(const std::string& command) {
  const auto t = Clock::now();
  if (std::system(command.c_str()) != 0) {
    std::fprintf(stderr, "failed: %s\n", command.c_str());
    std::exit(1);
  }
  return ms_since(t);
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"headoffice service benchmark (store scale)"};
  bool postgres = false;
  double seconds = 3;
  int clients = 4;
  int products = 50000;
  app.add_flag("--postgres", postgres, "run on a scratch PostgreSQL server instead of SQLite");
  app.add_option("--seconds", seconds, "duration of each round-trip run");
  app.add_option("--clients", clients, "concurrent clients for the second round-trip run");
  app.add_option("--products", products, "products to seed");
  CLI11_PARSE(app, argc, argv);

  char tmpl[] = "/tmp/ho-bench-XXXXXX";
  const std::string dir = ::mkdtemp(tmpl);
  std::unique_ptr<pos::test::ScratchPostgres> server;
  std::string url, floor_shell;
  if (postgres) {
    server = std::make_unique<pos::test::ScratchPostgres>();
    url = server->create_database("bench");
    floor_shell = pos::test::postgres_bin_dir() + "/psql -X -q -At -h 127.0.0.1 -p " + std::to_string(server->port()) +
                  " -U postgres -d bench";
  } else {
    url = "sqlite:" + dir + "/bench.db";
    floor_shell = "sqlite3 " + dir + "/bench.db";
  }

  ho::SeedOptions seed = ho::scale_options("store");
  seed.products = products;
  seed.today = "2024/05/31";
  auto t = Clock::now();
  {
    auto c = ho::open_database(url)->connect();
    ho::seed_database(*c, seed);
    if (postgres) c->execute("ANALYZE");
  }
  std::printf("backend %s: seeded %d products, %d members in %.1f s\n", postgres ? "postgresql" : "sqlite",
              seed.products, seed.members, ms_since(t) / 1000);

  // The shared credential, any statement: the service's own speed, its statements unchecked.
  ho::ServiceOptions options;
  options.user = "SYSDBA";
  options.password = "quillbark";
  options.any_statement = true;
  options.threads = options.per_credential = std::max(4, clients);
  ho::Service service(ho::open_database(url), options);
  const int port = service.bind("127.0.0.1", 0);
  std::thread serving([&] { service.run(); });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));

  // Single-product round trips, fresh connection each.
  auto round_trips = [&](int n_clients) {
    std::vector<std::vector<double>> latencies(static_cast<std::size_t>(n_clients));
    std::atomic<int> errors{0};
    const auto until = Clock::now() + std::chrono::duration<double>(seconds);
    const auto start = Clock::now();
    std::vector<std::thread> threads;
    for (int k = 0; k < n_clients; ++k) {
      threads.emplace_back([&, k] {
        const pos::test::TerminalClient terminal(port, "SYSDBA", "quillbark");
        for (int i = k; Clock::now() < until && i < 10'000'000; i += n_clients) {
          const auto t0 = Clock::now();
          const auto reply = terminal.query(single_product((i * 7919) % seed.products));
          latencies[static_cast<std::size_t>(k)].push_back(ms_since(t0));
          if (reply.status != 200 || reply.body.find("<ROW ") == std::string::npos) ++errors;
        }
      });
    }
    for (auto& th : threads) th.join();
    const double elapsed = ms_since(start) / 1000;
    std::vector<double> all;
    for (auto& l : latencies) all.insert(all.end(), l.begin(), l.end());
    std::printf("single-product fetch, %d client(s): %.0f round trips/s (%zu in %.1f s), p50 %.2f ms, p99 %.2f ms%s\n",
                n_clients, all.size() / elapsed, all.size(), elapsed, percentile(all, 0.5), percentile(all, 0.99),
                errors ? " ERRORS" : "");
  };
  round_trips(1);
  round_trips(clients);

  // The whole table through the service.
  std::vector<double> whole;
  std::size_t bytes = 0;
  const pos::test::TerminalClient terminal(port, "SYSDBA", "quillbark");
  for (int i = 0; i < 5; ++i) {
    const auto t0 = Clock::now();
    const auto reply = terminal.query(kWholeTable);
    whole.push_back(ms_since(t0));
    bytes = reply.body.size();
    if (reply.status != 200 || reply.body.starts_with("<RESULT>")) {
      std::fprintf(stderr, "whole-table query failed\n");
      return 1;
    }
  }
  std::printf("whole product table via service: median %.0f ms (%.1f MB packet)\n", median(whole), bytes / 1e6);

  // Floors in the database's own shell.
  std::vector<double> shell;
  const std::string whole_cmd = floor_shell + (postgres ? " -c \"" : " \"") + kWholeTable + "\" > /dev/null";
  for (int i = 0; i < 5; ++i) shell.push_back(time_command(whole_cmd));
  std::printf("whole product table in %s shell: median %.0f ms  (service/shell %.1fx)\n", postgres ? "psql" : "sqlite3",
              median(shell), median(whole) / std::max(median(shell), 0.001));

  constexpr int kSingles = 2000;
  {
    std::ofstream f(dir + "/singles.sql");
    for (int i = 0; i < kSingles; ++i) f << single_product((i * 7919) % seed.products) << ";\n";
  }
  const double empty_ms =
      time_command(floor_shell + (postgres ? " -c \"SELECT 1\"" : " \"SELECT 1\"") + " > /dev/null");
  const double singles_ms =
      time_command(floor_shell + (postgres ? " -f " : " < ") + dir + "/singles.sql > /dev/null") - empty_ms;
  std::printf("single-product query in one %s session: %.0f queries/s (shell start-up %.0f ms excluded)\n",
              postgres ? "psql" : "sqlite3", kSingles / (std::max(singles_ms, 0.001) / 1000), empty_ms);

  service.stop();
  serving.join();
  server.reset();
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
  return 0;
}

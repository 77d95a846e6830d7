// Head office's own pages with a chain's worth of terminals: a PostgreSQL head office with N
// terminals in MCH_ITEM, each with a status record and E change-log entries waiting in all (the
// products' and members' logs, a sixth of them members'), and the time GET /status.json, /status
// and /metrics take, the median and the slowest of a few each.
//
//   status_bench [--terminals 3000] [--entries 1800000] [--tries 5]

#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "headoffice/credentials/credential_store.h"
#include "headoffice/generators/seeder.h"
#include "headoffice/service.h"
#include "headoffice/storage/database_url.h"
#include "headoffice/storage/schema.h"
#include "tests/headoffice/scratch_postgres.h"
#include "tests/headoffice/terminal_client.h"
#include "text/date_format.h"

namespace ho = pos::headoffice;
using Clock = std::chrono::steady_clock;

int main(int argc, char** argv) {
  CLI::App app{"the status page, /status.json and /metrics with a chain's terminals and change logs"};
  int terminals = 3000, tries = 5;
  long entries = 1800000;
  app.add_option("--terminals", terminals, "terminals head office knows")->check(CLI::Range(1, 99999));
  app.add_option("--entries", entries, "change-log entries waiting, over every terminal")
      ->check(CLI::NonNegativeNumber);
  app.add_option("--tries", tries, "answers timed per page")->check(CLI::PositiveNumber);
  CLI11_PARSE(app, argc, argv);
  try {
    pos::test::ScratchPostgres postgres;
    const std::string url = postgres.create_database("status");
    std::vector<std::string> machines;
    for (int i = 1; i <= terminals; ++i) {
      char m[16];
      std::snprintf(m, sizeof m, "%04d", i);
      machines.push_back(m);
    }
    {
      auto c = ho::open_database(url)->connect();
      ho::create_schema(*c, false);
      ho::SeedOptions seed;
      seed.terminals = machines;
      seed.today = pos::today_slashed();
      ho::seed_database(*c, seed);
      ho::Transaction tx(*c);
      const std::string status_columns[] = {"MCH_NO",   "LAST_SEEN",       "RUN_STARTED",  "RUN_ENDED",
                                            "RUN_KIND", "CHANGES_STARTED", "CHANGES_ENDED"};
      auto status = c->bulk_insert("TERMINAL_STATUS", status_columns);
      const std::string now = "2030-01-01 00:00:00";
      for (const auto& m : machines) {
        const pos::Value row[] = {pos::Value(m),         pos::Value(now), pos::Value(now), pos::Value(now),
                                  pos::Value("changes"), pos::Value(now), pos::Value(1)};
        status->add(row);
      }
      status->finish();
      for (const auto& [log, key, share] :
           {std::tuple{"PRODUCT_TEMP", "PROD_ID", 5}, {"MEMBER_TEMP", "MEMBER_ID", 1}}) {
        const std::string columns[] = {"MCH_NO", key, "STATE"};
        auto insert = c->bulk_insert(log, columns);
        const long n = entries * share / 6;
        for (long i = 0; i < n; ++i) {
          const pos::Value row[] = {pos::Value(machines[static_cast<std::size_t>(i) % machines.size()]),
                                    pos::Value(std::to_string(10000000 + i / terminals)), pos::Value("UPDATE")};
          insert->add(row);
        }
        insert->finish();
      }
      tx.commit();
      c->execute("VACUUM ANALYZE");
      ho::create_credential_table(*c);
      ho::issue_credential(*c, "bench", ho::CredentialRole::Viewer, "benchviewerpw");
    }
    ho::ServiceOptions options;
    ho::Service service(ho::open_database(url), options);
    const int port = service.bind("127.0.0.1", 0);
    std::thread serving([&] { service.run(); });
    std::printf("status_bench: %d terminals, %ld change-log entries waiting (PostgreSQL)\n", terminals, entries);
    for (const char* path : {"/status.json", "/status", "/metrics"}) {
      std::vector<double> ms;
      std::size_t bytes = 0;
      for (int i = 0; i < tries; ++i) {
        const auto t0 = Clock::now();
        const auto reply = pos::test::http_get(port, path, "bench:benchviewerpw");
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        if (reply.status != 200)
          throw std::runtime_error(std::string(path) + " answered " + std::to_string(reply.status));
        bytes = reply.body.size();
      }
      std::sort(ms.begin(), ms.end());
      std::printf("  %-13s median %7.1f ms, slowest %7.1f ms, %zu bytes\n", path, ms[ms.size() / 2], ms.back(), bytes);
    }
    service.stop();
    serving.join();
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "status_bench: %s\n", e.what());
    return 1;
  }
}

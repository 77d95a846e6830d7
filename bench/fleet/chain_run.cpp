#include "bench/fleet/chain_run.h"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <queue>
#include <random>
#include <thread>
#include <vector>

#include "bench/fleet/chain_head_office.h"
#include "bench/fleet/chain_writer.h"
#include "bench/fleet/change_ledger.h"
#include "bench/fleet/process_cpu.h"
#include "bench/fleet/simulated_terminal.h"
#include "headoffice/storage/database_url.h"
#include "packet/row_set.h"
#include "tests/headoffice/terminal_client.h"
#include "text/date_format.h"
#include "text/number_format.h"

namespace pos::fleet {
namespace {

using Clock = std::chrono::steady_clock;

const char* const kLogs[] = {"PRODUCT_TEMP", "MEMBER_TEMP", "PSALE_TEMP", "PTSALE_TEMP", "GSALE_TEMP"};

struct Options {
  int terminals = 0;
  double minutes = 30;
  double interval_s = 300;
  int services = 2;
  int threads = 8;
  int workers = 64;
  WritePace pace;
  int products = 50000, members = 20000;
  std::vector<std::string> postgres = {"fsync=on", "full_page_writes=on", "synchronous_commit=on"};
  unsigned seed = 7;
  bool statements = false;  // pg_stat_statements on, and its costliest statements printed
  int partitions = 0;
};

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }
Clock::duration span(double s) { return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(s)); }

double quantile(std::vector<float>& v, double p) {
  if (v.empty()) return 0;
  const auto rank = static_cast<std::size_t>(std::max(1.0, std::ceil(p * static_cast<double>(v.size())))) - 1;
  std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(rank), v.end());
  return v[rank];
}

std::string machine_number(int i) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d", i);
  return buf;
}

std::uint32_t version_in(const RowSet& rows, const char* field) {
  if (rows.row_count() == 0) return 0;
  const std::string text = rows.text(field);
  const double v = parse_number_or(text, 0);
  return v > 0 && v < 4e9 ? static_cast<std::uint32_t>(v) : 0;
}

// Tells the ledger what one terminal fetched.
struct Watcher : FetchWatcher {
  Watcher(ChangeLedger& l, std::size_t t) : ledger(l), terminal(t) {}
  void product(const std::string& key, const RowSet& rows) override {
    ledger.fetched(terminal, key, version_in(rows, "PUT_ID"));
  }
  void member(const std::string& key, const RowSet& rows) override {
    ledger.fetched(terminal, key, version_in(rows, "NOTE"));
  }
  ChangeLedger& ledger;
  std::size_t terminal;
};

struct Terminal {
  std::unique_ptr<SimulatedTerminal> sim;
  std::unique_ptr<Watcher> watcher;
  Clock::time_point due;
};

// What the runs did, summed by the workers.
struct Tally {
  std::mutex mu;
  long runs = 0, failed = 0;
  std::vector<float> request_ms, run_s;
  double latest_start = 0;  // the most a run began after its time, seconds
  std::vector<std::string> errors;
  std::atomic<long> requests{0};

  void add(const RunReport& r, double run_seconds, double late, const std::string& machine) {
    requests += static_cast<long>(r.request_ms.size());
    std::lock_guard lock(mu);
    ++runs;
    run_s.push_back(static_cast<float>(run_seconds));
    for (const double ms : r.request_ms) request_ms.push_back(static_cast<float>(ms));
    latest_start = std::max(latest_start, late);
    if (r.clean()) return;
    ++failed;
    if (errors.size() < 10)
      errors.push_back(machine + ": " +
                       (r.completed ? std::to_string(r.failed_rows) + " rows failed, " + std::to_string(r.unconfirmed) +
                                          " statements unconfirmed"
                                    : r.error.substr(0, 300)));
  }
};

// Change-log rows waiting and the change logs' size on disk.
struct LogState {
  std::int64_t rows = 0;
  double megabytes = 0;
};

LogState log_state(headoffice::Connection& c) {
  LogState s;
  for (const char* log : kLogs) {
    headoffice::RowCollector rows;
    c.execute(std::string("SELECT COUNT(*), pg_total_relation_size('") + log + "') FROM " + log, &rows);
    s.rows += rows.rows()[0][0].integer();
    s.megabytes += static_cast<double>(rows.rows()[0][1].integer()) / (1 << 20);
  }
  return s;
}

// The counters at one moment, and what an interval adds up to between two of them.
struct Sample {
  Clock::time_point at;
  double services = 0, postgres = 0, balancer = 0, process = 0, writer = 0;
  long requests = 0;
  std::int64_t logged = 0;
  LogState logs;
  double status_ms = 0, metrics_ms = 0;  // answer times of /status.json and /metrics
};

// How long a GET of `path` from the first service takes, signed in as head office; -1 when it fails.
double answer_ms(const ChainHeadOffice& ho, const std::string& path) {
  const auto t0 = Clock::now();
  const test::HttpReply reply =
      test::http_get(ho.service_ports().front(), path,
                     ChainHeadOfficeOptions{}.viewer + ":" + ChainHeadOfficeOptions{}.viewer_password);
  return reply.status == 200 ? seconds(Clock::now() - t0) * 1000 : -1;
}

Sample sample(const ChainHeadOffice& ho, const ChainWriter& writer, const Tally& tally, headoffice::Connection& c) {
  Sample s;
  s.at = Clock::now();
  s.services = ho.services_cpu();
  s.postgres = ho.postgres_cpu();
  s.balancer = ho.balancer_cpu();
  s.process = own_cpu();
  s.writer = writer.cpu;
  s.requests = tally.requests;
  s.logged = writer.logged;
  s.logs = log_state(c);
  s.status_ms = answer_ms(ho, "/status.json");
  s.metrics_ms = answer_ms(ho, "/metrics");
  return s;
}

std::vector<std::string> product_keys(headoffice::Connection& c, const char* sql) {
  headoffice::RowCollector rows;
  c.execute(sql, &rows);
  std::vector<std::string> keys;
  for (const auto& r : rows.rows()) keys.push_back(r[0].as_text());
  return keys;
}

// Runs the due runs of `terminals` on `workers` threads until `end`: each run is taken when its time
// has come, and the terminal's next run is due one interval later.
void run_timers(std::vector<Terminal>& terminals, const Options& o, Clock::time_point end, Tally& tally) {
  using Due = std::pair<Clock::time_point, std::size_t>;
  std::priority_queue<Due, std::vector<Due>, std::greater<>> queue;
  for (std::size_t i = 0; i < terminals.size(); ++i) queue.emplace(terminals[i].due, i);
  std::mutex mu;
  std::vector<std::thread> workers;
  for (int w = 0; w < o.workers; ++w)
    workers.emplace_back([&] {
      for (;;) {
        Due next;
        {
          std::lock_guard lock(mu);
          if (queue.empty() || queue.top().first >= end) return;
          next = queue.top();
          queue.pop();
        }
        std::this_thread::sleep_until(next.first);
        Terminal& t = terminals[next.second];
        const auto start = Clock::now();
        const RunReport r = t.sim->changes_update(today_slashed(), t.watcher.get());
        tally.add(r, seconds(Clock::now() - start), seconds(start - next.first), t.sim->machine());
        std::lock_guard lock(mu);
        queue.emplace(next.first + span(o.interval_s), next.second);
      }
    });
  for (auto& w : workers) w.join();
}

// Every terminal once more, as fast as the workers go.
void run_once_each(std::vector<Terminal>& terminals, int width, Tally& tally) {
  std::atomic<std::size_t> next{0};
  std::vector<std::thread> workers;
  for (int w = 0; w < width; ++w)
    workers.emplace_back([&] {
      for (std::size_t i; (i = next++) < terminals.size();) {
        const auto start = Clock::now();
        const RunReport r = terminals[i].sim->changes_update(today_slashed(), terminals[i].watcher.get());
        tally.add(r, seconds(Clock::now() - start), 0, terminals[i].sim->machine());
      }
    });
  for (auto& w : workers) w.join();
}

// What PostgreSQL says of the change logs' upkeep, and with `statements` its costliest statements.
void print_database_report(headoffice::Connection& c, bool statements) {
  headoffice::RowCollector tables;
  c.execute(
      "SELECT relname, n_live_tup, n_dead_tup, autovacuum_count, autoanalyze_count, "
      "pg_total_relation_size(relid) / 1048576 FROM pg_stat_user_tables WHERE relname LIKE '%_temp' ORDER BY relname",
      &tables);
  std::printf("change logs: table, live rows, dead rows, autovacuums, autoanalyzes, MB\n");
  for (const auto& r : tables.rows())
    std::printf("  %-14s %10s %10s %4s %4s %6s\n", r[0].as_text().c_str(), r[1].as_text().c_str(),
                r[2].as_text().c_str(), r[3].as_text().c_str(), r[4].as_text().c_str(), r[5].as_text().c_str());
  headoffice::RowCollector wal;
  c.execute(
      "SELECT checkpoints_timed, checkpoints_req, wal_bytes / 1048576, wal_fpi FROM pg_stat_bgwriter, pg_stat_wal",
      &wal);
  const auto& w = wal.rows().at(0);
  std::printf("checkpoints: %s timed, %s asked for; WAL written %s MB, %s full-page images\n", w[0].as_text().c_str(),
              w[1].as_text().c_str(), w[2].as_text().c_str(), w[3].as_text().c_str());
  if (!statements) return;
  headoffice::RowCollector costly;
  c.execute(
      "SELECT round(total_exec_time)::bigint, calls, round((total_exec_time / calls)::numeric, 3), rows, "
      "left(regexp_replace(query, '\\s+', ' ', 'g'), 150) FROM pg_stat_statements ORDER BY total_exec_time DESC "
      "LIMIT 15",
      &costly);
  std::printf("costliest statements: total ms, calls, mean ms, rows, statement\n");
  for (const auto& r : costly.rows())
    std::printf("  %8s %8s %8s %9s  %s\n", r[0].as_text().c_str(), r[1].as_text().c_str(), r[2].as_text().c_str(),
                r[3].as_text().c_str(), r[4].as_text().c_str());
}

void print_table(const std::vector<Sample>& samples) {
  std::printf("%-9s %10s  %-44s  %-31s %9s  %-15s\n", "", "", "CPU seconds", "change-log rows", "log size",
              "answer ms");
  std::printf("%-9s %10s  %8s %10s %8s %8s %6s  %10s %10s %9s %9s  %6s %8s\n", "interval", "requests/s", "services",
              "PostgreSQL", "HAProxy", "simulator", "writer", "logged", "removed", "left", "MB", "status", "metrics");
  for (std::size_t i = 1; i < samples.size(); ++i) {
    const Sample &a = samples[i - 1], &b = samples[i];
    const double wall = seconds(b.at - a.at);
    const std::int64_t logged = b.logged - a.logged;
    const std::int64_t removed = logged - (b.logs.rows - a.logs.rows);
    std::printf("%-9zu %10.1f  %8.1f %10.1f %8.1f %8.1f %6.1f  %10lld %10lld %9lld %9.1f  %6.0f %8.0f\n", i,
                static_cast<double>(b.requests - a.requests) / wall, b.services - a.services, b.postgres - a.postgres,
                b.balancer - a.balancer, (b.process - a.process) - (b.writer - a.writer), b.writer - a.writer,
                static_cast<long long>(logged), static_cast<long long>(removed), static_cast<long long>(b.logs.rows),
                b.logs.megabytes, b.status_ms, b.metrics_ms);
  }
}

int run(const Options& o) {
  std::vector<std::string> machines;
  for (int i = 1; i <= o.terminals; ++i) machines.push_back(machine_number(i));
  std::printf(
      "chain: %d simulated terminals, %g min of %g s intervals, %d services x %d connections behind HAProxy, "
      "head office writing %d products and %d members an interval in %d commits\n",
      o.terminals, o.minutes, o.interval_s, o.services, o.threads, o.pace.products, o.pace.members, o.pace.commits);
  std::fflush(stdout);
  std::vector<std::string> settings = o.postgres;
  if (o.statements)
    settings.insert(settings.end(), {"shared_preload_libraries=pg_stat_statements", "pg_stat_statements.track=all"});
  ChainHeadOffice ho({.services = o.services,
                      .threads = o.threads,
                      .postgres = settings,
                      .terminals = machines,
                      .products = o.products,
                      .members = o.members,
                      .partitions = o.partitions});
  auto db = headoffice::open_database(ho.db_url());
  auto monitor = db->connect();
  if (o.statements) monitor->execute("CREATE EXTENSION IF NOT EXISTS pg_stat_statements");
  const std::vector<std::string> products = product_keys(*monitor, "SELECT PROD_ID FROM PRODUCT ORDER BY PROD_ID");
  const std::vector<std::string> members = product_keys(*monitor, "SELECT MEMBER_ID FROM MEMBER ORDER BY MEMBER_ID");
  std::vector<std::string> keys = products;
  keys.insert(keys.end(), members.begin(), members.end());
  ChangeLedger ledger(keys, machines.size());

  // The terminals' folders hold only httpset.ini and the data module's diagnostic files.
  const std::filesystem::path root =
      std::filesystem::exists("/dev/shm") ? std::filesystem::path("/dev/shm") : std::filesystem::temp_directory_path();
  const auto folders = root / ("poschain-" + std::to_string(::getpid()));
  std::vector<Terminal> terminals(machines.size());
  std::mt19937 random(o.seed);
  std::uniform_real_distribution<double> moment(0, o.interval_s);
  const auto start = Clock::now() + std::chrono::seconds(2);
  for (std::size_t i = 0; i < machines.size(); ++i) {
    terminals[i].sim = std::make_unique<SimulatedTerminal>(
        folders / machines[i], machines[i],
        HeadOfficeAddress{
            .port = ho.port(), .user = ChainHeadOfficeOptions{}.user, .password = ChainHeadOfficeOptions{}.password});
    terminals[i].watcher = std::make_unique<Watcher>(ledger, i);
    terminals[i].due = start + span(moment(random));
  }

  WritePace pace = o.pace;
  pace.interval_s = o.interval_s;
  ChainWriter writer(*db, ledger, products, members, machines, pace);
  std::atomic<bool> stop_writing{false};
  Tally tally;
  if (o.statements) monitor->execute("SELECT pg_stat_statements_reset()");
  std::vector<Sample> samples{sample(ho, writer, tally, *monitor)};
  std::thread writing([&] { writer.run(stop_writing); });
  const auto end = start + span(o.minutes * 60);
  std::atomic<bool> measuring{true};
  std::thread sampling([&] {
    for (int k = 1; measuring; ++k) {
      const auto at = start + span(o.interval_s * k);
      if (at >= end) break;  // the last interval ends with the runs
      while (measuring && Clock::now() < at) std::this_thread::sleep_for(std::chrono::milliseconds(100));
      if (!measuring) break;
      samples.push_back(sample(ho, writer, tally, *monitor));
      const Sample& s = samples.back();
      std::fprintf(stderr, "chain: interval %d: %ld runs (%ld failed), %lld change-log rows waiting\n", k, tally.runs,
                   tally.failed, static_cast<long long>(s.logs.rows));
    }
  });
  run_timers(terminals, o, end, tally);
  stop_writing = true;
  writing.join();
  measuring = false;
  sampling.join();
  samples.push_back(sample(ho, writer, tally, *monitor));
  const long measured_runs = tally.runs, measured_failed = tally.failed;
  std::vector<float> request_ms = std::move(tally.request_ms), run_s = std::move(tally.run_s);
  const double latest_start = tally.latest_start;

  // Quiet now: every terminal takes what is left, which must be everything. These runs come out of
  // their turn, so what they fetch counts for no freshness.
  ledger.stop_timing();
  Tally last;
  const auto drain = Clock::now();
  run_once_each(terminals, o.workers, last);
  const double drain_s = seconds(Clock::now() - drain);
  const LogState left = log_state(*monitor);
  const std::uint64_t lost = ledger.missing();
  const long failed = measured_failed + last.failed;

  std::printf(
      "simulated %d terminals: runs %ld, failed %ld, changes lost %llu, freshness p50 %.0f s p99 %.0f s max %.0f s, "
      "requests p50 %.1f ms p99 %.1f ms\n",
      o.terminals, measured_runs, failed, static_cast<unsigned long long>(lost), ledger.freshness(0.5),
      ledger.freshness(0.99), ledger.freshness_max(), quantile(request_ms, 0.5), quantile(request_ms, 0.99));
  print_table(samples);
  std::printf("runs: p50 %.2f s, p99 %.2f s, %zu requests a run; the latest start %.1f s after its time\n",
              quantile(run_s, 0.5), quantile(run_s, 0.99),
              measured_runs > 0 ? request_ms.size() / static_cast<std::size_t>(measured_runs) : 0, latest_start);
  std::printf("head office wrote %llu changes (%lld change-log rows) in %.0f s; its latest commit %.1f s late%s\n",
              static_cast<unsigned long long>(ledger.changes()), static_cast<long long>(writer.logged.load()),
              o.minutes * 60, writer.late.load(), writer.errors > 0 ? ", WRITE ERRORS" : "");
  if (writer.errors > 0)
    std::printf("  ! head office's writes: %lld failed: %s\n", static_cast<long long>(writer.errors.load()),
                writer.first_error.c_str());
  std::printf("last runs: %ld in %.0f s, %ld failed; change-log rows left %lld\n", last.runs, drain_s, last.failed,
              static_cast<long long>(left.rows));
  for (const auto* t : {&tally, &last})
    for (const auto& e : t->errors) std::printf("  ! %s\n", e.c_str());
  print_database_report(*monitor, o.statements);
  std::error_code ec;
  std::filesystem::remove_all(folders, ec);
  return failed == 0 && lost == 0 && left.rows == 0 && writer.errors == 0 ? 0 : 1;
}

}  // namespace

int chain_main(int argc, char** argv) {
  CLI::App app{"the chain run: simulated terminals on one head office behind HAProxy"};
  Options o;
  app.add_option("--simulated", o.terminals, "simulated terminals")->required()->check(CLI::Range(1, 9999));
  app.add_option("--minutes", o.minutes, "how long the terminals run")->check(CLI::PositiveNumber);
  app.add_option("--interval-s", o.interval_s, "a terminal's timer period")->check(CLI::PositiveNumber);
  app.add_option("--services", o.services, "service processes behind HAProxy")->check(CLI::Range(1, 64));
  app.add_option("--threads", o.threads, "database connections of each service")->check(CLI::Range(1, 90));
  app.add_option("--workers", o.workers, "the simulator's threads (runs at once at most)")->check(CLI::Range(1, 1000));
  app.add_option("--product-changes", o.pace.products, "products head office changes an interval")
      ->check(CLI::NonNegativeNumber);
  app.add_option("--member-changes", o.pace.members, "members head office changes an interval")
      ->check(CLI::NonNegativeNumber);
  app.add_option("--commits", o.pace.commits, "head office's commits an interval")->check(CLI::Range(1, 100000));
  app.add_option("--products", o.products, "products seeded")->check(CLI::PositiveNumber);
  app.add_option("--members", o.members, "members seeded")->check(CLI::PositiveNumber);
  app.add_option("--postgres", o.postgres, "PostgreSQL settings, name=value (replace the durable defaults)");
  app.add_option("--seed", o.seed, "when each terminal's timer first fires");
  app.add_option("--partitions", o.partitions,
                 "hash-partition the products' and members' change logs by machine number (an experiment)")
      ->check(CLI::Range(0, 256));
  app.add_flag("--statements", o.statements, "PostgreSQL's costliest statements at the end (pg_stat_statements)");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e);
  }
  try {
    return run(o);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "fleet_bench --simulated: %s\n", e.what());
    return 1;
  }
}

}  // namespace pos::fleet

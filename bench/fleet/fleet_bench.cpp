// A fleet on one head office: PostgreSQL holds the head-office data, two `headoffice-service serve`
// processes on two ports serve it, and N terminals (each a folder from terminal-init, half on each
// service) run changes updates at once, each its own headless pos-updater with the embedded engine,
// while head office keeps changing products, members and promotions for all of them.
//
// Every terminal first gets a full update (setup, a few at a time, not measured). Then all N loop
// changes updates while a writer applies batches of changes and an editor makes quick edits of single
// products and members, each logged for every terminal. After the writers stop, every terminal
// makes one quiet changes update, and so does a control terminal that stayed still throughout.
// Then for every terminal: every run exited 0, its change logs at head office are empty, and its
// local tables equal the control's (except the invoice tracks, each machine's own), so no change-log
// entry was removed without being applied.
//
// Prints runs completed, failed runs, run time p50/p99, requests served per second (both services),
// changes written, terminals converged, peak concurrent runs, wall time and where the CPU time went
// (terminals, services, PostgreSQL, writers). Exits 1 when a run failed or a terminal did not
// converge. Heavy: run it under nice. Head office's pace (--batch, --pause-ms, --edit-ms) must stay
// within what the fleet drains, or every run takes the growing backlog of the one before.
//
//   fleet_bench [--terminals 100] [--runs 3] [--products 2000] [--members 1000] [--threads 8]
//               [--batch 10] [--pause-ms 2000] [--edit-ms 1000] [--batch-requests]

#include <sys/resource.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "bench/fleet/chain_run.h"
#include "bench/fleet/process_cpu.h"
#include "headoffice/generators/changer.h"
#include "headoffice/status/fleet_status.h"
#include "headoffice/storage/database_url.h"
#include "tests/e2e/expected_state.h"
#include "tests/e2e/store_programs.h"
#include "tests/headoffice/scratch_postgres.h"
#include "tests/support/local_snapshot.h"
#include "tests/support/process.h"
#include "tests/support/reference_service.h"
#include "tests/support/temp_folder.h"
#include "text/date_format.h"

namespace ho = pos::headoffice;
using pos::testing::ReferenceService;
using Clock = std::chrono::steady_clock;

namespace {

double since(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

// Runs f(0) ... f(n-1) on `width` threads.
template <class F>
void in_parallel(int n, int width, F f) {
  std::atomic<int> next{0};
  std::vector<std::thread> workers;
  for (int w = 0; w < std::min(n, width); ++w)
    workers.emplace_back([&] {
      for (int i; (i = next++) < n;) f(i);
    });
  for (auto& t : workers) t.join();
}

using pos::fleet::postgres_cpu;
using pos::fleet::process_cpu;

// The machine's CPU ticks since boot: busy (user, nice, system, irq, softirq, steal), iowait, idle.
struct MachineTicks {
  double busy = 0, iowait = 0, idle = 0;
};
MachineTicks machine_ticks() {
  std::ifstream in("/proc/stat");
  std::string cpu;
  double v[8] = {};
  in >> cpu;
  for (double& x : v) in >> x;
  return {v[0] + v[1] + v[2] + v[5] + v[6] + v[7], v[4], v[3]};
}

double rusage_cpu(int who) {
  rusage u{};
  getrusage(who, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

std::string read_text(const std::filesystem::path& file) {
  std::ifstream in(file);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string machine_number(int i, int width) {
  std::string s = std::to_string(i);
  return std::string(width - std::min<int>(width, static_cast<int>(s.size())), '0') + s;
}

double percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const auto rank = static_cast<std::size_t>(std::max(1.0, std::ceil(p * static_cast<double>(v.size()))));
  return v[std::min(rank, v.size()) - 1];
}

struct Terminal {
  std::filesystem::path home;
  std::string machine;
  const ReferenceService* service = nullptr;
  std::vector<double> seconds;  // measured runs
  int failed = 0;
  int final_status = -1;
  std::string first_error;
};

// One headless changes or full update of `t`; its exit status and its stderr.
std::pair<int, std::string> update(const Terminal& t, const std::string& args) {
  const auto err = t.home / "run-stderr.txt";
  const pid_t pid = pos::testing::start_command(pos::e2e::updater_command(t.home, args),
                                                (t.home / "run-stdout.txt").string(), err.string());
  const int status = pos::testing::finish_command(pid);
  return {status, status == 0 ? "" : read_text(err)};
}

// A member's deletion leaves its local sub-cards, so which of a deleted member's sub-cards a
// terminal keeps depends on when it last fetched them (the control, still throughout, keeps the
// ones from its set-up). Those are left out of the comparison; a member's own rows are not.
void without_orphan_sub_cards(pos::testing::LocalSnapshot& s) {
  std::set<std::string> members;
  for (const auto& row : s["MEMBER"]) members.insert(row.substr(0, row.find('|')));
  auto& cards = s["VIPCARD_SUB"];
  std::erase_if(cards, [&](const std::string& row) { return !members.count(row.substr(0, row.find('|'))); });
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (std::string_view(argv[i]).starts_with("--simulated")) return pos::fleet::chain_main(argc, argv);
  CLI::App app{"terminals running changes updates at once against two services on one PostgreSQL"};
  int terminals = 100, runs = 3, products = 2000, members = 1000, promotions = 20, any_choice = 10, gifts = 10;
  int threads = 8, setup_width = 2, batch = 10, pause_ms = 2000, edit_ms = 1000, seed = 7;
  app.add_option("--terminals", terminals, "terminals updating at once")->check(CLI::Range(1, 9998));
  app.add_option("--runs", runs, "changes updates per terminal while head office writes")->check(CLI::PositiveNumber);
  app.add_option("--products", products, "products seeded")->check(CLI::PositiveNumber);
  app.add_option("--members", members, "members seeded")->check(CLI::PositiveNumber);
  app.add_option("--promotions", promotions, "sales promotions seeded")->check(CLI::NonNegativeNumber);
  app.add_option("--any-choice", any_choice, "any-choice promotions seeded")->check(CLI::NonNegativeNumber);
  app.add_option("--gifts", gifts, "gift promotions seeded")->check(CLI::NonNegativeNumber);
  app.add_option("--threads", threads, "database connections of each service (serve --threads)")
      ->check(CLI::Range(1, 90));
  app.add_option("--setup-width", setup_width, "full updates at once during setup")->check(CLI::PositiveNumber);
  app.add_option("--batch", batch, "products or members a writer batch changes")->check(CLI::PositiveNumber);
  app.add_option("--pause-ms", pause_ms, "the writer's pause between batches")->check(CLI::NonNegativeNumber);
  app.add_option("--edit-ms", edit_ms, "the editor's pause between quick edits")->check(CLI::PositiveNumber);
  app.add_option("--seed", seed, "generator seed of the head-office data");
  bool batch_requests = false;
  app.add_flag("--batch-requests", batch_requests,
               "terminals with batch=1: one kept-alive connection, a chunk of keys per request");
  bool compare_statements = false;
  app.add_flag("--compare-statements", compare_statements,
               "the second service runs any statement (serve --statements any): the cost of admission, side by side");
  CLI11_PARSE(app, argc, argv);

  try {
    const auto started = Clock::now();
    const int width = std::max(3, static_cast<int>(std::to_string(terminals + 1).size()));
    std::string all;
    for (int i = 1; i <= terminals + 1; ++i) all += (i > 1 ? "," : "") + machine_number(i, width);

    pos::test::ScratchPostgres postgres;
    const std::string url = postgres.create_database("fleet");
    const std::vector<std::string> serve_args = {"--threads", std::to_string(threads)};
    ReferenceService first({"--products", std::to_string(products), "--members", std::to_string(members),
                            "--promotions", std::to_string(promotions), "--any-choice", std::to_string(any_choice),
                            "--gifts", std::to_string(gifts), "--seed", std::to_string(seed)},
                           all, std::nullopt, url, serve_args);
    std::vector<std::string> second_args = serve_args;
    if (compare_statements) second_args.push_back("--statements=any");
    ReferenceService second({}, "", std::nullopt, url, second_args);
    second.share_credentials(first);

    // Terminals alternate between the services; the last one is the control.
    pos::testing::TempFolder root("posfleet");
    std::vector<Terminal> fleet(static_cast<std::size_t>(terminals + 1));
    for (int i = 0; i <= terminals; ++i) {
      Terminal& t = fleet[static_cast<std::size_t>(i)];
      t.machine = machine_number(i + 1, width);
      t.home = root / ("t" + t.machine);
      t.service = i % 2 == 0 ? &first : &second;
      std::filesystem::create_directories(t.home);
    }
    std::atomic<int> setup_failures{0};
    in_parallel(terminals + 1, setup_width, [&](int i) {
      Terminal& t = fleet[static_cast<std::size_t>(i)];
      const auto made = pos::e2e::init_terminal(*t.service, t.home, t.machine);
      if (made.status == 0 && batch_requests) pos::e2e::set_service_setting(t.home, "batch", "1");
      const auto [status, err] =
          made.status == 0 ? update(t, std::string("1 --jobs ") + pos::e2e::kEveryJob) : std::pair{-1, made.err};
      if (status != 0) {
        ++setup_failures;
        std::fprintf(stderr, "setup of terminal %s failed (%d): %s\n", t.machine.c_str(), status, err.c_str());
      }
    });
    if (setup_failures > 0) return 1;
    const double setup_seconds = since(started);

    // The measured part: every terminal loops its changes updates while head office writes.
    const int first_requests0 = first.requests(), second_requests0 = second.requests();
    const int requests_before = first_requests0 + second_requests0;
    const double terminals_cpu0 = rusage_cpu(RUSAGE_CHILDREN), writers_cpu0 = rusage_cpu(RUSAGE_SELF);
    const double first_cpu0 = process_cpu(first.pid()), second_cpu0 = process_cpu(second.pid());
    const double services_cpu0 = first_cpu0 + second_cpu0;
    const double postgres_cpu0 = postgres_cpu(postgres.data_dir());
    const MachineTicks machine0 = machine_ticks();
    const auto measured = Clock::now();

    std::atomic<bool> writing{true};
    std::atomic<long long> changes{0}, member_changes{0}, log_entries{0}, edits{0}, write_errors{0};
    std::atomic<int> running{0}, peak{0}, batches{0};
    std::mutex error_mutex;
    std::string first_write_error;
    const auto note_write_error = [&](const std::exception& e) {
      ++write_errors;
      std::lock_guard lock(error_mutex);
      if (first_write_error.empty()) first_write_error = e.what();
    };
    std::thread writer([&] {
      auto db = ho::open_database(url);
      auto c = db->connect();
      const char* kinds[] = {"products", "members", "promotions", "anychoice", "gifts"};
      for (int i = 0; writing; ++i) {
        ho::ChangeOptions o;
        o.what = ho::parse_change_what(kinds[i % 5]);
        const bool many = o.what == ho::ChangeWhat::Products || o.what == ho::ChangeWhat::Members;
        o.count = many ? batch : 1;
        o.inserts = 1;
        o.deletes = many ? 1 : 0;
        o.seed = static_cast<std::uint64_t>(1000 + i);
        o.today = pos::today_slashed();
        try {
          const auto s = ho::apply_changes(*c, o);
          const auto n = static_cast<long long>(s.updated.size() + s.inserted.size() + s.deleted.size());
          changes += n;
          if (o.what == ho::ChangeWhat::Members) member_changes += n;
          log_entries += s.log_entries;
          ++batches;
        } catch (const std::exception& e) {
          note_write_error(e);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(pause_ms));
      }
    });
    // Quick edits: one product and one member, each logged for every terminal.
    std::thread editor([&] {
      auto db = ho::open_database(url);
      auto c = db->connect();
      pos::e2e::HeadOffice reader(url);
      std::vector<std::string> product_ids, member_ids;
      for (const auto& r : reader.rows("SELECT PROD_ID FROM PRODUCT")) product_ids.push_back(r[0].as_text());
      for (const auto& r : reader.rows("SELECT MEMBER_ID FROM MEMBER")) member_ids.push_back(r[0].as_text());
      for (unsigned i = 1; writing; ++i) {
        const std::string p = product_ids[(i * 7919u) % product_ids.size()];
        const std::string m = member_ids[(i * 104729u) % member_ids.size()];
        std::string product_log, member_log;
        for (const auto& t : fleet) {
          product_log += std::string(product_log.empty() ? "" : ", ") + "('" + t.machine + "', '" + p + "', 'UPDATE')";
          member_log += std::string(member_log.empty() ? "" : ", ") + "('" + t.machine + "', '" + m + "', 'UPDATE')";
        }
        try {
          c->begin();
          c->execute("UPDATE PRODUCT SET SALE_PRICE = SALE_PRICE + 1 WHERE PROD_ID = '" + p + "'");
          c->execute("INSERT INTO PRODUCT_TEMP (MCH_NO, PROD_ID, STATE) VALUES " + product_log);
          c->execute("UPDATE MEMBER SET TOTAL_AMT = TOTAL_AMT + 1 WHERE MEMBER_ID = '" + m + "'");
          c->execute("INSERT INTO MEMBER_TEMP (MCH_NO, MEMBER_ID, STATE) VALUES " + member_log);
          c->commit();
          ++edits;
          log_entries += 2 * static_cast<long long>(fleet.size());
        } catch (const std::exception& e) {
          c->rollback();
          note_write_error(e);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(edit_ms));
      }
    });
    {
      std::vector<std::thread> loops;
      for (int i = 0; i < terminals; ++i)
        loops.emplace_back([&, i] {
          Terminal& t = fleet[static_cast<std::size_t>(i)];
          for (int r = 0; r < runs; ++r) {
            const int now = ++running;
            for (int p = peak; now > p && !peak.compare_exchange_weak(p, now);) {
            }
            const auto t0 = Clock::now();
            const auto [status, err] = update(t, "0");
            t.seconds.push_back(since(t0));
            --running;
            if (status != 0 && t.failed++ == 0) t.first_error = "exit " + std::to_string(status) + ": " + err;
          }
        });
      for (auto& t : loops) t.join();
    }
    writing = false;
    writer.join();
    editor.join();
    const double wall = since(measured);
    const int first_requests = first.requests() - first_requests0,
              second_requests = second.requests() - second_requests0;
    const double first_cpu = process_cpu(first.pid()) - first_cpu0,
                 second_cpu = process_cpu(second.pid()) - second_cpu0;
    const int requests = first.requests() + second.requests() - requests_before;
    const double terminals_cpu = rusage_cpu(RUSAGE_CHILDREN) - terminals_cpu0;
    const double writers_cpu = rusage_cpu(RUSAGE_SELF) - writers_cpu0;
    const double services_cpu = process_cpu(first.pid()) + process_cpu(second.pid()) - services_cpu0;
    const double pg_cpu = postgres_cpu(postgres.data_dir()) - postgres_cpu0;
    const MachineTicks machine1 = machine_ticks();
    const double ticks =
        machine1.busy + machine1.iowait + machine1.idle - machine0.busy - machine0.iowait - machine0.idle;
    const auto share = [&](double a, double b) { return ticks > 0 ? 100 * (a - b) / ticks : 0.0; };

    // Quiet now: each terminal and the control take what is left.
    in_parallel(terminals + 1, setup_width, [&](int i) {
      Terminal& t = fleet[static_cast<std::size_t>(i)];
      const auto [status, err] = update(t, "0");
      t.final_status = status;
      if (status != 0 && t.first_error.empty())
        t.first_error = "final run, exit " + std::to_string(status) + ": " + err;
    });
    const Terminal& control = fleet.back();
    auto want = pos::testing::local_snapshot(pos::e2e::local_database(control.home));
    want.erase("EINVOICE_WORD");  // each machine's own invoice tracks
    without_orphan_sub_cards(want);
    pos::e2e::HeadOffice ho_db(url);
    int converged = 0, failed_runs = 0, completed = 0;
    std::vector<double> seconds;
    std::vector<std::string> problems;
    int retries = 0;
    for (const Terminal& t : fleet) {
      std::string problem = t.first_error;
      std::ifstream history(t.home / "runs.jsonl");
      for (std::string line; std::getline(history, line);)
        if (const auto at = line.find("\"retries\":"); at != std::string::npos)
          retries += std::atoi(line.c_str() + at + 10);
      for (const auto& [log, entries] : pos::e2e::entries_of(ho_db, t.machine))
        if (!entries.empty() && problem.empty())
          problem = log + " still holds " + std::to_string(entries.size()) + " entries";
      if (&t != &control) {
        failed_runs += t.failed;
        completed += static_cast<int>(t.seconds.size()) - t.failed;
        seconds.insert(seconds.end(), t.seconds.begin(), t.seconds.end());
        auto have = pos::testing::local_snapshot(pos::e2e::local_database(t.home));
        have.erase("EINVOICE_WORD");
        without_orphan_sub_cards(have);
        if (const auto d = pos::testing::snapshot_difference(want, have); !d.empty() && problem.empty())
          problem = "local tables differ from the control's: " + d;
      }
      if (problem.empty() && t.final_status == 0) {
        converged += &t != &control;
      } else {
        problems.push_back(t.machine + ": " + (problem.empty() ? "final run failed" : problem));
      }
    }

    // What head office's status page says after the quiet runs: every terminal current, its last
    // changes update having reached its last job.
    std::map<std::string, int> states;
    int reached = 0, status_rows = 0;
    try {
      auto c = ho::open_database(url)->connect();
      for (const auto& s : ho::read_fleet_status(*c, std::chrono::minutes(30), std::time(nullptr), 1, 0).terminals) {
        ++states[ho::state_name(s.state)];
        reached += s.changes.reached_last_job;
        ++status_rows;
      }
    } catch (const std::exception& e) {
      problems.push_back(std::string("status page: ") + e.what());
    }

    std::printf(
        "fleet: %d terminals (+1 control%s) on two services (127.0.0.1:%d, :%d, --threads %d) over PostgreSQL\n",
        terminals, batch_requests ? ", all with batch=1" : "", first.port(), second.port(), threads);
    std::printf("  head office: %d products, %d members, %d/%d/%d promotions; setup (full updates) %.0f s\n", products,
                members, promotions, any_choice, gifts, setup_seconds);
    std::printf("  %-28s %d of %d (%d per terminal)\n", "runs completed", completed, terminals * runs, runs);
    std::printf("  %-28s %d\n", "failed runs", failed_runs);
    std::printf("  %-28s p50 %.2f s, p99 %.2f s, max %.2f s\n", "run time", percentile(seconds, 0.5),
                percentile(seconds, 0.99), percentile(seconds, 1.0));
    std::string by_round;
    std::vector<double> medians;
    for (int r = 0; r < runs; ++r) {
      std::vector<double> round;
      for (int i = 0; i < terminals; ++i)
        if (static_cast<int>(fleet[static_cast<std::size_t>(i)].seconds.size()) > r)
          round.push_back(fleet[static_cast<std::size_t>(i)].seconds[static_cast<std::size_t>(r)]);
      char one[48];
      std::snprintf(one, sizeof one, "%s%d: %.2f s", r ? ", " : "", r + 1, percentile(round, 0.5));
      by_round += one;
      medians.push_back(percentile(round, 0.5));
    }
    // Each round taking the backlog of the one before shows as run times that keep growing.
    const bool growing = medians.size() > 1 && medians.back() > 1.25 * medians.front();
    std::printf("  %-28s %s (%s)\n", "run time p50 by round", by_round.c_str(),
                growing ? "growing: the fleet falls behind" : "not growing: the fleet keeps up");
    std::printf("  %-28s %d in %.1f s: %.1f/s, %.0f a run\n", "requests served", requests, wall, requests / wall,
                completed + failed_runs > 0 ? static_cast<double>(requests) / (completed + failed_runs) : 0.0);
    const long long written = changes + 2 * edits, members_written = member_changes + edits;
    std::printf("  %-28s %lld changes (%lld of members) in %d batches + %lld quick edits: %.1f/s (members %.1f/s)\n",
                "head office wrote", written, members_written, batches.load(), edits.load(), written / wall,
                members_written / wall);
    std::printf("  %-28s %lld\n", "change-log entries written", log_entries.load());
    if (write_errors > 0)
      std::printf("  %-28s %lld (first: %s)\n", "head-office write errors", write_errors.load(),
                  first_write_error.c_str());
    std::printf("  %-28s %d/%d (exit 0, change logs empty, tables equal the control's)\n", "terminals converged",
                converged, terminals);
    std::printf("  %-28s %d\n", "peak concurrent runs", peak.load());
    std::printf("  %-28s %d terminals: %d current, %d failing, %d behind, %d silent; %d reached their last job\n",
                "status page", status_rows, states["current"], states["failing"], states["behind"], states["silent"],
                reached);
    std::printf("  %-28s %.1f s measured, %.1f s in all\n", "wall time", wall, since(started));
    std::printf("  %-28s terminals %.0f, services %.0f, PostgreSQL %.0f, writers %.0f (of %.0f available)\n",
                "CPU seconds while measured", terminals_cpu, services_cpu, pg_cpu, writers_cpu,
                wall * static_cast<double>(std::thread::hardware_concurrency()));
    std::printf("  %-28s busy %.0f%%, waiting on disk %.0f%%, idle %.0f%% (every process, not only these)\n",
                "machine while measured", share(machine1.busy, machine0.busy), share(machine1.iowait, machine0.iowait),
                share(machine1.idle, machine0.idle));
    std::printf("  %-28s %d\n", "request retries", retries);
    const auto per_request_ms = [](double cpu, int n) { return n > 0 ? 1000 * cpu / n : 0.0; };
    std::printf("  %-28s first %d in %.1f s: %.1f/s, %.3f CPU ms a request; second%s %d: %.1f/s, %.3f CPU ms\n",
                "each service", first_requests, wall, first_requests / wall, per_request_ms(first_cpu, first_requests),
                compare_statements ? " (--statements any)" : "", second_requests, second_requests / wall,
                per_request_ms(second_cpu, second_requests));
    if (compare_statements && second_requests > 0 && second_cpu > 0)
      std::printf(
          "  %-28s requests/s %+.1f%%, CPU a request %+.1f%% (admission against any statement)\n", "admission's cost",
          100.0 * (first_requests - second_requests) / second_requests,
          100.0 * (per_request_ms(first_cpu, first_requests) / per_request_ms(second_cpu, second_requests) - 1));
    for (std::size_t i = 0; i < problems.size() && i < 10; ++i) std::printf("  ! %s\n", problems[i].c_str());
    if (problems.size() > 10) std::printf("  ! ... and %zu more\n", problems.size() - 10);
    return failed_runs == 0 && converged == terminals && problems.empty() && write_errors == 0 ? 0 : 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "fleet_bench: %s\n", e.what());
    return 1;
  }
}

// The store's link: the reference service at store scale behind a delay proxy, and two terminals
// that reach it only through the proxy, each running the real pos-updater headless: 001 with the
// default requests, 002 with batch=1. In one invocation:
//
//  - the same changes update on both (1,000 products, 200 members, 20 promotions of each kind,
//    logged by head office for both terminals; every job runs, the bundle refill too) at each
//    round trip, head office changing again before each;
//  - full updates at 30 ms and 10 Mbit/s: batch=1 with plain and with compressed answers, and the
//    default requests: every job but the members', then the members' job measured whole, sampled
//    (run for --sample-seconds, its pace over the second half carried on to its last request, whose
//    number a loopback run of the same job gives) or skipped.
//
// After the set-up and after each step both terminals must hold equal tables (but their invoice
// tracks), no taken keys, and no change-log entry at head office. Per run: the requests (the
// service's request log), the connections and bytes each way at the proxy, the seconds and the
// load average; the jobs' seconds from --summary; then the targets as ratios of this run's figures.
// Exits 1 when a run failed or the terminals differ.
//
//   link_bench [--round-trips 0,30,100] [--full-round-trip 30] [--full-mbit 10]
//              [--today-members sample|full|skip] [--sample-seconds 120]

#include <signal.h>
#include <sys/wait.h>

#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/link/delay_proxy.h"
#include "tests/e2e/expected_state.h"
#include "tests/e2e/store_programs.h"
#include "tests/support/local_snapshot.h"
#include "tests/support/process.h"
#include "tests/support/reference_service.h"
#include "tests/support/temp_folder.h"

using pos::bench::DelayProxy;
using pos::bench::LinkCounters;
using pos::bench::LinkShape;
using pos::testing::ReferenceService;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

double since(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

double load_average() {
  std::ifstream in("/proc/loadavg");
  double load = 0;
  in >> load;
  return load;
}

std::string read_text(const std::filesystem::path& file) {
  std::ifstream in(file);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

struct Terminal {
  std::string machine;
  std::string label;
  pos::testing::TempFolder home{"poslink"};
};

struct Figures {
  int status = -1;
  double seconds = 0;
  int requests = 0;
  LinkCounters link;
  std::map<int, double> jobs;  // --summary: each job's seconds
  std::string err;
  double job(int j) const { return jobs.count(j) ? jobs.at(j) : 0; }
};

// The "job N: fetched F  written W  refused R  failed X  S s" lines of --summary.
std::map<int, double> job_seconds(const std::string& err) {
  std::map<int, double> out;
  std::istringstream in(err);
  for (std::string line; std::getline(in, line);) {
    int job;
    std::size_t fetched, written, refused, failed;
    double seconds;
    if (std::sscanf(line.c_str(), "job %d: fetched %zu written %zu refused %zu failed %zu %lf s", &job, &fetched,
                    &written, &refused, &failed, &seconds) == 6)
      out[job] = seconds;
  }
  return out;
}

class Link {
 public:
  Link(ReferenceService& service, DelayProxy& proxy) : service_(service), proxy_(proxy) {}

  // Runs pos-updater on `t` with `args` through the proxy. `stop(seconds so far)` is asked every
  // 20 ms; when it says so, the run gets SIGTERM.
  Figures run(const Terminal& t, const std::string& args, const std::function<bool(double)>& stop = nullptr) {
    const int requests0 = service_.requests();
    const LinkCounters link0 = proxy_.counters();
    const auto err_file = t.home / "bench-stderr.txt";
    const auto t0 = Clock::now();
    const pid_t pid = pos::testing::start_command(pos::e2e::updater_command(t.home.path(), args + " --summary"),
                                                  (t.home / "bench-stdout.txt").string(), err_file.string());
    int raw = 0;
    for (bool stopped = false; waitpid(pid, &raw, WNOHANG) == 0;) {
      if (!stopped && stop && stop(since(t0))) {
        kill(pid, SIGTERM);
        stopped = true;
      }
      std::this_thread::sleep_for(20ms);
    }
    Figures f;
    f.seconds = since(t0);
    f.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    std::this_thread::sleep_for(200ms);  // the service logs a request once it has answered it
    f.requests = service_.requests() - requests0;
    const LinkCounters link1 = proxy_.counters();
    f.link = {link1.connections - link0.connections, link1.bytes_up - link0.bytes_up,
              link1.bytes_down - link0.bytes_down};
    f.err = read_text(err_file);
    f.jobs = job_seconds(f.err);
    return f;
  }

 private:
  ReferenceService& service_;
  DelayProxy& proxy_;
};

std::string shape_name(const LinkShape& s) {
  std::string name = std::to_string(s.round_trip.count() / 1000) + " ms";
  if (s.bits_per_second > 0) name += " " + std::to_string(static_cast<int>(s.bits_per_second / 1e6)) + " Mbit/s";
  return name;
}

void print_header() {
  std::printf("  %-34s %-16s %9s %8s %11s %12s %9s %5s\n", "run", "link", "requests", "conns", "bytes up", "bytes down",
              "seconds", "load");
}

void print(const std::string& what, const LinkShape& shape, const Figures& f) {
  std::printf("  %-34s %-16s %9d %8llu %11llu %12llu %9.2f %5.2f\n", what.c_str(), shape_name(shape).c_str(),
              f.requests, static_cast<unsigned long long>(f.link.connections),
              static_cast<unsigned long long>(f.link.bytes_up), static_cast<unsigned long long>(f.link.bytes_down),
              f.seconds, load_average());
  std::string jobs;
  for (const auto& [job, s] : f.jobs) {
    char one[32];
    std::snprintf(one, sizeof one, "  %d: %.2f", job, s);
    if (s >= 0.05) jobs += one;
  }
  std::printf("  %-34s jobs over 0.05 s:%s%s\n", "", jobs.c_str(), f.status == 0 ? "" : "  (did not exit 0)");
  std::fflush(stdout);
}

// "" when both terminals hold the same tables (but their invoice tracks and `unlike`), no taken
// keys, and head office holds no change-log entry of either.
std::string difference(const Terminal& a, const Terminal& b, const std::string& db_url,
                       const std::string& unlike = "") {
  auto want = pos::testing::local_snapshot(pos::e2e::local_database(a.home.path()));
  auto have = pos::testing::local_snapshot(pos::e2e::local_database(b.home.path()));
  for (const std::string& table : {std::string("EINVOICE_WORD"), unlike}) {
    want.erase(table);
    have.erase(table);
  }
  if (const auto d = pos::testing::snapshot_difference(want, have); !d.empty())
    return a.machine + " and " + b.machine + " differ: " + d;
  if (!want["POS_TAKEN_KEYS"].empty()) return "keys taken and not applied: " + want["POS_TAKEN_KEYS"].front();
  pos::e2e::HeadOffice ho(db_url);
  for (const Terminal* t : {&a, &b})
    for (const auto& [log, entries] : pos::e2e::entries_of(ho, t->machine))
      if (!entries.empty()) return log + " still holds " + std::to_string(entries.size()) + " entries of " + t->machine;
  return "";
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"changes and full updates through a slow link, default requests against batch=1"};
  std::vector<int> round_trips = {0, 30, 100};
  int full_round_trip = 30, sample_seconds = 120;
  double full_mbit = 10;
  std::string today_members = "sample";
  app.add_option("--round-trips", round_trips, "round trips (ms) of the changes updates")->delimiter(',');
  app.add_option("--full-round-trip", full_round_trip, "round trip (ms) of the full updates");
  app.add_option("--full-mbit", full_mbit, "bandwidth (Mbit/s) of the full updates");
  app.add_option("--today-members", today_members, "the default requests' member job in a full update")
      ->check(CLI::IsMember({"sample", "full", "skip"}));
  app.add_option("--sample-seconds", sample_seconds, "how long a sample runs")->check(CLI::Range(20, 3600));
  CLI11_PARSE(app, argc, argv);

  try {
    const auto started = Clock::now();
    std::printf("seeding a head office at store scale for terminals 001 and 002 (load %.2f)...\n", load_average());
    std::fflush(stdout);
    ReferenceService service({"--scale", "store", "--promotions", "2000", "--any-choice", "2000", "--gifts", "2000"},
                             "001,002");
    DelayProxy proxy(service.port(), {});
    Link link(service, proxy);
    Terminal today{"001", "default"}, batched{"002", "batch=1"};
    for (Terminal* t : {&today, &batched}) {
      const auto made = pos::testing::run_command(
          std::string(TERMINAL_INIT_EXE) + " --home " + t->home.string() + " --machine " + t->machine +
          " --service 127.0.0.1:" + std::to_string(proxy.port()) + " --user " + service.credential(t->machine).user +
          " --password " + service.credential(t->machine).password);
      if (made.status != 0) throw std::runtime_error("terminal-init failed: " + made.err);
    }
    pos::e2e::set_service_setting(batched.home.path(), "batch", "1");

    std::vector<std::string> problems;
    const auto check = [&](const std::string& step, const std::vector<const Figures*>& runs,
                           const std::string& unlike = "") {
      for (const Figures* f : runs)
        if (f->status != 0) problems.push_back(step + ": a run exited " + std::to_string(f->status) + ": " + f->err);
      if (const auto d = difference(today, batched, service.db_url(), unlike); !d.empty())
        problems.push_back(step + ": " + d);
    };

    std::printf("\nset-up: a full update of every job on both terminals, loopback\n");
    print_header();
    const std::string every_job = std::string("1 --jobs ") + pos::e2e::kEveryJob;
    const Figures setup_today = link.run(today, every_job);
    print("full update, default", {}, setup_today);
    const Figures setup_batched = link.run(batched, every_job);
    print("full update, batch=1", {}, setup_batched);
    check("set-up", {&setup_today, &setup_batched});

    std::printf(
        "\nchanges update: 1,000 products, 200 members, 20 promotions of each kind changed at head office before each "
        "pair\n");
    print_header();
    std::map<int, Figures> changes_today, changes_batched;
    for (std::size_t i = 0; i < round_trips.size(); ++i) {
      for (const auto& [what, count] : std::vector<std::pair<const char*, const char*>>{
               {"products", "1000"}, {"members", "200"}, {"promotions", "20"}, {"anychoice", "20"}, {"gifts", "20"}})
        service.run_tool({"change", what, "--count", count, "--seed", std::to_string(100 + i)});
      const LinkShape shape{std::chrono::milliseconds(round_trips[i]), 0};
      proxy.set_shape(shape);
      changes_today[round_trips[i]] = link.run(today, "0");
      print("changes update, default", shape, changes_today[round_trips[i]]);
      changes_batched[round_trips[i]] = link.run(batched, "0");
      print("changes update, batch=1", shape, changes_batched[round_trips[i]]);
      check("changes update at " + shape_name(shape),
            {&changes_today[round_trips[i]], &changes_batched[round_trips[i]]});
    }

    const LinkShape slow{std::chrono::milliseconds(full_round_trip), full_mbit * 1e6};
    std::printf("\nfull update of every job at %s\n", shape_name(slow).c_str());
    print_header();
    proxy.set_shape(slow);
    const Figures full_batched = link.run(batched, every_job);
    print("full update, batch=1", slow, full_batched);
    pos::e2e::set_service_setting(batched.home.path(), "compress", "1");
    const Figures full_compressed = link.run(batched, every_job);
    print("full update, batch=1 compress=1", slow, full_compressed);
    pos::e2e::set_service_setting(batched.home.path(), "compress", "0");
    const Figures full_today = link.run(today, "1 --jobs 0,1,2,4,5,6,8,9,10,11,12,14");
    print("full update but members, default", slow, full_today);
    std::vector<const Figures*> full_runs = {&full_batched, &full_compressed, &full_today};

    // The default requests' member job: measured whole, or its pace sampled and carried on.
    double members_today = 0;
    std::string members_how;
    Figures members_loopback, members_slow;
    if (today_members == "full") {
      members_slow = link.run(today, "1 --jobs 7");
      print("members, default", slow, members_slow);
      full_runs.push_back(&members_slow);
      members_today = members_slow.job(7);
      members_how = "measured";
    } else if (today_members == "sample") {
      proxy.set_shape({});
      members_loopback = link.run(today, "1 --jobs 7");
      print("members, default", {}, members_loopback);
      full_runs.push_back(&members_loopback);
      proxy.set_shape(slow);
      const auto base = proxy.counters().connections;
      struct Mark {
        double t = 0;
        std::uint64_t connections = 0;
      } half, end;
      members_slow = link.run(today, "1 --jobs 7", [&](double t) {
        const std::uint64_t c = proxy.counters().connections - base;
        if (half.t == 0 && t >= sample_seconds / 2.0) half = {t, c};
        if (t < sample_seconds) return false;
        end = {t, c};
        return true;
      });
      print(end.t == 0 ? "members, default" : "members, default, stopped", slow, members_slow);
      if (end.t == 0) {  // it finished within the sample
        members_today = members_slow.job(7);
        members_how = "measured";
        full_runs.push_back(&members_slow);
      } else {
        // In the default requests, each request is a connection of its own.
        const double pace = static_cast<double>(end.connections - half.connections) / (end.t - half.t);
        const auto all = static_cast<double>(members_loopback.link.connections);
        members_today = end.t + (all - static_cast<double>(end.connections)) / pace;
        char how[200];
        std::snprintf(how, sizeof how, "estimated: %llu of %.0f requests in %.0f s, then %.1f requests/s",
                      static_cast<unsigned long long>(end.connections), all, end.t, pace);
        members_how = how;
      }
    }
    // Without the default member job, 001's members are as changes updates wrote them, and a
    // changes update writes DISCOUNT and IDIS otherwise than a full update.
    check("full update", full_runs, today_members == "skip" ? "MEMBER" : "");

    std::printf("\ntargets, from this run's figures\n");
    const auto met = [](bool ok) { return ok ? "met" : "NOT MET"; };
    if (changes_today.count(30) && changes_batched.count(30)) {
      const double a = changes_today[30].seconds, b = changes_batched[30].seconds;
      std::printf("  changes update at 30 ms: default %.2f s, batch=1 %.2f s: %.1fx faster (target >= 20x): %s\n", a, b,
                  a / b, met(a / b >= 20));
      if (changes_batched.count(0)) {
        const double l = changes_batched[0].seconds;
        std::printf("  batch=1 at 30 ms against its own at 0 ms: %.2f s / %.2f s = %.2fx (target <= 3x): %s\n", b, l,
                    b / l, met(b / l <= 3));
      }
    }
    if (members_today > 0) {
      const double b = full_batched.job(7);
      std::printf(
          "  member job of a full update at %s: default %.1f s (%s), batch=1 %.2f s: %.0fx faster "
          "(target >= 20x): %s\n",
          shape_name(slow).c_str(), members_today, members_how.c_str(), b, members_today / b,
          met(members_today / b >= 20));
      std::printf(
          "  full update of every job at %s: default %.1f s (members as above), batch=1 %.1f s, with "
          "compress=1 %.1f s\n",
          shape_name(slow).c_str(), full_today.seconds + members_today, full_batched.seconds, full_compressed.seconds);
    }
    std::printf("\n%s in %.0f s; load now %.2f\n",
                problems.empty() ? "terminals equal and drained after every step" : "PROBLEMS", since(started),
                load_average());
    for (const auto& p : problems) std::printf("  ! %s\n", p.c_str());
    return problems.empty() ? 0 : 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "link_bench: %s\n", e.what());
    return 1;
  }
}

// The whole program at store scale: pos-updater (the real binary, headless) makes a full update of
// every job and then a changes update after bursts of changes at head office, against the
// reference service on loopback. Per job: the rows, the seconds, rows per second, and the floor for
// the same work measured in the same run: every statement the job sent, sent again bare (the
// transfers and round trips), plus a bare prepared insert of the rows the job wrote into a scratch
// database in one transaction. Also pos-updater's peak memory above its idle footprint, next to
// the largest answer.
//
//   store_update_bench [--scale store|large]

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

#include "bench/jobs/bench_support.h"
#include "tests/support/recording_dialogs.h"
#include "tests/support/reference_service.h"
#include "text/ascii.h"

using namespace pos;
using namespace pos::bench;

namespace {

struct Run {
  int status = -1;
  double max_rss_mib = 0;
  std::string err;
};

// Runs pos-updater with `args` and waits for it; its peak memory from the kernel.
Run run_updater(const std::string& home, const std::vector<std::string>& args) {
  const std::string err_file = home + "/bench-stderr.txt";
  const std::string db = home + "/Data/POS_LOC.GDB";
  std::vector<std::string> argv = {POS_UPDATER_EXE};
  argv.insert(argv.end(), args.begin(), args.end());
  for (const char* a : {"--headless", "--summary", "--home"}) argv.push_back(a);
  argv.push_back(home);
  argv.push_back("--local-db");
  argv.push_back(db);
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    if (!freopen("/dev/null", "w", stdout) || !freopen(err_file.c_str(), "w", stderr)) _exit(127);
    std::vector<char*> c;
    for (auto& a : argv) c.push_back(a.data());
    c.push_back(nullptr);
    execv(c[0], c.data());
    _exit(127);
  }
  int raw = 0;
  rusage usage{};
  wait4(pid, &raw, 0, &usage);
  Run r;
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.max_rss_mib = usage.ru_maxrss / 1024.0;
  std::ifstream in(err_file);
  r.err.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return r;
}

struct JobFigures {
  std::size_t written = 0;
  double seconds = 0;
};

// The "job N: fetched F  written W ... S s" lines of --summary.
std::map<int, JobFigures> summary(const std::string& err) {
  std::map<int, JobFigures> out;
  std::istringstream in(err);
  std::string line;
  while (std::getline(in, line)) {
    int job;
    std::size_t fetched, written, refused, failed;
    double seconds;
    if (std::sscanf(line.c_str(), "job %d: fetched %zu written %zu refused %zu failed %zu %lf s", &job, &fetched,
                    &written, &refused, &failed, &seconds) == 6)
      out[job] = {written, seconds};
  }
  return out;
}

// The job a statement belongs to, by the tables it names.
int job_of(const std::string& statement) {
  const std::string s = ascii_upper(statement);
  const std::pair<const char*, int> tables[] = {
      // Promotion lines name PSALE_PRICE whatever their kind: the kinds' own tables come first.
      {"PTSALE", 8},     {"GSALE", 12},         {"PSALE_TEMP", 6},  {"PSALE_MASTER", 6}, {"PRODUCT", 0},
      {"PROD_ITEM", 0},  {"PROD_SALE", 5},      {"EMPLOYEE", 1},    {"WRK_ITEM", 2},     {"INV_WORD", 4},
      {"MEMBER", 7},     {"VIPCARD_SUB", 7},    {"MEMLEVEL_PD", 7}, {"LOC_KEY_MAP", 10}, {"MEMDIS_LEVEL", 11},
      {"POINT_SET", 12}, {"SMARTCARD_DATA", 14}};
  for (const auto& [table, job] : tables)
    if (s.find(table) != std::string::npos) return job;
  if (s.find("MCH_ITEM WHERE") != std::string::npos) return 0;  // the opening check and job 0's top category
  if (s.find("MCH_ITEM") != std::string::npos) return 9;
  return -1;
}

const std::map<int, std::vector<std::string>> kTables = {{0, {"LOC_TYPE", "LOC_PDC"}},
                                                         {1, {"LOC_PERS"}},
                                                         {2, {"LOC_WRK"}},
                                                         {4, {"LOC_WORD", "EINVOICE_WORD"}},
                                                         {5, {"PROD_SALE"}},
                                                         {6, {"PROMOTION"}},
                                                         {7, {"MEMBER", "VIPCARD_SUB", "MEMLEVEL_PDCLASS_DIS"}},
                                                         {8, {"PTSALE"}},
                                                         {9, {"MCH_ITEM"}},
                                                         {10, {"LOC_KEY_MAP", "LOC_KEY_MAP_SUB"}},
                                                         {11, {"MEMDIS_LEVEL"}},
                                                         {12, {"POINT_SET", "GPROMOTION"}},
                                                         {14, {"SMARTCARD_DATA"}}};

// Sends every statement again, bare, and returns the seconds per job; `largest` gets the largest answer.
std::map<int, double> resend(TDataModHttp& dm, const std::vector<testing::ReceivedStatement>& sent,
                             std::size_t& largest) {
  std::map<int, double> seconds;
  const std::string script_url = TDataModHttp::EncodeUrl(dm.ScriptEndpoint() + "?user_name=" + dm.ServiceUserName() +
                                                         "&password=" + dm.ServicePassword());
  for (const auto& s : sent) {
    const auto t0 = Clock::now();
    if (s.endpoint == "script")
      dm.http().post(script_url, {{"sql", s.text + "\r\n"}});
    else
      largest = std::max(largest, raw_query(dm, s.text).size());
    seconds[job_of(s.text)] += since(t0);
  }
  return seconds;
}

// Copies the rows of `tables` from the terminal into the scratch database, bare, in one
// transaction; the seconds of the writes alone. `most` limits the rows per table (0: all); with
// `rewrite`, each insert is preceded by a delete by the row's first column.
double bare_copy(LocalConnection& from, ScratchDatabase& to, const std::vector<std::string>& tables, std::size_t most,
                 bool rewrite) {
  double seconds = 0;
  for (const auto& table : tables) {
    auto rows = from.query("SELECT * FROM " + table);
    if (most && rows.size() > most) rows.resize(most);
    if (rows.empty()) continue;
    std::string marks;
    for (std::size_t i = 0; i < rows[0].size(); ++i) marks += i ? ",?" : "?";
    to.con.execute("DELETE FROM " + table);
    auto insert = to.con.prepare("INSERT INTO " + table + " VALUES (" + marks + ")");
    const auto first = to.con.prepare("SELECT * FROM " + table)->columns().at(0).name;
    auto remove = to.con.prepare("DELETE FROM " + table + " WHERE " + first + " = ?");
    const auto t0 = Clock::now();
    to.con.begin();
    to.con.run([&](Firebird::ITransaction* t) {
      for (const auto& r : rows) {
        if (rewrite) remove->execute(t, std::vector<Value>{r[0]});
        insert->execute(t, r);
      }
    });
    to.con.commit();
    seconds += since(t0);
  }
  return seconds;
}

void report(const char* title, const std::map<int, JobFigures>& jobs, const std::map<int, double>& trips,
            const std::map<int, double>& inserts, double target) {
  std::printf("\n%s\n  job      rows   seconds     rows/s   floor s   ratio (target <= %.0fx)\n", title, target);
  for (const auto& [job, f] : jobs) {
    const double floor = (trips.count(job) ? trips.at(job) : 0) + (inserts.count(job) ? inserts.at(job) : 0);
    std::printf("  %3d  %8zu  %8.2f  %9.0f  %8.2f   %5.2fx%s\n", job, f.written, f.seconds,
                f.seconds > 0 ? f.written / f.seconds : 0.0, floor, floor > 0 ? f.seconds / floor : 0.0,
                floor > 0 && f.seconds / floor > target ? "  over" : "");
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::string scale = "store";
  if (argc > 2 && std::string(argv[1]) == "--scale") scale = argv[2];
  std::printf("seeding a head office at scale %s...\n", scale.c_str());
  const std::string promotions = scale == "store" ? "2000" : "4000";
  testing::ReferenceService service(
      {"--scale", scale, "--promotions", promotions, "--any-choice", promotions, "--gifts", promotions});
  testing::TempFolder home("posstore");
  TerminalSpec spec{home.string(), "001", "127.0.0.1", std::to_string(service.port())};
  const testing::Credential own = service.credential("001");
  spec.user = own.user;
  spec.password = own.password;
  make_terminal_folder(spec);
  testing::RecordingDialogs dialogs;
  TDataModHttp dm(home.path(), dialogs);
  dm.DataModuleCreate();
  ScratchDatabase scratch;

  const Run idle = run_updater(home.string(), {"1"});
  const std::size_t before_full = service.statements().size();
  const Run full = run_updater(home.string(), {"1", "--jobs", "all"});
  if (full.status != 0) std::printf("WARNING: the full update ended with %d:\n%s\n", full.status, full.err.c_str());
  auto sent = service.statements();
  std::size_t largest = 0;
  const auto full_trips = resend(dm, {sent.begin() + static_cast<long>(before_full), sent.end()}, largest);
  std::map<int, double> full_inserts;
  {
    LocalConnection terminal;
    terminal.open(ConnectionParams{(home / "Data" / "POS_LOC.GDB").string()});
    for (const auto& [job, tables] : kTables) full_inserts[job] = bare_copy(terminal, scratch, tables, 0, false);
  }
  report("full update of every job", summary(full.err), full_trips, full_inserts, 3);
  std::printf("\npos-updater's peak memory: %.1f MiB above its idle %.1f MiB; the largest answer %.1f MiB (%.2fx)\n",
              full.max_rss_mib - idle.max_rss_mib, idle.max_rss_mib, largest / 1048576.0,
              (full.max_rss_mib - idle.max_rss_mib) / (largest / 1048576.0));

  std::printf("\nhead office changes 1,000 products, 1,000 members and 100 promotions of each kind...\n");
  for (const auto& [what, count] : std::vector<std::pair<const char*, const char*>>{
           {"products", "1000"}, {"members", "1000"}, {"promotions", "100"}, {"anychoice", "100"}, {"gifts", "100"}})
    service.run_tool({"change", what, "--count", count, "--terminals", "001", "--seed", "3"});
  const std::size_t before_changes = service.statements().size();
  const Run changes = run_updater(home.string(), {"0"});
  if (changes.status != 0) std::printf("WARNING: the changes update ended with %d\n", changes.status);
  sent = service.statements();
  const auto change_trips = resend(dm, {sent.begin() + static_cast<long>(before_changes), sent.end()}, largest);
  const auto change_jobs = summary(changes.err);
  std::map<int, double> change_inserts;
  {
    LocalConnection terminal;
    terminal.open(ConnectionParams{(home / "Data" / "POS_LOC.GDB").string()});
    for (const auto& [job, tables] : kTables)
      if (change_jobs.count(job))
        change_inserts[job] = bare_copy(terminal, scratch, tables, change_jobs.at(job).written, true);
  }
  report("changes update of every job", change_jobs, change_trips, change_inserts, 2);
  return 0;
}

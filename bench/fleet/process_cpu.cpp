#include "bench/fleet/process_cpu.h"

#include <sys/resource.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace pos::fleet {
namespace {

// utime, stime, cutime, cstime (seconds) and the parent of a process, from /proc/PID/stat.
struct ProcStat {
  pid_t parent = 0;
  double own = 0, children = 0;
};

bool read_stat(pid_t pid, ProcStat& s) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(in, line)) return false;
  const auto close = line.rfind(')');
  if (close == std::string::npos) return false;
  std::istringstream fields(line.substr(close + 2));
  std::vector<std::string> f;
  for (std::string w; fields >> w && f.size() < 15;) f.push_back(w);
  if (f.size() < 15) return false;
  const double tick = static_cast<double>(sysconf(_SC_CLK_TCK));
  s.parent = std::stoi(f[1]);
  s.own = (std::stod(f[11]) + std::stod(f[12])) / tick;
  s.children = (std::stod(f[13]) + std::stod(f[14])) / tick;
  return true;
}

}  // namespace

double process_cpu(pid_t pid) {
  ProcStat s;
  return read_stat(pid, s) ? s.own : 0;
}

double postgres_cpu(const std::string& data_dir) {
  std::ifstream in(data_dir + "/postmaster.pid");
  pid_t postmaster = 0;
  if (!(in >> postmaster)) return 0;
  ProcStat s;
  if (!read_stat(postmaster, s)) return 0;
  double total = s.own + s.children;
  for (const auto& e : std::filesystem::directory_iterator("/proc")) {
    const std::string name = e.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    ProcStat c;
    if (read_stat(std::stoi(name), c) && c.parent == postmaster) total += c.own;
  }
  return total;
}

double own_cpu() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double thread_cpu() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

}  // namespace pos::fleet

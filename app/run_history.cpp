#include "app/run_history.h"

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <iostream>

#include "app/form_tollmere.h"

namespace pos {
namespace {

std::string iso_time(std::time_t t) {
  std::tm tm{};
  localtime_r(&t, &tm);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S", &tm);
  return buf;
}

std::string json_text(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

// The value after "key": in a line this program wrote; "" when absent.
std::string field(const std::string& line, const std::string& key) {
  const std::string tag = "\"" + key + "\":";
  const auto at = line.find(tag);
  if (at == std::string::npos) return "";
  std::size_t from = at + tag.size();
  if (line[from] == '"') {
    const auto to = line.find('"', from + 1);
    return line.substr(from + 1, to - from - 1);
  }
  const auto to = line.find_first_of(",}]", from);
  return line.substr(from, to - from);
}

// Sum of a counter over the jobs of a line.
long total(const std::string& line, const std::string& key) {
  long sum = 0;
  const std::string tag = "\"" + key + "\":";
  for (auto at = line.find(tag); at != std::string::npos; at = line.find(tag, at + 1))
    sum += std::atol(line.c_str() + at + tag.size());
  return sum;
}

// The last `count` non-empty lines of `file` (none when it cannot be read).
std::deque<std::string> last_lines(const std::filesystem::path& file, std::size_t count) {
  std::deque<std::string> lines;
  std::ifstream in(file);
  for (std::string line; std::getline(in, line);) {
    if (line.empty()) continue;
    lines.push_back(std::move(line));
    if (lines.size() > count) lines.pop_front();
  }
  return lines;
}

}  // namespace

std::string run_json_line(const RunRecord& run) {
  std::string jobs;
  for (std::size_t i = 0; i < run.jobs.size(); ++i) {
    const JobCounters& n = run.jobs[i];
    if (!n.ran) continue;
    char buf[200];
    std::snprintf(buf, sizeof buf,
                  "%s{\"job\":%zu,\"fetched\":%zu,\"written\":%zu,\"refused\":%zu,\"failed\":%zu,\"seconds\":%.3f}",
                  jobs.empty() ? "" : ",", i, n.fetched, n.written, n.refused, n.failed, n.seconds);
    jobs += buf;
  }
  return "{\"start\":" + json_text(iso_time(run.start)) + ",\"end\":" + json_text(iso_time(run.end)) +
         ",\"mode\":" + std::to_string(run.mode) + ",\"jobs\":[" + jobs + "],\"outcome\":" + json_text(run.outcome) +
         ",\"exit\":" + std::to_string(run.exit_status) + ",\"retries\":" + std::to_string(run.retries) + "}";
}

void append_run(const std::filesystem::path& terminal_folder, const RunRecord& run, std::size_t keep) {
  const auto file = terminal_folder / "runs.jsonl";
  std::deque<std::string> lines = last_lines(file, keep > 0 ? keep - 1 : 0);  // room for the new one
  lines.push_back(run_json_line(run));
  // A new file moved over the old one: a crash leaves one or the other, whole.
  const auto fresh = terminal_folder / "runs.jsonl.new";
  {
    std::ofstream out(fresh, std::ios::trunc);
    for (const auto& l : lines) out << l << '\n';
    out.flush();
    if (!out) {
      std::cerr << "pos-updater: cannot write " << fresh.string() << "; the run history is not kept\n";
      return;
    }
  }
  std::error_code ec;
  std::filesystem::rename(fresh, file, ec);
  if (ec) std::cerr << "pos-updater: cannot write " << file.string() << ": " << ec.message() << "\n";
}

void record_run(const TFormTollmere& form, std::time_t start, int status, bool stopped, int retries) {
  RunRecord run;
  run.start = start;
  run.end = std::time(nullptr);
  run.mode = form.RadioGroup1;
  run.jobs = form.last_run();
  run.exit_status = status;
  run.retries = retries;
  run.outcome = stopped       ? "stopped"
                : status == 0 ? "completed"
                : status == 3 ? "completed with row errors"
                              : "ended early";
  append_run(form.home(), run);
}

std::string history_table(const std::filesystem::path& terminal_folder, std::size_t count) {
  const std::deque<std::string> lines = last_lines(terminal_folder / "runs.jsonl", count);
  if (lines.empty()) return "no runs recorded in " + (terminal_folder / "runs.jsonl").string() + "\n";
  std::string out;
  char row[256];
  std::snprintf(row, sizeof row, "%-19s  %-19s  %-4s  %4s  %8s  %8s  %7s  %6s  %4s  %s\n", "start", "end", "mode",
                "jobs", "fetched", "written", "refused", "failed", "exit", "outcome");
  out += row;
  for (const auto& l : lines) {
    long jobs = 0;
    for (auto at = l.find("\"job\":"); at != std::string::npos; at = l.find("\"job\":", at + 1)) ++jobs;
    const std::string mode = field(l, "mode");
    std::snprintf(row, sizeof row, "%-19s  %-19s  %-4s  %4ld  %8ld  %8ld  %7ld  %6ld  %4s  %s\n",
                  field(l, "start").c_str(), field(l, "end").c_str(),
                  mode == "1"   ? "full"
                  : mode == "0" ? "chg"
                                : "none",
                  jobs, total(l, "fetched"), total(l, "written"), total(l, "refused"), total(l, "failed"),
                  field(l, "exit").c_str(), field(l, "outcome").c_str());
    out += row;
  }
  return out;
}

}  // namespace pos

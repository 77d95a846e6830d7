#include "app/run_history.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <iostream>
#include <stdexcept>

#include "app/terminal_folder_check.h"
#include "service/diagnostics.h"

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
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\u%04x", static_cast<unsigned>(c));
      out += esc;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

// The value after "key": in a line this program wrote; "" when absent.
std::string field(const std::string& line, const std::string& key) {
  const std::string tag = "\"" + key + "\":";
  const auto at = line.find(tag);
  if (at == std::string::npos) return "";
  std::size_t i = at + tag.size();
  if (i >= line.size() || line[i] != '"') return line.substr(i, line.find_first_of(",}]", i) - i);
  std::string text;
  for (++i; i < line.size() && line[i] != '"'; ++i) {
    if (line[i] != '\\' || i + 1 >= line.size()) {
      text += line[i];
    } else if (line[++i] == 'u') {
      text += static_cast<char>(std::strtol(line.substr(i + 1, 4).c_str(), nullptr, 16));
      i += 4;
    } else {
      text += line[i];
    }
  }
  return text;
}

// Sum of a counter over the jobs of a line.
long total(const std::string& line, const std::string& key) {
  long sum = 0;
  const std::string tag = "\"" + key + "\":";
  for (auto at = line.find(tag); at != std::string::npos; at = line.find(tag, at + 1))
    sum += std::atol(line.c_str() + at + tag.size());
  return sum;
}

// The last `count` non-empty lines of `file`; none when it does not exist.
std::deque<std::string> last_lines(const std::filesystem::path& file, std::size_t count) {
  std::deque<std::string> lines;
  std::ifstream in(file);
  if (!in) {
    const int err = errno;
    std::error_code ec;
    if (std::filesystem::exists(file, ec))
      throw std::runtime_error("cannot read " + file.string() + ": " + std::strerror(err) + " (it belongs to " +
                               owner_name(file) + ")");
    return lines;
  }
  for (std::string line; std::getline(in, line);) {
    if (line.empty()) continue;
    lines.push_back(std::move(line));
    if (lines.size() > count) lines.pop_front();
  }
  return lines;
}

// "9s", "3m05s", "2h07m".
std::string duration(long seconds) {
  char buf[32];
  if (seconds < 60)
    std::snprintf(buf, sizeof buf, "%lds", seconds);
  else if (seconds < 3600)
    std::snprintf(buf, sizeof buf, "%ldm%02lds", seconds / 60, seconds % 60);
  else
    std::snprintf(buf, sizeof buf, "%ldh%02ldm", seconds / 3600, seconds / 60 % 60);
  return buf;
}

long seconds_between(const std::string& from, const std::string& to) {
  auto parse = [](const std::string& s) {
    std::tm tm{};
    tm.tm_isdst = -1;
    if (std::sscanf(s.c_str(), "%d-%d-%dT%d:%d:%d", &tm.tm_year, &tm.tm_mon, &tm.tm_mday, &tm.tm_hour, &tm.tm_min,
                    &tm.tm_sec) != 6)
      return std::time_t(-1);
    tm.tm_year -= 1900;
    tm.tm_mon -= 1;
    return std::mktime(&tm);
  };
  const std::time_t a = parse(from), b = parse(to);
  return a < 0 || b < a ? 0 : static_cast<long>(b - a);
}

}  // namespace

std::string run_json_line(const RunRecord& run) {
  std::string jobs;
  for (std::size_t i = 0; i < run.jobs.size(); ++i) {
    const JobCounters& n = run.jobs[i];
    if (!n.ran) continue;
    char buf[240];
    std::snprintf(buf, sizeof buf,
                  "%s{\"job\":%zu,\"fetched\":%zu,\"written\":%zu,\"refused\":%zu,\"failed\":%zu,\"unconfirmed\":%zu,"
                  "\"seconds\":%.3f}",
                  jobs.empty() ? "" : ",", i, n.fetched, n.written, n.refused, n.failed, n.unconfirmed, n.seconds);
    jobs += buf;
  }
  std::string line = "{\"start\":" + json_text(iso_time(run.start)) + ",\"end\":" + json_text(iso_time(run.end)) +
                     ",\"mode\":" + std::to_string(run.mode);
  if (!run.mode_given.empty()) line += ",\"mode_given\":" + json_text(run.mode_given);
  line += ",\"jobs\":[" + jobs + "],\"outcome\":" + json_text(run.outcome) +
          ",\"exit\":" + std::to_string(run.exit_status) + ",\"retries\":" + std::to_string(run.retries);
  if (!run.note.empty()) line += ",\"note\":" + json_text(run.note);
  return line + "}";
}

bool append_run(const std::filesystem::path& terminal_folder, const RunRecord& run, std::size_t keep) {
  const auto file = terminal_folder / "runs.jsonl";
  std::deque<std::string> lines;
  try {
    lines = last_lines(file, keep > 0 ? keep - 1 : 0);  // room for the new one
  } catch (const std::exception& e) {
    std::cerr << "pos-updater: " << e.what() << "; the run history is not kept\n";
    return false;
  }
  lines.push_back(run_json_line(run));
  std::string content;
  for (const auto& l : lines) content += l + '\n';
  // A new file moved over the old one: a crash leaves one or the other, whole.
  const auto fresh = terminal_folder / "runs.jsonl.new";
  std::error_code ec;
  try {
    write_diagnostic_file(fresh, content);
  } catch (const std::exception& e) {
    std::filesystem::remove(fresh, ec);
    std::cerr << "pos-updater: " << e.what() << "; the run history is not kept\n";
    return false;
  }
  std::filesystem::rename(fresh, file, ec);
  if (ec) {
    std::cerr << "pos-updater: cannot write " << file.string() << ": " << ec.message() << "\n";
    std::filesystem::remove(fresh, ec);
    return false;
  }
  return true;
}

std::string history_table(const std::filesystem::path& terminal_folder, std::size_t count) {
  const auto file = terminal_folder / "runs.jsonl";
  const std::deque<std::string> lines = last_lines(file, count);
  if (lines.empty()) {
    std::error_code ec;
    if (!std::filesystem::exists(terminal_folder / "MCH_NO.TXT", ec))
      throw std::runtime_error(
          terminal_folder.string() +
          " holds no terminal (no MCH_NO.TXT, no runs.jsonl); name the terminal folder with --home");
    return "no runs recorded in " + file.string() + "\n";
  }
  std::string out;
  char row[512];
  std::snprintf(row, sizeof row, "%-19s  %6s  %-4s  %4s  %8s  %8s  %7s  %6s  %4s  %s\n", "start", "took", "mode",
                "jobs", "fetched", "written", "refused", "failed", "exit", "outcome");
  out += row;
  for (const auto& l : lines) {
    long jobs = 0;
    for (auto at = l.find("\"job\":"); at != std::string::npos; at = l.find("\"job\":", at + 1)) ++jobs;
    const std::string mode = field(l, "mode");
    std::string outcome = field(l, "outcome");
    std::string note = field(l, "note");
    note = note.substr(0, note.find('\n'));
    if (const std::string given = field(l, "mode_given"); !given.empty())
      note = "mode '" + given + "' read as " + mode + (note.empty() ? "" : "; " + note);
    if (!note.empty()) outcome += ": " + note;
    std::snprintf(row, sizeof row, "%-19s  %6s  %-4s  %4ld  %8ld  %8ld  %7ld  %6ld  %4s  ", field(l, "start").c_str(),
                  duration(seconds_between(field(l, "start"), field(l, "end"))).c_str(),
                  mode == "1"   ? "full"
                  : mode == "0" ? "chg"
                                : "none",
                  jobs, total(l, "fetched"), total(l, "written"), total(l, "refused"), total(l, "failed"),
                  field(l, "exit").c_str());
    out += row + outcome + "\n";
  }
  return out;
}

}  // namespace pos

#include "tests/support/reference_service.h"

#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "headoffice/storage/database_url.h"

namespace pos::testing {

namespace {

pid_t spawn(const std::vector<std::string>& argv, const std::filesystem::path& log) {
  std::fflush(nullptr);  // the child must not write out a copy of our buffers
  pid_t pid = fork();
  if (pid == 0) {
    FILE* out = freopen(log.c_str(), "a", stdout);
    (void)out;
    dup2(fileno(stdout), 2);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  return pid;
}

int wait_for(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

// The port in the service's first line, "serving http://127.0.0.1:PORT/...", or 0 before it is written.
int reported_port(const std::filesystem::path& log) {
  std::ifstream in(log);
  std::string line;
  const std::string head = "serving http://127.0.0.1:";
  while (std::getline(in, line))
    if (line.rfind(head, 0) == 0) return std::atoi(line.c_str() + head.size());
  return 0;
}

// The last line of a tool's output: the password `add` printed.
std::string last_line(std::string text) {
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text.substr(text.rfind('\n') + 1);
}

}  // namespace

ReferenceService::ReferenceService(std::vector<std::string> seed_args, std::string terminals,
                                   std::optional<Credential> shared, std::string db_url,
                                   std::vector<std::string> serve_args)
    : db_url_(std::move(db_url)), shared_(std::move(shared)) {
  if (db_url_.empty()) db_url_ = "sqlite:" + (folder_ / "headoffice.db").string();
  run_tool({"init"});
  if (!seed_args.empty()) {
    std::vector<std::string> args = {"seed", "--terminals", terminals};
    args.insert(args.end(), seed_args.begin(), seed_args.end());
    run_tool(args);
  }
  if (!shared_) {
    for (std::size_t at = 0; at <= terminals.size();) {
      const std::size_t comma = std::min(terminals.find(',', at), terminals.size());
      if (comma > at) credential(terminals.substr(at, comma - at));
      at = comma + 1;
    }
  }
  // Port 0: the service binds a free port itself and names it in its first line.
  const auto log = folder_ / "serve.log";
  std::vector<std::string> argv = {HEADOFFICE_EXE,
                                   "serve",
                                   "--db",
                                   db_url_,
                                   "--listen",
                                   "127.0.0.1:0",
                                   "--statement-log",
                                   (folder_ / "statements.log").string()};
  if (shared_) argv.insert(argv.end(), {"--user", shared_->user, "--password", shared_->password});
  argv.insert(argv.end(), serve_args.begin(), serve_args.end());
  pid_ = spawn(argv, log);
  for (int i = 0; i < 500 && port_ == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    port_ = reported_port(log);
  }
  if (port_ == 0) throw std::runtime_error("the reference service did not start; see " + log.string());
}

ReferenceService::~ReferenceService() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    wait_for(pid_);
  }
}

int ReferenceService::requests() const {
  std::ifstream in(folder_ / "serve.log");
  std::string line;
  int n = 0;
  while (std::getline(in, line)) n += line.find(" status=") != std::string::npos;
  return n;
}

std::vector<ReceivedStatement> ReferenceService::statements() const {
  std::vector<ReceivedStatement> out;
  std::ifstream in(folder_ / "statements.log", std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    const auto tab = line.find('\t');
    if (tab == std::string::npos) continue;
    ReceivedStatement s{line.substr(0, tab), {}};
    for (std::size_t i = tab + 1; i < line.size(); ++i) {
      if (line[i] == '\\' && i + 1 < line.size()) {
        const char c = line[++i];
        s.text += c == 'r' ? '\r' : c == 'n' ? '\n' : c;
      } else {
        s.text += line[i];
      }
    }
    out.push_back(std::move(s));
  }
  return out;
}

std::string ReferenceService::run_tool(const std::vector<std::string>& args) const {
  std::vector<std::string> argv = {HEADOFFICE_EXE};
  argv.insert(argv.end(), args.begin(), args.end());
  argv.insert(argv.end(), {"--db", db_url_});
  const auto out = folder_ / "tool.out";
  std::filesystem::remove(out);
  const int rc = wait_for(spawn(argv, out));
  std::ifstream in(out);
  const std::string output((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::ofstream(folder_ / "tool.log", std::ios::app) << output;
  if (rc != 0)
    throw std::runtime_error("headoffice-service " + args.front() + " failed (" + std::to_string(rc) + "): " + output);
  return output;
}

Credential ReferenceService::credential(const std::string& machine) const {
  if (shared_) return *shared_;
  auto& own = own_[machine];
  if (own.user.empty()) own = {machine, last_line(run_tool({"terminals", "add", machine}))};
  return own;
}

void ReferenceService::share_credentials(const ReferenceService& other) {
  own_ = other.own_;
  viewer_ = other.viewer_;
}

Credential ReferenceService::viewer() const {
  if (!viewer_) viewer_ = Credential{"ops", last_line(run_tool({"viewers", "add", "ops"}))};
  return *viewer_;
}

namespace {

// The statements of a script, split at each ';' outside quotes.
std::vector<std::string> statements_of(const std::string& script) {
  std::vector<std::string> out;
  std::string current;
  bool quoted = false;
  for (char c : script) {
    if (c == '\'') quoted = !quoted;
    if (c == ';' && !quoted) {
      if (current.find_first_not_of(" \t\r\n") != std::string::npos) out.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  if (current.find_first_not_of(" \t\r\n") != std::string::npos) out.push_back(current);
  return out;
}

}  // namespace

// PostgreSQL through the service's own storage; SQLite directly, as its file is shared.
void ReferenceService::sql(const std::string& statements) {
  if (db_url_.starts_with("postgresql")) {
    auto c = headoffice::open_database(db_url_)->connect();
    for (const auto& statement : statements_of(statements)) {
      try {
        c->execute(statement, {}, nullptr);
      } catch (const std::exception& e) {
        throw std::runtime_error("head-office SQL failed: " + std::string(e.what()) + "\n" + statement);
      }
    }
    return;
  }
  sqlite3* db = nullptr;
  std::string path = db_url_.substr(7);
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) throw std::runtime_error("cannot open " + path);
  sqlite3_busy_timeout(db, 5000);
  char* err = nullptr;
  int rc = sqlite3_exec(db, statements.c_str(), nullptr, nullptr, &err);
  std::string msg = err ? err : "";
  sqlite3_free(err);
  sqlite3_close(db);
  if (rc != SQLITE_OK) throw std::runtime_error("head-office SQL failed: " + msg + "\n" + statements);
}

std::vector<std::vector<std::string>> ReferenceService::rows(const std::string& query) {
  std::vector<std::vector<std::string>> out;
  if (db_url_.starts_with("postgresql")) {
    headoffice::RowCollector rows;
    headoffice::open_database(db_url_)->connect()->execute(query, {}, &rows);
    for (const auto& r : rows.rows()) {
      std::vector<std::string> row;
      for (const auto& v : r) row.push_back(v.as_text());
      out.push_back(std::move(row));
    }
    return out;
  }
  sqlite3* db = nullptr;
  std::string path = db_url_.substr(7);
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) throw std::runtime_error("cannot open " + path);
  sqlite3_busy_timeout(db, 5000);
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db, query.c_str(), -1, &st, nullptr) != SQLITE_OK) {
    std::string msg = sqlite3_errmsg(db);
    sqlite3_close(db);
    throw std::runtime_error("head-office query failed: " + msg);
  }
  while (sqlite3_step(st) == SQLITE_ROW) {
    std::vector<std::string> row;
    for (int i = 0; i < sqlite3_column_count(st); ++i) {
      auto* t = sqlite3_column_text(st, i);
      row.emplace_back(t ? reinterpret_cast<const char*>(t) : "");
    }
    out.push_back(std::move(row));
  }
  sqlite3_finalize(st);
  sqlite3_close(db);
  return out;
}

}  // namespace pos::testing

#include "tests/e2e/saved_store.h"

#include <sqlite3.h>

#include <fstream>
#include <regex>
#include <sstream>

#include "tests/e2e/store_programs.h"

namespace pos::e2e {

namespace fs = std::filesystem;

SavedStore::SavedStore(const testing::ReferenceService& service, const fs::path& terminal) {
  // The service keeps the database in WAL mode: its recent writes are in the -wal file, which a copy
  // of the main file alone would lose. VACUUM INTO writes one whole, consistent copy.
  sqlite3* db = nullptr;
  const int opened = sqlite3_open(service.db_url().substr(7).c_str(), &db);
  char* error = nullptr;
  const std::string copy = "VACUUM INTO '" + head_office().string() + "'";
  const int copied = opened == SQLITE_OK ? sqlite3_exec(db, copy.c_str(), nullptr, nullptr, &error) : opened;
  const std::string why = error ? error : db ? sqlite3_errmsg(db) : "cannot open";
  sqlite3_free(error);
  sqlite3_close(db);
  if (copied != SQLITE_OK) throw std::runtime_error("cannot save the head office: " + why);
  fs::copy(terminal, this->terminal(), fs::copy_options::recursive);
}

StorePlay::StorePlay(const SavedStore& saved, std::vector<std::string> serve_args, double read_timeout, bool batch) {
  fs::copy_file(saved.head_office(), folder_ / "headoffice.db");
  fs::copy(saved.terminal(), folder_ / "terminal", fs::copy_options::recursive);
  service_ = std::make_unique<testing::ReferenceService>(
      // The saved head office holds the terminal's credential: none is issued again.
      std::vector<std::string>{}, "", std::nullopt, "sqlite:" + (folder_ / "headoffice.db").string(),
      std::move(serve_args));
  const fs::path ini = folder_ / "terminal" / "httpset.ini";
  std::stringstream text;
  text << std::ifstream(ini).rdbuf();
  std::string changed =
      std::regex_replace(text.str(), std::regex("port=[0-9]+"), "port=" + std::to_string(service_->port()));
  std::ofstream(ini, std::ios::trunc) << changed << "read_timeout=" << read_timeout << "\n"
                                      << (batch ? "batch=1\n" : "");
}

std::string StorePlay::command(const std::string& args) const { return updater_command(terminal(), args); }

testing::Outcome StorePlay::update(const std::string& args) { return finish_update(start_update(args)); }

pid_t StorePlay::start_update(const std::string& args) {
  return testing::start_command(command(args), (folder_ / "out.txt").string(), (folder_ / "err.txt").string());
}

testing::Outcome StorePlay::finish_update(pid_t pid) {
  testing::Outcome o;
  o.status = testing::finish_command(pid);
  std::stringstream out, err;
  out << std::ifstream(folder_ / "out.txt").rdbuf();
  err << std::ifstream(folder_ / "err.txt").rdbuf();
  o.out = out.str();
  o.err = err.str();
  return o;
}

std::map<std::string, std::vector<Entry>> StorePlay::entries(const std::string& machine) {
  HeadOffice ho(service_->db_url());
  return entries_of(ho, machine);
}

namespace {

Stage stage(const std::string& name, std::unique_ptr<SavedStore> saved, const std::string& args) {
  Stage st{name, std::move(saved), args, {}, {}, {}, 0};
  StorePlay play(*st.saved);
  const testing::Outcome run = play.update(args);
  if (run.status != 0) throw std::runtime_error("the undisturbed " + name + " run failed: " + run.err);
  st.clean = play.snapshot();
  st.entries_001 = play.entries("001");
  st.entries_002 = play.entries("002");
  st.requests = play.service().requests();
  return st;
}

std::vector<Stage> build_stages() {
  testing::ReferenceService service(
      {"--products", "30", "--members", "4", "--promotions", "3", "--any-choice", "3", "--gifts", "3", "--seed", "5"},
      "001,002");
  testing::TempFolder folder("posstage");
  const fs::path terminal = folder / "terminal";
  const testing::Outcome made = init_terminal(service, terminal);
  if (made.status != 0) throw std::runtime_error("terminal-init failed: " + made.err);
  std::vector<Stage> stages;
  const std::string full_args = std::string("1 --jobs ") + kEveryJob;
  stages.push_back(stage("full", std::make_unique<SavedStore>(service, terminal), full_args));
  const testing::Outcome first = testing::run_command(updater_command(terminal, full_args));
  if (first.status != 0) throw std::runtime_error("the first full update failed: " + first.err);
  for (const char* what : {"products", "members", "promotions", "anychoice", "gifts"})
    service.run_tool({"change", what, "--count", "2", "--insert", "1", "--delete", "1", "--seed", "11"});
  stages.push_back(stage("changes", std::make_unique<SavedStore>(service, terminal), "0"));
  return stages;
}

}  // namespace

const std::vector<Stage>& store_stages() {
  static const std::vector<Stage> stages = build_stages();
  return stages;
}

std::string converged(StorePlay& play, const Stage& stage) {
  if (std::string d = testing::snapshot_difference(stage.clean, play.snapshot()); !d.empty()) return d;
  if (play.entries("001") != stage.entries_001) return "terminal 001's change-log entries differ";
  if (play.entries("002") != stage.entries_002) return "terminal 002's change-log entries differ";
  return "";
}

}  // namespace pos::e2e

#include "tests/support/terminal.h"

#include "app/command_line.h"
#include "service/service_errors.h"
#include "text/big5.h"
#include "tools/terminal_folder.h"

namespace pos::testing {

Terminal::Terminal(const ReferenceService& service, const std::string& machine, int port) {
  TerminalSpec spec{home_.string(), machine, "127.0.0.1", std::to_string(port ? port : service.port())};
  const Credential own = service.credential(machine);
  spec.user = own.user;
  spec.password = own.password;
  make_terminal_folder(spec);
}

Terminal::~Terminal() {
  form_.reset();
  data_module_.reset();
}

void Terminal::fix_date(const std::string& yyyy_mm_dd) {
  std::tm tm{};
  tm.tm_year = std::stoi(yyyy_mm_dd.substr(0, 4)) - 1900;
  tm.tm_mon = std::stoi(yyyy_mm_dd.substr(5, 2)) - 1;
  tm.tm_mday = std::stoi(yyyy_mm_dd.substr(8, 2));
  tm.tm_hour = 12;
  tm.tm_isdst = -1;
  const std::time_t t = std::mktime(&tm);
  now_ = [t] { return t; };
}

void Terminal::start(const std::vector<std::string>& args) {
  form_ = std::make_unique<TFormTollmere>(FormOptions{home(), database(), now_}, dialogs_);
  form_->FormCreate(parse_command_line(args, home()).mode);
  data_module_ = std::make_unique<TDataModHttp>(home(), dialogs_, DataModOptions{10000});
  data_module_->DataModuleCreate();
  form_->DataModHttp = data_module_.get();
}

std::string Terminal::run(int mode, const std::vector<int>& jobs) {
  if (!form_) start({std::to_string(mode)});
  form_->RadioGroup1 = mode;
  for (auto& item : form_->CheckListBox1) item.checked = false;
  for (int j : jobs) form_->CheckListBox1.at(static_cast<std::size_t>(j)).checked = true;
  run_start_ = form_->Memo1.size();
  try {
    form_->SpeedButton1Click();
  } catch (const SilentAbort&) {
    return "silent abort";
  } catch (const std::exception& e) {
    return e.what();
  }
  return "";
}

std::vector<std::string> Terminal::log_lines() const {
  std::vector<std::string> out;
  auto all = form_->Memo1.lines();
  for (std::size_t i = run_start_; i < all.size(); ++i) out.push_back(big5_to_utf8_lossy(all[i]));
  return out;
}

std::vector<std::vector<std::string>> Terminal::local_rows(const std::string& query) {
  std::vector<std::vector<std::string>> out;
  for (auto& r : form_->SQLCon_Loc.query(query)) {
    std::vector<std::string> row;
    for (auto& v : r) row.push_back(v.as_text());
    out.push_back(std::move(row));
  }
  return out;
}

}  // namespace pos::testing

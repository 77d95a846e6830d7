#include "tests/support/terminal.h"

#include <stdlib.h>

#include "service/service_errors.h"
#include "text/big5.h"
#include "tools/terminal_folder.h"

namespace pos::testing {

void RecordingDialogs::show_message(const std::string& t) {
  std::lock_guard lock(mu_);
  messages_.push_back(t);
}
void RecordingDialogs::show_error(const std::string& t) {
  std::lock_guard lock(mu_);
  errors_.push_back(t);
}
std::vector<std::string> RecordingDialogs::messages() const {
  std::lock_guard lock(mu_);
  return messages_;
}
std::vector<std::string> RecordingDialogs::errors() const {
  std::lock_guard lock(mu_);
  return errors_;
}

Terminal::Terminal(const ReferenceService& service, const std::string& machine, int port) {
  std::string templ = (std::filesystem::temp_directory_path() / "posterm-XXXXXX").string();
  home_ = mkdtemp(templ.data());
  TerminalSpec spec{home_.string(), machine, "127.0.0.1", std::to_string(port ? port : service.port())};
  spec.user = ReferenceService::kUser;
  spec.password = ReferenceService::kPassword;
  make_terminal_folder(spec);
}

Terminal::~Terminal() {
  form_.reset();
  data_module_.reset();
  std::error_code ec;
  std::filesystem::remove_all(home_, ec);
}

void Terminal::start(const std::vector<std::string>& args) {
  form_ = std::make_unique<TFormTollmere>(FormOptions{home_, database()}, dialogs_);
  form_->FormCreate(args);
  data_module_ = std::make_unique<TDataModHttp>(home_, dialogs_, DataModOptions{10000});
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
  for (std::size_t i = run_start_; i < all.size(); ++i) out.push_back(big5_to_utf8(all[i]));
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

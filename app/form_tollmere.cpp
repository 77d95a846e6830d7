#include "app/form_tollmere.h"

#include <cstdio>
#include <fstream>
#include <stdexcept>

#include "app/folder_exposure.h"
#include "jobs/changes_update_texts.h"
#include "jobs/job_table.h"
#include "jobs/kit/service_steps.h"
#include "localdb/schema_upkeep.h"
#include "service/data_mod_http.h"
#include "service/run_stop.h"
#include "service/service_settings.h"
#include "text/big5.h"
#include "text/date_format.h"
#include "text/number_format.h"

namespace pos {

std::string read_machine_no(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw std::runtime_error("Cannot open file \"" + file.string() + "\". No such file or directory");
  // Only the first line is read, so a huge file costs nothing. Lines end at CR, LF or CR LF.
  std::string line;
  bool any = false;
  for (char c; in.get(c);) {
    any = true;
    if (c == '\r' || c == '\n') break;
    const auto b = static_cast<unsigned char>(c);
    if ((b < 0x20 && c != '\t') || b == 0x7F) {
      char shown[8];
      std::snprintf(shown, sizeof shown, "0x%02X", b);
      throw std::runtime_error(file.string() + " is not a machine number: its first line holds the control byte " +
                               shown + " at byte " + std::to_string(line.size() + 1));
    }
    if (line.size() == kMachineNoMost)
      throw std::runtime_error(file.string() + " is not a machine number: its first line is longer than " +
                               std::to_string(kMachineNoMost) + " bytes");
    line += c;
  }
  if (in.bad()) throw std::runtime_error("Cannot read file \"" + file.string() + "\"");
  if (!any) throw std::runtime_error("List index out of bounds (0): " + file.string() + " is empty");
  return line;
}

TFormTollmere::TFormTollmere(FormOptions options, Dialogs& dialogs)
    : Label1(big5("資料更新:")), options_(std::move(options)), dialogs_(dialogs) {
  SQLCon_Loc.after_connect = [this] { SQLCon_LocAfterConnect(); };
}

TFormTollmere::~TFormTollmere() = default;

void TFormTollmere::FormCreate(int mode) {
  CheckListBox1.clear();
  for (const auto& job : job_table()) CheckListBox1.push_back(CheckListItem{job.caption, false});

  MachineNo = read_machine_no(options_.home / "MCH_NO.TXT");
  Label1 = MachineNo + big5("資料更新:");
  RadioGroup1 = mode;

  SQLCon_Loc.close();
  ConnectionParams params;
  params.database =
      options_.local_database.empty() ? default_local_database(options_.home.string()) : options_.local_database;
  const LocalDbSignIn sign_in = read_local_db_sign_in(options_.home / "httpset.ini");
  params.user = sign_in.user;
  params.password = sign_in.password;
  SQLCon_Loc.open(params);
}

void TFormTollmere::SQLCon_LocAfterConnect() {
  SpeedButton1 = true;
  upgrade_local_schema(SQLQuery3);
}

void TFormTollmere::Timer1Timer() {
  Timer1 = false;
  if (RadioGroup1 != 0) return;
  if (start_action)
    start_action();
  else
    SpeedButton1Click();
}

void TFormTollmere::SpeedButton1Click() {
  stop_point();
  last_run_ = {};
  last_unconfirmed_ = {};
  machine_unknown_ = false;
  Memo1.append(format_run_timestamp(options_.now()));
  folder_warning_ = exposed_folder_warning(options_.home);
  if (!folder_warning_.empty()) Memo1.append(big5(" 終端機資料夾可被其他使用者寫入 (chmod go-w)..!"));
  script_buffer_.clear();
  if (!DataModHttp) throw std::runtime_error("the data module is not ready");

  // Opening check: the terminal's own machine row; the answer must have STOCK_ID.
  script_buffer_ = opening_check_query(MachineNo);
  DataModHttp->OpenRemoteQuery(ClientDataSet1, script_text(script_buffer_));
  ClientDataSet1.value("STOCK_ID");
  // No row is no failure, but head office then keeps nothing for this terminal: say so.
  machine_unknown_ = ClientDataSet1.row_count() == 0;
  if (machine_unknown_)
    Memo1.append(big5(" 總部沒有此機台 ") + MachineNo + big5(" 的資料 (MCH_ITEM)，本機收不到異動..!"));

  RunContext ctx = context();
  for (std::size_t i = 0; i < CheckListBox1.size(); ++i) {
    if (RadioGroup1 == 0 && !CheckListBox1[i].checked) {
      CheckListBox1[i].checked = true;
      if (on_checked) on_checked(i);
    }
    stop_point();
    if (CheckListBox1[i].checked) run_job(job_table().at(i), ctx, last_run_.at(i));
  }
  if (const std::size_t n = unconfirmed_statements(); n > 0) {
    const std::string& file = last_unconfirmed_.file;
    Memo1.append(big5(" 總部未確認 ") + std::to_string(n) + big5(" 筆異動記錄的處理") +
                 (file.empty() ? std::string() : " (" + big5("請看 ") + file + ")") + "..!");
  }
  Memo1.append(big5(" 階段作業完成..!"));
  Memo1.append(format_run_timestamp(options_.now()));
}

std::size_t TFormTollmere::unconfirmed_statements() const {
  std::size_t n = 0;
  for (const auto& job : last_run_) n += job.unconfirmed;
  return n;
}

RunContext TFormTollmere::context() {
  if (!DataModHttp) throw std::runtime_error("the data module is not ready");
  // The window's components lent to the jobs by their roles.
  return RunContext{.mode = update_mode(RadioGroup1),
                    .today = format_slashed_date(options_.now()),
                    .machine = MachineNo,
                    .script = script_buffer_,
                    .log = Memo1,
                    .progress = ProgressBar1,
                    .answer = ClientDataSet1,
                    .entries = ClientDataSet2,
                    .sub_cards = ClientDataSet4,
                    .product_changes = aCDS,
                    .local = SQLCon_Loc,
                    .statement = SQLQuery3,
                    .row_cursor = CDS_Query1,
                    .card_cursor = CDS_Query4,
                    .service = *DataModHttp,
                    .terminal_folder = options_.home,
                    .unconfirmed = &last_unconfirmed_};
}

bool TFormTollmere::last_run_had_row_errors() const {
  for (const auto& job : last_run_)
    if (!job.clean()) return true;
  return false;
}

void TFormTollmere::SpeedButton2Click() {
  closed_ = true;
  if (close_window) close_window();
}

void TFormTollmere::Action1Execute() { SpeedButton2Click(); }

}  // namespace pos

#pragma once
// The main window as a model without any toolkit: its components as plain objects and its
// handlers. The Qt view draws it; the headless front drives it directly.

#include <array>
#include <atomic>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/dialogs.h"
#include "jobs/job_table.h"
#include "jobs/kit/run_context.h"
#include "jobs/kit/run_log.h"
#include "localdb/connection.h"
#include "localdb/local_query.h"
#include "localdb/table_cursor.h"
#include "packet/row_set.h"

namespace pos {

class TDataModHttp;

struct CheckListItem {
  std::string caption;  // Big5
  bool checked = false;
};

struct FormOptions {
  std::filesystem::path home;  // terminal folder: MCH_NO.TXT, httpset.ini, Data/POS_LOC.GDB
  std::string local_database;  // empty: the default connection string for `home`
  std::function<std::time_t()> now = [] { return std::time(nullptr); };
};

class TFormTollmere {
 public:
  TFormTollmere(FormOptions options, Dialogs& dialogs);
  ~TFormTollmere();

  // Components.
  std::vector<CheckListItem> CheckListBox1;
  int RadioGroup1 = 0;        // item index: 0 changes update, 1 full update, -1 none
  std::string Label1;         // design caption "資料更新:"
  bool SpeedButton1 = false;  // enabled
  bool Timer1 = true;         // enabled
  RunLog Memo1;
  ProgressBar ProgressBar1;
  RowSet ClientDataSet1, ClientDataSet2, ClientDataSet4, aCDS;
  LocalConnection SQLCon_Loc;
  LocalQuery SQLQuery3{SQLCon_Loc};
  TableCursor CDS_Query1{SQLCon_Loc};
  TableCursor CDS_Query4{SQLCon_Loc};
  std::string MachineNo;

  // The data module, created after the form (program entry).
  TDataModHttp* DataModHttp = nullptr;

  // Handlers. `mode`: the first command-line argument as the mode selector reads it
  // (CommandLine::mode).
  void FormCreate(int mode);
  void Timer1Timer();
  void SpeedButton1Click();
  void SpeedButton2Click();
  void Action1Execute();
  void SQLCon_LocAfterConnect();

  // Set by the view: closes the window; starts a run the way the start button does (on the view's
  // worker thread). Without a view the start action runs the run directly.
  std::function<void()> close_window;
  std::function<void()> start_action;
  // Set by the view: a tick of the check list changed.
  std::function<void(std::size_t)> on_checked;
  bool closed() const { return closed_; }

  // What each job of the last run did (index = job number).
  const JobCounts& last_run() const { return last_run_; }
  const std::filesystem::path& home() const { return options_.home; }
  // True when a row of the last run failed or was refused.
  bool last_run_had_row_errors() const;
  // Change-log statements of the last run that head office did not confirm, and the last of them.
  std::size_t unconfirmed_statements() const;
  const UnconfirmedStatement& last_unconfirmed() const { return last_unconfirmed_; }
  // True when the last run's opening check found no MCH_ITEM row for MachineNo.
  bool machine_unknown() const { return machine_unknown_; }
  // The last run's warning of a terminal folder that others may write (UTF-8); empty when none.
  const std::string& folder_warning() const { return folder_warning_; }

  const FormOptions& options() const { return options_; }

  // What a job of a run works with, for the current mode. Needs the data module.
  RunContext context();

 private:
  FormOptions options_;
  Dialogs& dialogs_;
  std::vector<std::string> script_buffer_;
  bool closed_ = false;
  bool machine_unknown_ = false;
  std::string folder_warning_;
  JobCounts last_run_{};
  UnconfirmedStatement last_unconfirmed_;
};

// The machine number: the first line of `file` exactly as stored. Throws when the file cannot be
// read or has no line, or when the first line is no machine number: a control byte (tab aside) or
// more than kMachineNoMost bytes, as a binary or runaway file would give.
std::string read_machine_no(const std::filesystem::path& file);
inline constexpr std::size_t kMachineNoMost = 255;

}  // namespace pos

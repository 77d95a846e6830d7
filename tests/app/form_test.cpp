#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "app/form_tollmere.h"
#include "localdb/catalogue.h"
#include "tests/support/recording_dialogs.h"
#include "tests/support/temp_folder.h"
#include "text/big5.h"
#include "tools/terminal_folder.h"

namespace fs = std::filesystem;

namespace pos {
namespace {

using testing::RecordingDialogs;

class Form : public ::testing::Test {
 protected:
  void SetUp() override { make_terminal_folder(TerminalSpec{home.string(), "001", "127.0.0.1", "1"}); }
  void write_machine_file(const std::string& content) {
    std::ofstream(home / "MCH_NO.TXT", std::ios::binary | std::ios::trunc) << content;
  }
  FormOptions options() { return FormOptions{home, (home / "Data" / "POS_LOC.GDB").string()}; }
  testing::TempFolder folder{"posform"};
  fs::path home = folder.path();
  RecordingDialogs dialogs;
};

TEST_F(Form, CreationFillsTheListReadsTheMachineAndUpgradesTheDatabase) {
  write_machine_file("001\r\nsecond line\r\n");
  TFormTollmere form(options(), dialogs);
  EXPECT_FALSE(form.SpeedButton1);
  form.FormCreate(1);
  ASSERT_EQ(form.CheckListBox1.size(), kJobCount);
  for (std::size_t i = 0; i < kJobCount; ++i) {
    EXPECT_EQ(form.CheckListBox1[i].caption, job_table()[i].caption);
    EXPECT_FALSE(form.CheckListBox1[i].checked);
  }
  EXPECT_EQ(form.MachineNo, "001");
  EXPECT_EQ(form.Label1, "001" + big5("資料更新:"));
  EXPECT_EQ(form.RadioGroup1, 1);
  EXPECT_TRUE(form.SpeedButton1);
  EXPECT_TRUE(form.SQLCon_Loc.connected());
  EXPECT_FALSE(TableMissing(form.SQLQuery3, "EINVOICE_WORD"));
}

TEST_F(Form, TheMachineNumberKeepsItsBlanks) {
  write_machine_file(" 001 \n");
  TFormTollmere form(options(), dialogs);
  form.FormCreate(0);
  EXPECT_EQ(form.MachineNo, " 001 ");
  EXPECT_EQ(form.RadioGroup1, 0);
}

TEST_F(Form, AMissingOrEmptyMachineFileStopsCreationWithTheDesignState) {
  for (bool missing : {true, false}) {
    if (missing)
      fs::remove(home / "MCH_NO.TXT");
    else
      write_machine_file("");
    TFormTollmere form(options(), dialogs);
    EXPECT_THROW(form.FormCreate(1), std::exception);
    EXPECT_EQ(form.MachineNo, "");
    EXPECT_EQ(form.Label1, big5("資料更新:"));
    EXPECT_EQ(form.RadioGroup1, 0);  // the mode step was skipped
    EXPECT_FALSE(form.SQLCon_Loc.connected());
    EXPECT_FALSE(form.SpeedButton1);
    EXPECT_EQ(form.CheckListBox1.size(), kJobCount);  // filled before the failure
  }
}

TEST_F(Form, ADatabaseThatCannotBeOpenedLeavesTheStartButtonDisabled) {
  TFormTollmere form(FormOptions{home, (home / "Data" / "MISSING.GDB").string()}, dialogs);
  EXPECT_THROW(form.FormCreate(0), std::exception);
  EXPECT_EQ(form.MachineNo, "001");
  EXPECT_FALSE(form.SpeedButton1);
}

TEST_F(Form, TheTimerStartsARunOnlyInChangesUpdateAndOnlyOnce) {
  for (int mode : {-1, 0, 1}) {
    TFormTollmere form(options(), dialogs);
    form.FormCreate(mode);
    int starts = 0;
    form.start_action = [&] { ++starts; };
    form.Timer1Timer();
    EXPECT_FALSE(form.Timer1);
    EXPECT_EQ(starts, mode == 0 ? 1 : 0) << "mode " << mode;
  }
}

TEST_F(Form, ExitAndF6CloseTheWindow) {
  TFormTollmere form(options(), dialogs);
  int closes = 0;
  form.close_window = [&] { ++closes; };
  form.SpeedButton2Click();
  form.Action1Execute();
  EXPECT_EQ(closes, 2);
  EXPECT_TRUE(form.closed());
}

}  // namespace
}  // namespace pos

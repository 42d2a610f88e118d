// The main window's behaviour: start-up, data exchange, modes and timers, system commands, clear data, and
// leaving with downloaded data that was not output.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "WindowDriving.h"
#include "app/ControlTable.h"
#include "app/TransferDlg.h"
#include "common/TestNames.h"

namespace kestrion {
namespace {

using testing_support::Entries;
using testing_support::FakeView;
using testing_support::ScriptedPrompter;
using testing_support::Window;

// GBK bytes of the parity entries.
const std::string kNone = "\xCE\xDE";
const std::string kOdd = "\xC6\xE6\xBC\xEC\xD1\xE9";
const std::string kEven = "\xC5\xBC\xBC\xEC\xD1\xE9";

class TransferDlgTest : public testing::Test, protected Window {};

// ---- start-up

TEST_F(TransferDlgTest, StartsWithTheDefaultLists) {
  const std::vector<std::string> ports = Entries(dlg.m_cbPort);
  ASSERT_GE(ports.size(), 9u);
  for (int i = 0; i < 9; ++i) EXPECT_EQ(ports[static_cast<std::size_t>(i)], "COM" + std::to_string(i + 1));
  EXPECT_EQ(dlg.m_cbPort.GetCurSel(), 0);
  EXPECT_EQ(Entries(dlg.m_cbBaud), (std::vector<std::string>{"4800", "9600", "19200", "38400"}));
  EXPECT_EQ(dlg.m_cbBaud.GetCurSel(), 2);
  EXPECT_EQ(Entries(dlg.m_cbDataBits), (std::vector<std::string>{"7", "8"}));
  EXPECT_EQ(dlg.m_cbDataBits.GetCurSel(), 1);
  EXPECT_EQ(Entries(dlg.m_cbParity), (std::vector<std::string>{kNone, kOdd, kEven}));
  EXPECT_EQ(dlg.m_cbParity.GetLBText(dlg.m_cbParity.GetCurSel()), u"无");
  EXPECT_EQ(dlg.m_cbParity.GetCurSel(), 0);
  // The window shows what the handles hold.
  EXPECT_EQ(view.Item(kIdParity).items, (std::vector<std::u16string>{u"无", u"奇检验", u"偶检验"}));
  EXPECT_EQ(dlg.m_lbRoads.GetDlgCtrlID(), kIdRoads);
  EXPECT_EQ(dlg.m_lbRoads.GetCount(), 0);
}

TEST_F(TransferDlgTest, StartsInDownloadModeWithNoPortOpen) {
  EXPECT_EQ(dlg.m_nMode, 1);
  EXPECT_TRUE(Checked(kIdDownloadMode));
  EXPECT_FALSE(Checked(kIdUploadMode));
  EXPECT_EQ(dlg.m_bPortOpen, 0);
  EXPECT_FALSE(dlg.m_hComm.IsOpen());
  EXPECT_TRUE(Enabled(kIdOpenPort));
  EXPECT_FALSE(Enabled(kIdClosePort));
  EXPECT_FALSE(Enabled(kIdUpload));
  for (const int id : {kIdBrowse, kIdOutput, kIdClearData}) EXPECT_TRUE(Enabled(id)) << id;
  EXPECT_FALSE(dlg.IsTimerRunning(CTransferDlg::kStatusTimer));
  EXPECT_TRUE(dlg.IsTimerRunning(CTransferDlg::kDownloadPollTimer));
  EXPECT_FALSE(view.TimerRunning(CTransferDlg::kStatusTimer));
  EXPECT_TRUE(view.TimerRunning(CTransferDlg::kDownloadPollTimer));
  // The selections reach the fields only with the first exchange into them.
  EXPECT_TRUE(dlg.m_strPort.IsEmpty());
  EXPECT_TRUE(dlg.m_strBaud.IsEmpty());
  EXPECT_FALSE(dlg.HasUnsavedDownload());
  EXPECT_EQ(view.Icon(), kIdrMainFrame);
}

TEST_F(TransferDlgTest, SystemMenuEndsWithSeparatorAndAboutEntry) {
  const std::vector<FakeView::MenuEntry>& menu = view.SystemMenu();
  ASSERT_GE(menu.size(), 2u);
  EXPECT_EQ(menu[menu.size() - 2].command, 0u);  // the separator
  EXPECT_EQ(menu.back().text, u"关于 Kestrion(&A)...");
  EXPECT_EQ(menu.back().command, 16u);
  view.SysCommand(menu.back().command);
  ASSERT_EQ(prompter.modals.size(), 1u);
  EXPECT_EQ(prompter.modals[0].templateId, kIddAboutBox);
}

// ---- data exchange

struct ComboRow {
  const char* name;
  int id;
  int selectedBefore;
  std::string text;
  int selectedAfter;
};

class TransferDlgComboExchange : public testing::TestWithParam<ComboRow>, protected Window {};

TEST_P(TransferDlgComboExchange, SelectsTheFirstEntryBeginningWithTheText) {
  const ComboRow& row = GetParam();
  CComboBox& combo = row.id == kIdPort       ? dlg.m_cbPort
                     : row.id == kIdBaud     ? dlg.m_cbBaud
                     : row.id == kIdDataBits ? dlg.m_cbDataBits
                                             : dlg.m_cbParity;
  combo.SetCurSel(row.selectedBefore);
  CString& field = row.id == kIdPort       ? dlg.m_strPort
                   : row.id == kIdBaud     ? dlg.m_strBaud
                   : row.id == kIdDataBits ? dlg.m_strDataBits
                                           : dlg.m_strParity;
  field = CString(row.text);
  dlg.UpdateData(false);
  EXPECT_EQ(combo.GetCurSel(), row.selectedAfter);
  EXPECT_EQ(view.Item(row.id).selected, row.selectedAfter);
  // The field is left as it was; the next exchange the other way takes the selected entry's full text.
  EXPECT_EQ(field.Bytes(), row.text);
}

INSTANTIATE_TEST_SUITE_P(
    Rule, TransferDlgComboExchange,
    testing::Values(ComboRow{"WholeEntry", 1005, 2, "9600", 1}, ComboRow{"Prefix", 1005, 2, "96", 1},
                    ComboRow{"FirstOfSeveral", 1005, 0, "3", 3}, ComboRow{"NoMatchKeeps", 1005, 3, "x", 3},
                    ComboRow{"EmptyKeeps", 1005, 3, "", 3},
                    ComboRow{"LongerThanEntryKeeps", 1005, 0, "96000", 0},
                    ComboRow{"IgnoresCase", 1004, 0, "com3", 2},
                    ComboRow{"PrefixOfAllTakesFirst", 1004, 4, "CO", 0},
                    ComboRow{"DataBits", 1006, 1, "7", 0}, ComboRow{"ChineseEntry", 1007, 0, kEven, 2},
                    ComboRow{"ChinesePrefix", 1007, 0, "\xC6\xE6", 1},
                    // A lead byte alone is no character of the entry.
                    ComboRow{"HalfACharacterKeeps", 1007, 2, "\xC6", 2},
                    // 0xE6 is no letter: the case of the second byte of a character is not folded.
                    ComboRow{"TrailNotFolded", 1007, 0, "\xC6\xC6", 0}),
    testing_support::RowName());

TEST_F(TransferDlgTest, ExchangeIntoFieldsTakesEveryControl) {
  view.Select(kIdPort, 2);
  view.Select(kIdBaud, 0);
  view.Select(kIdDataBits, 0);
  view.Select(kIdParity, 1);
  dlg.m_edData.SetBytes(CString("&1,2\r\n\xB5\xC0"));
  TypeOver(kIdFilePath, u"/tmp/\u9053\u8DEF.HLN");
  dlg.m_edStatus.SetBytes(CString("Start"));
  Click(kIdUploadMode);

  dlg.UpdateData(true);
  EXPECT_EQ(dlg.m_strPort, "COM3");
  EXPECT_EQ(dlg.m_strBaud, "4800");
  EXPECT_EQ(dlg.m_strDataBits, "7");
  EXPECT_EQ(dlg.m_strParity.Bytes(), kOdd);
  EXPECT_EQ(dlg.m_strData, "&1,2\r\n\xB5\xC0");
  EXPECT_EQ(dlg.m_strFilePath, "/tmp/\xE9\x81\x93\xE8\xB7\xAF.HLN");  // a path keeps the platform's bytes
  EXPECT_EQ(dlg.GetStatus(), "Start");
  EXPECT_EQ(dlg.m_nMode, 0);
}

TEST_F(TransferDlgTest, ExchangeIntoControlsShowsEveryField) {
  dlg.m_strData = CString("a\r\nb\rc");
  dlg.m_strFilePath = CString("/data/\xE9\x81\x93.HLN");
  dlg.SetStatus(CString("Upload Finish"));
  dlg.m_nMode = 0;
  dlg.UpdateData(false);
  EXPECT_EQ(Shown(kIdData), u"a\nb\u280Dc");
  EXPECT_EQ(Shown(kIdFilePath), u"/data/\u9053.HLN");
  EXPECT_EQ(Shown(kIdStatus), u"Upload Finish");
  EXPECT_TRUE(Checked(kIdUploadMode));
  EXPECT_FALSE(Checked(kIdDownloadMode));
}

TEST(TransferDlgExchange, ABoxThatHoldsItsLineBreaksAsCrLfShowsThemSo) {
  Window window(LineBreak::CrLf);
  window.dlg.m_strData = CString("a\r\nb\rc\r\n");
  window.dlg.UpdateData(false);
  EXPECT_EQ(window.Shown(kIdData), u"a\r\nb\u280Dc\r\n");
  window.TypeAtEnd(kIdData, u"d\r\n");
  window.dlg.UpdateData(true);
  EXPECT_EQ(window.dlg.m_strData, "a\r\nb\rc\r\nd\r\n");
}

TEST_F(TransferDlgTest, ModeOutOfRangeChecksNoRadioAndReadsBackAsMinusOne) {
  dlg.m_nMode = 5;
  dlg.UpdateData(false);
  EXPECT_FALSE(Checked(kIdUploadMode));
  EXPECT_FALSE(Checked(kIdDownloadMode));
  dlg.UpdateData(true);
  EXPECT_EQ(dlg.m_nMode, -1);
  dlg.m_nMode = 1;
  dlg.UpdateData(false);
  EXPECT_TRUE(Checked(kIdDownloadMode));
  EXPECT_FALSE(Checked(kIdUploadMode));
}

TEST_F(TransferDlgTest, TypingIsLostByAnExchangeIntoControlsUnlessTakenFirst) {
  dlg.m_strData = CString("abc");
  dlg.UpdateData(false);
  TypeAtEnd(kIdData, u"x");
  dlg.UpdateData(false);
  EXPECT_EQ(DataBytes(), "abc");

  TypeAtStart(kIdData, u"y");
  dlg.UpdateData(true);
  dlg.UpdateData(false);
  EXPECT_EQ(DataBytes(), "yabc");
  EXPECT_EQ(dlg.m_strData, "yabc");
}

// ---- modes and timers

TEST_F(TransferDlgTest, ModeRadiosSwitchTheUploadButtonAndTheTimers) {
  Click(kIdUploadMode);
  EXPECT_EQ(dlg.m_nMode, 0);
  EXPECT_TRUE(Enabled(kIdUpload));
  EXPECT_TRUE(dlg.IsTimerRunning(CTransferDlg::kStatusTimer));
  EXPECT_FALSE(dlg.IsTimerRunning(CTransferDlg::kDownloadPollTimer));

  Click(kIdDownloadMode);
  EXPECT_EQ(dlg.m_nMode, 1);
  EXPECT_FALSE(Enabled(kIdUpload));
  EXPECT_FALSE(dlg.IsTimerRunning(CTransferDlg::kStatusTimer));
  EXPECT_TRUE(dlg.IsTimerRunning(CTransferDlg::kDownloadPollTimer));

  // The radio of the mode in force runs its command again.
  Click(kIdDownloadMode);
  EXPECT_EQ(dlg.m_nMode, 1);
  EXPECT_TRUE(dlg.IsTimerRunning(CTransferDlg::kDownloadPollTimer));
}

TEST_F(TransferDlgTest, TimersStartRestartAndStop) {
  dlg.KillTimer(CTransferDlg::kStatusTimer);  // not running: nothing happens
  EXPECT_FALSE(dlg.IsTimerRunning(CTransferDlg::kStatusTimer));
  dlg.SetTimer(CTransferDlg::kStatusTimer, CTransferDlg::kTimerPeriod);
  dlg.SetTimer(CTransferDlg::kStatusTimer, CTransferDlg::kTimerPeriod);
  EXPECT_TRUE(dlg.IsTimerRunning(CTransferDlg::kStatusTimer));
  EXPECT_TRUE(view.TimerRunning(CTransferDlg::kStatusTimer));
  dlg.KillTimer(CTransferDlg::kStatusTimer);
  EXPECT_FALSE(dlg.IsTimerRunning(CTransferDlg::kStatusTimer));
  EXPECT_FALSE(view.TimerRunning(CTransferDlg::kStatusTimer));
  EXPECT_TRUE(dlg.IsTimerRunning(CTransferDlg::kDownloadPollTimer));
}

class CountingDlg : public CTransferDlg {
 public:
  using CTransferDlg::CTransferDlg;
  int echoes = 0;
  int polls = 0;
  void StatusEcho() override { ++echoes; }
  void DownloadPoll() override { ++polls; }
};

struct TickRow {
  const char* name;
  int mode;
  int timer;
  int echoes;
  int polls;
};

class TransferDlgTick : public testing::TestWithParam<TickRow> {};

TEST_P(TransferDlgTick, ReachesOnlyTheWorkOfItsMode) {
  const TickRow& row = GetParam();
  ScriptedPrompter prompter;
  CountingDlg dlg(prompter);
  dlg.m_nMode = row.mode;
  dlg.OnTimer(row.timer);
  EXPECT_EQ(dlg.echoes, row.echoes);
  EXPECT_EQ(dlg.polls, row.polls);
}

INSTANTIATE_TEST_SUITE_P(Dispatch, TransferDlgTick,
                         testing::Values(TickRow{"StatusInUploadMode", 0, 1, 1, 0},
                                         TickRow{"StatusInDownloadMode", 1, 1, 0, 0},
                                         TickRow{"PollInDownloadMode", 1, 2, 0, 1},
                                         TickRow{"PollInUploadMode", 0, 2, 0, 0},
                                         TickRow{"OtherTimer", 0, 3, 0, 0}),
                         testing_support::RowName());

TEST(TransferDlgTicks, RunningTimersTickIntoTheirWork) {
  ScriptedPrompter prompter;
  CountingDlg dlg(prompter);
  FakeView view(dlg, prompter);
  EXPECT_TRUE(view.PumpUntil([&] { return dlg.polls >= 2; }, std::chrono::seconds(5)));
  EXPECT_EQ(dlg.echoes, 0);
  view.Click(kIdUploadMode);
  const int polls = dlg.polls;
  EXPECT_TRUE(view.PumpUntil([&] { return dlg.echoes >= 2; }, std::chrono::seconds(5)));
  EXPECT_EQ(dlg.polls, polls);
}

// ---- clear data

TEST_F(TransferDlgTest, ClearDataEmptiesTheDataAndTheRoadsOnly) {
  dlg.m_strData = CString("&1,2\r\n");
  dlg.m_strRoadData = {CString("$r$\r\n")};
  dlg.SetUploadLines(testing_support::OneLine("line"));
  dlg.SetStatus(CString("Start"));
  dlg.m_strLastMarker = CString("&");
  dlg.m_strFilePath = CString("/tmp/a.HLN");
  testing_support::MarkDownloadUnsaved(dlg);
  dlg.UpdateData(false);
  dlg.m_lbRoads.AddString(u"road");
  TypeOver(kIdFilePath, u"typed");

  Click(kIdClearData);
  EXPECT_TRUE(dlg.m_strData.IsEmpty());
  EXPECT_TRUE(Shown(kIdData).empty());
  EXPECT_EQ(dlg.m_lbRoads.GetCount(), 0);
  EXPECT_EQ(dlg.m_strRoadData, std::vector<CString>{CString("$r$\r\n")});
  EXPECT_EQ(dlg.GetUploadLines().GetSize(), 1);
  EXPECT_EQ(dlg.GetStatus(), "Start");
  EXPECT_EQ(dlg.m_strLastMarker, "&");
  EXPECT_EQ(Shown(kIdFilePath), u"/tmp/a.HLN");  // shown from its field again
  EXPECT_FALSE(dlg.HasUnsavedDownload());
}

// ---- system commands

struct SysCommandRow {
  const char* name;
  unsigned command;
  bool opensAbout;
};

class TransferDlgSysCommand : public testing::TestWithParam<SysCommandRow>, protected Window {};

TEST_P(TransferDlgSysCommand, AboutOnlyForItsCommand) {
  view.SysCommand(GetParam().command);
  ASSERT_EQ(prompter.modals.size(), GetParam().opensAbout ? 1u : 0u);
  if (GetParam().opensAbout) {
    EXPECT_EQ(prompter.modals[0].templateId, kIddAboutBox);
    EXPECT_EQ(prompter.modals[0].caption, u"关于 Kestrion");
    EXPECT_FALSE(view.Ended());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Commands, TransferDlgSysCommand,
    testing::Values(SysCommandRow{"About", 0x10, true}, SysCommandRow{"AboutLowBits", 0x11, true},
                    SysCommandRow{"AboutAllLowBits", 0x1F, true}, SysCommandRow{"NextCommand", 0x20, false},
                    SysCommandRow{"Zero", 0x0F, false}, SysCommandRow{"Move", 0xF010, false},
                    SysCommandRow{"Size", 0xF000, false},
                    SysCommandRow{"MaskKeepsOnlyBits4To15", 0x10010, true}),
    testing_support::RowName());

TEST_F(TransferDlgTest, CloseCommandEndsTheWindowAsCancel) {
  view.SysCommand(CDialog::kScClose);
  EXPECT_TRUE(view.Ended());
  EXPECT_EQ(view.Result(), kIdCancel);
}

// ---- leaving with downloaded data that was not output

struct LeaveRow {
  const char* name;
  bool unsaved;
  const char* data;
  int how;  // 0 close box, 1 cancel (Esc), 2 OK (Enter)
  Prompter::Answer answer;
  bool asks;
  bool closes;
};

class TransferDlgLeave : public testing::TestWithParam<LeaveRow>, protected Window {};

TEST_P(TransferDlgLeave, AsksOnlyWhileDownloadedDataWaits) {
  const LeaveRow& row = GetParam();
  prompter.answers.push_back(row.answer);
  dlg.m_strData = CString(row.data);
  dlg.UpdateData(false);
  if (row.unsaved) testing_support::MarkDownloadUnsaved(dlg);
  switch (row.how) {
    case 0:
      view.Close();
      break;
    case 1:
      dlg.OnCommand(kIdCancel, Notification::Clicked);
      break;
    default:
      dlg.OnCommand(kIdOk, Notification::Clicked);
      break;
  }
  ASSERT_EQ(prompter.messages.size(), row.asks ? 1u : 0u);
  if (row.asks) {
    EXPECT_EQ(prompter.messages[0].text, u"数据尚未输出，确定要退出吗？");
    EXPECT_EQ(prompter.messages[0].icon, Prompter::Icon::Question);
    EXPECT_EQ(prompter.messages[0].buttons, Prompter::Buttons::YesNo);
  }
  EXPECT_EQ(view.Ended(), row.closes);
  if (row.closes) {
    EXPECT_EQ(view.Result(), row.how == 2 ? kIdOk : kIdCancel);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Departure, TransferDlgLeave,
    testing::Values(LeaveRow{"NothingDownloaded", false, "abc", 0, Prompter::Answer::No, false, true},
                    LeaveRow{"CloseBoxYes", true, "&1\r\n", 0, Prompter::Answer::Yes, true, true},
                    LeaveRow{"CloseBoxNo", true, "&1\r\n", 0, Prompter::Answer::No, true, false},
                    LeaveRow{"EscYes", true, "&1\r\n", 1, Prompter::Answer::Yes, true, true},
                    LeaveRow{"EscNo", true, "&1\r\n", 1, Prompter::Answer::No, true, false},
                    LeaveRow{"EnterYes", true, "&1\r\n", 2, Prompter::Answer::Yes, true, true},
                    LeaveRow{"EnterNo", true, "&1\r\n", 2, Prompter::Answer::No, true, false},
                    LeaveRow{"EmptiedBox", true, "", 0, Prompter::Answer::No, false, true}),
    testing_support::RowName());

TEST(TransferDlgLeaving, NoKeepsTheWindowAndAskingAgainCanLeave) {
  Window window;
  window.prompter.answers = {Prompter::Answer::No, Prompter::Answer::Yes};
  window.dlg.m_strData = CString("&1\r\n");
  window.dlg.UpdateData(false);
  testing_support::MarkDownloadUnsaved(window.dlg);
  window.view.Close();
  EXPECT_FALSE(window.view.Ended());
  window.view.Close();
  EXPECT_TRUE(window.view.Ended());
  EXPECT_EQ(window.prompter.messages.size(), 2u);
}

TEST(TransferDlgLeaving, OkTakesTheControlsIntoTheFieldsFirst) {
  Window window;
  window.view.Select(kIdBaud, 1);
  window.dlg.OnCommand(kIdOk, Notification::Clicked);
  EXPECT_TRUE(window.view.Ended());
  EXPECT_EQ(window.dlg.m_strBaud, "9600");
  EXPECT_EQ(window.dlg.m_strPort, "COM1");
}

}  // namespace
}  // namespace kestrion

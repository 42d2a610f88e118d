// The Upload command of the main window: against the simulated station on its virtual port, and against a
// pseudo-terminal where the test plays the instrument; the status echo; the worker's end with the window.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "FakeView.h"
#include "ScriptedPrompter.h"
#include "WindowDriving.h"
#include "app/ControlTable.h"
#include "app/Messages.h"
#include "app/TransferDlg.h"
#include "common/PseudoTerminal.h"
#include "common/StationHarness.h"
#include "common/TestNames.h"
#include "serial/Framing.h"
#include "upload/UploadSource.h"

namespace kestrion {
namespace {

using namespace std::chrono_literals;
using testing_support::FakeView;
using testing_support::PseudoTerminal;
using testing_support::ScriptedPrompter;
using testing_support::WaitUntil;
using testing_support::Window;

constexpr std::chrono::milliseconds kWait = 10s;
const std::string kClosingOnTheLine = std::string(kWordUploadFinish) + "\r\r\n";

// The road list and buffers as Browse leaves them after a road file, with road `selected` selected (-1:
// none).
void SetRoads(CTransferDlg& dlg, const std::vector<CString>& roads, int selected) {
  dlg.m_strRoadData = roads;
  dlg.m_lbRoads.ResetContent();
  for (std::size_t i = 0; i < roads.size(); ++i) {
    const std::string name = "road " + std::to_string(i);
    dlg.m_lbRoads.AddString(std::u16string(name.begin(), name.end()));
  }
  dlg.m_lbRoads.SetCurSel(selected);
}

std::string Repeated(const std::string& text, int count) {
  std::string all;
  for (int i = 0; i < count; ++i) all += text;
  return all;
}

// The window in upload mode, as the operator has it before opening the port.
class UploadWindow : public testing::Test, protected Window {
 protected:
  void SetUp() override { ChooseUploadMode(); }

  // Picks `path` in the port list and clicks Open port.
  void OpenPort(const std::string& path) {
    SelectPort(path);
    dlg.OnOpenPort();
    ASSERT_EQ(dlg.m_bPortOpen, 1) << path;
  }
};

// ---- against the simulated station

struct StationRow {
  const char* name;
  std::vector<std::string> options;  // of the station's receive command
  std::string data;                  // the data text
  std::vector<CString> roads;        // road buffers, when a road file is loaded
  int selectedRoad;                  // -1: none
  std::string received;              // what the station wrote down, closing line included
};

class UploadToStation : public UploadWindow, public testing::WithParamInterface<StationRow> {};

TEST_P(UploadToStation, ArrivesLineByLine) {
  const StationRow& row = GetParam();
  testing_support::ScopedRuntimeDir runtime;
  const std::string out = (runtime.Path() / "received.txt").string();
  std::vector<std::string> args = {"--settle", "20", "receive", "--out", out, "--timeout", "5000"};
  args.insert(args.end(), row.options.begin(), row.options.end());
  testing_support::RunningStation station =
      testing_support::StartStation(testing_support::TestPortName(), args);
  ASSERT_NO_FATAL_FAILURE(OpenPort(station.link.string()));
  dlg.m_strData = CString(row.data);
  SetRoads(dlg, row.roads, row.selectedRoad);

  dlg.OnUpload();
  EXPECT_EQ(station.process->WaitForExit(kWait), 0) << station.process->Stderr();
  EXPECT_EQ(testing_support::ReadFileBytes(out), row.received);
  EXPECT_TRUE(WaitUntil([&] { return !dlg.UploadRunning(); }, kWait))
      << "the worker ends after the closing line";
}

INSTANTIATE_TEST_SUITE_P(
    Rows, UploadToStation,
    testing::Values(
        StationRow{"Cpt", {}, "&A1,2&\r\n&B3,4&\r\n", {}, -1, "&A1,2&\r\n&B3,4&\r\n" + kClosingOnTheLine},
        StationRow{"EmptyText", {}, "", {}, -1, kClosingOnTheLine},
        StationRow{
            "BlankLines", {}, "\r\n  \r\n a\r\n\r\n  b\r\n", {}, -1, "a\r\n\r\n  b\r\n" + kClosingOnTheLine},
        StationRow{"LfOnly", {}, "a\nb\n", {}, -1, "a\r\nb\r\n" + kClosingOnTheLine},
        // The pause is longer than a poll, so the two halves come in different reads.
        StationRow{"SplitStart",
                   {"--split-start", "--split-pause", "150"},
                   "&A1,2&\r\n&B3,4&\r\n",
                   {},
                   -1,
                   "&A1,2&\r\n&B3,4&\r\n" + kClosingOnTheLine},
        StationRow{"DoubleStart",
                   {"--double-start"},
                   "&A1,2&\r\n&B3,4&\r\n",
                   {},
                   -1,
                   "&A1,2&\r\n&B3,4&\r\n" + kClosingOnTheLine},
        StationRow{"Road",
                   {},
                   "&X&\r\n",
                   {CString("$r0$\r\n"), CString("$r1a$\r\n$r1b$\r\n")},
                   1,
                   "$r1a$\r\n$r1b$\r\n" + kClosingOnTheLine},
        StationRow{"EmptyRoad", {}, "&X&\r\n", {CString("$r0$\r\n"), CString()}, 1, kClosingOnTheLine},
        StationRow{
            "NoRoadSelected", {}, "&X&\r\n", {CString("$r0$\r\n")}, -1, "&X&\r\n" + kClosingOnTheLine}),
    testing_support::RowName());

TEST_F(UploadWindow, SampleRoadFileSendsTheSelectedRoad) {
  UploadSource source;
  ASSERT_TRUE(LoadUploadSource(KESTRION_EXAMPLES "/sample.HLN", source).opened);
  ASSERT_GE(source.roadData.size(), 2u);
  testing_support::ScopedRuntimeDir runtime;
  const std::string out = (runtime.Path() / "received.txt").string();
  testing_support::RunningStation station = testing_support::StartStation(
      testing_support::TestPortName(), {"--settle", "20", "receive", "--out", out, "--timeout", "5000"});
  ASSERT_NO_FATAL_FAILURE(OpenPort(station.link.string()));
  dlg.m_strData = source.data;
  SetRoads(dlg, source.roadData, 1);

  dlg.OnUpload();
  EXPECT_EQ(station.process->WaitForExit(kWait), 0) << station.process->Stderr();
  EXPECT_EQ(testing_support::ReadFileBytes(out), source.roadData[1].Bytes() + kClosingOnTheLine);
}

TEST_F(UploadWindow, StatusBoxShowsWhatTheStationSent) {
  testing_support::ScopedRuntimeDir runtime;
  testing_support::RunningStation station = testing_support::StartStation(
      testing_support::TestPortName(), {"--settle", "20", "receive", "--timeout", "5000"});
  ASSERT_NO_FATAL_FAILURE(OpenPort(station.link.string()));
  dlg.m_strData = CString("&A1,2&\r\n&B3,4&\r\n");
  dlg.OnUpload();
  // The window's thread runs its timers meanwhile, the status echo among them.
  EXPECT_TRUE(WaitFor([&] { return station.process->WaitForExit(0ms).has_value(); }, 10s));
  EXPECT_EQ(station.process->WaitForExit(0ms), 0) << station.process->Stderr();

  // Three requests: two lines and the closing line. The status timer carries them into the box.
  const std::string requests = Repeated(kWordStart, 3);
  EXPECT_EQ(dlg.GetStatus().Bytes(), requests);
  EXPECT_TRUE(WaitFor([&] { return StatusBytes() == requests; }, 5s)) << StatusBytes();
}

// ---- the test plays the instrument on a pseudo-terminal

class UploadOverPty : public UploadWindow {
 protected:
  void SetUp() override {
    UploadWindow::SetUp();
    ASSERT_TRUE(instrument.IsValid());
    ASSERT_NO_FATAL_FAILURE(OpenPort(instrument.SlavePath()));
  }

  void Upload(const char* text) {
    dlg.m_strData = CString(text);
    dlg.OnUpload();
  }

  // One line as the instrument receives it: up to and including its LF.
  std::string ReceiveLine() {
    std::string line;
    while (line.empty() || line.back() != '\n') {
      const std::string byte = instrument.Receive(1, 5s);
      if (byte.empty()) break;
      line += byte;
    }
    return line;
  }

  std::string Ask() {
    EXPECT_TRUE(instrument.Send(kWordStart));
    return ReceiveLine();
  }

  // Nothing arrives at the instrument for a few worker cycles.
  bool StaysQuiet() { return instrument.ReceiveAll(300ms).empty(); }

  PseudoTerminal instrument;
};

TEST_F(UploadOverPty, PortClosedAndOpenedAgainGoesOnWithTheNextLine) {
  Upload("a\r\nb\r\nc\r\n");
  EXPECT_EQ(Ask(), "a\r\n");
  dlg.OnClosePort();
  ASSERT_TRUE(instrument.Send(kWordStart));
  EXPECT_TRUE(StaysQuiet()) << "no port, no answer";
  EXPECT_TRUE(dlg.UploadRunning());

  dlg.OnOpenPort();
  ASSERT_EQ(dlg.m_bPortOpen, 1);
  EXPECT_EQ(ReceiveLine(), "b\r\n") << "the request made while closed waited in the device";
  EXPECT_EQ(Ask(), "c\r\n");
  EXPECT_EQ(Ask(), kClosingOnTheLine);
  EXPECT_TRUE(WaitUntil([&] { return !dlg.UploadRunning(); }, kWait));
}

TEST_F(UploadOverPty, StatusBoxFollowsEachRequest) {
  Upload("a\r\nb\r\n");
  std::string requests;
  for (const std::string& line : std::vector<std::string>{"a\r\n", "b\r\n", kClosingOnTheLine}) {
    EXPECT_EQ(Ask(), line);
    requests += kWordStart;
    EXPECT_TRUE(WaitFor([&] { return StatusBytes() == requests; }, 5s)) << StatusBytes();
  }
}

TEST_F(UploadOverPty, SecondUploadEndsTheFirstAndSendsFromItsFirstLine) {
  Upload("a\r\nb\r\n");
  EXPECT_EQ(Ask(), "a\r\n");
  EXPECT_EQ(dlg.GetStatus(), kWordStart);

  Upload("x\r\ny\r\n");
  EXPECT_TRUE(dlg.GetStatus().IsEmpty());
  ASSERT_EQ(dlg.GetUploadLines().GetSize(), 3);
  EXPECT_EQ(dlg.GetUploadLines()[0], "x\r");
  EXPECT_EQ(Ask(), "x\r\n");
  EXPECT_TRUE(StaysQuiet()) << "one worker answers, not two";
  EXPECT_EQ(Ask(), "y\r\n");
  EXPECT_EQ(Ask(), kClosingOnTheLine);
  EXPECT_EQ(dlg.GetStatus().Bytes(), Repeated(kWordStart, 3));
}

TEST_F(UploadOverPty, DownloadModeEndsARunningUploadAndReceptionTakesTheLine) {
  Upload("a\r\nb\r\n");
  EXPECT_EQ(Ask(), "a\r\n");
  ChooseDownloadMode();
  EXPECT_FALSE(dlg.UploadRunning());
  // What the instrument sends now is a download: it reaches the data text, not the status.
  ASSERT_TRUE(instrument.Send("$A1,2$\r\n"));
  ASSERT_TRUE(WaitUntil([&] { return dlg.m_hComm.BytesWaiting().value_or(0) > 0; }, kWait));
  dlg.OnTimer(CTransferDlg::kDownloadPollTimer);
  EXPECT_EQ(dlg.m_strData, "a\r\nb\r\n\r\nA1,2\r\n");  // appended to the upload text
  EXPECT_TRUE(StaysQuiet());
}

class CountingDlg : public CTransferDlg {
 public:
  using CTransferDlg::CTransferDlg;
  int polls = 0;
  void DownloadPoll() override { ++polls; }
};

TEST(UploadWorkerAndReception, ReceptionWaitsUntilTheWorkerHasEnded) {
  PseudoTerminal instrument;
  ASSERT_TRUE(instrument.IsValid());
  ScriptedPrompter prompter;
  CountingDlg dlg(prompter);
  FakeView view(dlg, prompter);
  view.Click(kIdUploadMode);
  dlg.AddPortEntry(instrument.SlavePath());
  dlg.m_cbPort.SetCurSel(dlg.m_cbPort.GetCount() - 1);
  dlg.OnOpenPort();
  ASSERT_EQ(dlg.m_bPortOpen, 1);
  view.Click(kIdDownloadMode);
  dlg.OnUpload();  // a worker running in download mode: the button is disabled there, the handler is not
  dlg.OnTimer(CTransferDlg::kDownloadPollTimer);
  EXPECT_EQ(dlg.polls, 0);

  ASSERT_TRUE(instrument.Send(kWordStart));
  ASSERT_TRUE(
      WaitUntil([&] { return !dlg.UploadRunning(); }, kWait));  // an empty text: the closing line only
  dlg.OnTimer(CTransferDlg::kDownloadPollTimer);
  EXPECT_EQ(dlg.polls, 1);
}

struct LeaveRow {
  const char* name;
  bool destroy;  // true: the window object goes away; false: the window is closed
};

class UploadLeaving : public testing::TestWithParam<LeaveRow> {};

TEST_P(UploadLeaving, EndsTheWorkerAndReleasesThePort) {
  PseudoTerminal instrument;
  ASSERT_TRUE(instrument.IsValid());
  auto window = std::make_unique<Window>();
  window->ChooseUploadMode();
  window->SelectPort(instrument.SlavePath());
  window->dlg.OnOpenPort();
  ASSERT_EQ(window->dlg.m_bPortOpen, 1);
  window->dlg.m_strData = CString("a\r\nb\r\n");
  window->dlg.OnUpload();
  ASSERT_TRUE(instrument.Send(kWordStart));
  ASSERT_EQ(instrument.Receive(3), "a\r\n");

  if (GetParam().destroy) {
    window.reset();
  } else {
    // Closing asks first while the upload runs; No keeps the window and the upload as they were.
    window->view.Close();
    ASSERT_EQ(window->prompter.messages.size(), 1u);
    EXPECT_EQ(window->prompter.messages[0].text, u"正在向全站仪上传数据，退出将中断上传。确定要退出吗？");
    EXPECT_FALSE(window->view.Ended());
    EXPECT_TRUE(window->dlg.UploadRunning());
    window->prompter.answers.push_back(Prompter::Answer::Yes);
    window->view.Close();
    EXPECT_TRUE(window->view.Ended());
    EXPECT_FALSE(window->dlg.UploadRunning());
    EXPECT_EQ(window->dlg.m_bPortOpen, 0);
  }
  ASSERT_TRUE(instrument.Send(kWordStart));
  EXPECT_TRUE(instrument.ReceiveAll(300ms).empty()) << "nobody answers any more";
  SerialPort probe;
  EXPECT_TRUE(probe.Open(instrument.SlavePath())) << "the port was released";
}

INSTANTIATE_TEST_SUITE_P(Window, UploadLeaving,
                         testing::Values(LeaveRow{"Closed", false}, LeaveRow{"Destroyed", true}),
                         testing_support::RowName());

// ---- the command without a port, and the status echo

TEST_F(UploadWindow, WithoutAnOpenPortOnlyTheMessageIsShown) {
  dlg.SetStatus(CString("Start"));
  dlg.SetUploadLines(testing_support::OneLine("old\r\n"));
  dlg.m_strData = CString("new\r\n");
  dlg.m_edData.SetBytes(CString("typed"));

  dlg.OnUpload();
  ASSERT_EQ(prompter.messages.size(), 1u);
  EXPECT_EQ(prompter.messages[0].text, std::u16string(messages::kPortNotOpen));
  EXPECT_EQ(prompter.messages[0].icon, Prompter::Icon::Exclamation);
  EXPECT_EQ(prompter.messages[0].buttons, Prompter::Buttons::Ok);
  EXPECT_FALSE(dlg.UploadRunning());
  EXPECT_EQ(dlg.GetStatus(), "Start");
  ASSERT_EQ(dlg.GetUploadLines().GetSize(), 1);
  EXPECT_EQ(dlg.GetUploadLines()[0], "old\r\n");
  EXPECT_EQ(DataBytes(), "typed") << "no exchange into the controls";
}

TEST_F(UploadWindow, EchoWritesTheBoxOnlyWhenTheStatusChanged) {
  dlg.SetStatus(CString("Start"));
  dlg.StatusEcho();
  EXPECT_EQ(StatusBytes(), "Start");

  dlg.m_edStatus.SetBytes(CString("elsewhere"));  // stands for a box that was not written again
  dlg.StatusEcho();
  EXPECT_EQ(StatusBytes(), "elsewhere");

  dlg.SetStatus(CString("StartSta"));
  dlg.m_nMode = 1;
  dlg.StatusEcho();
  EXPECT_EQ(StatusBytes(), "elsewhere") << "not in download mode";
  dlg.m_nMode = 0;
  dlg.StatusEcho();
  EXPECT_EQ(StatusBytes(), "StartSta");
}

TEST_F(UploadWindow, EchoShowsANewStatusEqualToTheOneBeforeTheBoxWasEmptied) {
  dlg.SetStatus(CString("Start"));
  dlg.StatusEcho();
  dlg.SetStatus(CString(""));
  dlg.UpdateData(false);  // as Upload does after emptying the status
  EXPECT_EQ(StatusBytes(), "");
  dlg.SetStatus(CString("Start"));  // the first request of the next upload
  dlg.StatusEcho();
  EXPECT_EQ(StatusBytes(), "Start");
}

TEST_F(UploadWindow, ExchangeIntoFieldsKeepsWhatArrivedSinceTheEchoUnlessTheBoxWasEdited) {
  dlg.SetStatus(CString("Start"));
  dlg.StatusEcho();
  dlg.SetStatus(CString("StartSta"));  // the worker added to it after the echo
  dlg.UpdateData(true);
  EXPECT_EQ(dlg.GetStatus(), "StartSta");

  TypeAtEnd(kIdStatus, u"!");
  dlg.UpdateData(true);
  EXPECT_EQ(dlg.GetStatus(), "Start!") << "the operator's edit is taken";
}

}  // namespace
}  // namespace kestrion

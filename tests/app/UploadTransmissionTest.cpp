// The Upload command of the main window: against the simulated station on its virtual port, and against a
// pseudo-terminal where the test plays the instrument; the status echo; the worker's end with the window.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QListWidget>
#include <QRadioButton>
#include <QTest>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ScriptedPrompter.h"
#include "WindowDriving.h"
#include "app/ControlExchange.h"
#include "app/DataBox.h"
#include "app/Messages.h"
#include "app/TransferDlg.h"
#include "common/PseudoTerminal.h"
#include "common/StationHarness.h"
#include "common/TestNames.h"
#include "serial/Framing.h"
#include "upload/UploadSource.h"

namespace kestrion {
namespace {

using testing_support::ChooseUploadMode;
using testing_support::SelectPort;

using namespace std::chrono_literals;
using testing_support::PseudoTerminal;
using testing_support::ScriptedPrompter;
using testing_support::WaitUntil;

constexpr std::chrono::milliseconds kWait = 10s;
const std::string kClosingOnTheLine = std::string(kWordUploadFinish) + "\r\r\n";

// The road buffers may be a fixed array or grow with the roads.
template <typename Buffers>
void MakeRoomFor(Buffers& buffers, std::size_t count) {
  if constexpr (requires { buffers.resize(count); }) buffers.resize(count);
}

// The road list and buffers as Browse leaves them after a road file, with road `selected` selected (-1:
// none).
void SetRoads(CTransferDlg& dlg, const std::vector<CString>& roads, int selected) {
  MakeRoomFor(dlg.m_strRoadData, roads.size());
  dlg.m_lbRoads->clear();
  for (std::size_t i = 0; i < roads.size(); ++i) {
    dlg.m_strRoadData[i] = roads[i];
    dlg.m_lbRoads->addItem(QStringLiteral("road %1").arg(i));
  }
  dlg.m_lbRoads->setCurrentRow(selected);
}

// As the operator chooses it: the radio, so that the next exchange into the fields keeps the mode.
CString StatusOf(CTransferDlg& dlg) {
  return dlg.GetStatus();
}

CString StatusBoxOf(const CTransferDlg& dlg) {
  return qobject_cast<DataBox*>(dlg.GetDlgItem(CTransferDlg::kIdStatus))->Bytes();
}

std::string Repeated(const std::string& text, int count) {
  std::string all;
  for (int i = 0; i < count; ++i) all += text;
  return all;
}

// The window in upload mode, as the operator has it before opening the port.
class UploadWindow : public testing::Test {
 protected:
  void SetUp() override { ChooseUploadMode(dlg); }

  // Picks `path` in the port list and clicks Open port.
  void OpenPort(const std::string& path) {
    SelectPort(dlg, path);
    dlg.OnOpenPort();
    ASSERT_EQ(dlg.m_bPortOpen, 1) << path;
  }

  ScriptedPrompter prompter;
  CTransferDlg dlg{prompter};
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
  EXPECT_TRUE(QTest::qWaitFor([&] { return station.process->WaitForExit(0ms).has_value(); }, 10000));
  EXPECT_EQ(station.process->WaitForExit(0ms), 0) << station.process->Stderr();

  // Three requests: two lines and the closing line. The status timer carries them into the box.
  const std::string requests = Repeated(kWordStart, 3);
  EXPECT_EQ(StatusOf(dlg).Bytes(), requests);
  EXPECT_TRUE(QTest::qWaitFor([&] { return StatusBoxOf(dlg).Bytes() == requests; }, 5000))
      << StatusBoxOf(dlg).Bytes();
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
    EXPECT_TRUE(QTest::qWaitFor([&] { return StatusBoxOf(dlg).Bytes() == requests; }, 5000))
        << StatusBoxOf(dlg).Bytes();
  }
}

TEST_F(UploadOverPty, SecondUploadEndsTheFirstAndSendsFromItsFirstLine) {
  Upload("a\r\nb\r\n");
  EXPECT_EQ(Ask(), "a\r\n");
  EXPECT_EQ(StatusOf(dlg), kWordStart);

  Upload("x\r\ny\r\n");
  EXPECT_TRUE(StatusOf(dlg).IsEmpty());
  ASSERT_EQ(dlg.GetUploadLines().GetSize(), 3);
  EXPECT_EQ(dlg.GetUploadLines()[0], "x\r");
  EXPECT_EQ(Ask(), "x\r\n");
  EXPECT_TRUE(StaysQuiet()) << "one worker answers, not two";
  EXPECT_EQ(Ask(), "y\r\n");
  EXPECT_EQ(Ask(), kClosingOnTheLine);
  EXPECT_EQ(StatusOf(dlg).Bytes(), Repeated(kWordStart, 3));
}

TEST_F(UploadOverPty, DownloadModeEndsARunningUploadAndReceptionTakesTheLine) {
  Upload("a\r\nb\r\n");
  EXPECT_EQ(Ask(), "a\r\n");
  qobject_cast<QRadioButton*>(dlg.GetDlgItem(CTransferDlg::kIdDownloadMode))->click();
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
  ChooseUploadMode(dlg);
  SelectPort(dlg, instrument.SlavePath());
  dlg.OnOpenPort();
  ASSERT_EQ(dlg.m_bPortOpen, 1);
  qobject_cast<QRadioButton*>(dlg.GetDlgItem(CTransferDlg::kIdDownloadMode))->click();
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
  ScriptedPrompter prompter;
  auto dlg = std::make_unique<CTransferDlg>(prompter);
  dlg->show();
  ChooseUploadMode(*dlg);
  SelectPort(*dlg, instrument.SlavePath());
  dlg->OnOpenPort();
  ASSERT_EQ(dlg->m_bPortOpen, 1);
  dlg->m_strData = CString("a\r\nb\r\n");
  dlg->OnUpload();
  ASSERT_TRUE(instrument.Send(kWordStart));
  ASSERT_EQ(instrument.Receive(3), "a\r\n");

  if (GetParam().destroy) {
    dlg.reset();
  } else {
    dlg->close();
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_FALSE(dlg->UploadRunning());
    EXPECT_EQ(dlg->m_bPortOpen, 0);
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
  qobject_cast<DataBox*>(dlg.GetDlgItem(CTransferDlg::kIdData))->SetBytes(CString("typed"));

  dlg.OnUpload();
  ASSERT_EQ(prompter.messages.size(), 1u);
  EXPECT_EQ(prompter.messages[0].text, messages::kPortNotOpen.toString());
  EXPECT_EQ(prompter.messages[0].icon, Prompter::Icon::Exclamation);
  EXPECT_EQ(prompter.messages[0].buttons, Prompter::Buttons::Ok);
  EXPECT_FALSE(dlg.UploadRunning());
  EXPECT_EQ(StatusOf(dlg), "Start");
  ASSERT_EQ(dlg.GetUploadLines().GetSize(), 1);
  EXPECT_EQ(dlg.GetUploadLines()[0], "old\r\n");
  EXPECT_EQ(qobject_cast<DataBox*>(dlg.GetDlgItem(CTransferDlg::kIdData))->Bytes(), "typed")
      << "no exchange into the controls";
}

void SetStatus(CTransferDlg& dlg, const char* status) {
  dlg.SetStatus(CString(status));
}

TEST_F(UploadWindow, EchoWritesTheBoxOnlyWhenTheStatusChanged) {
  DataBox& box = *qobject_cast<DataBox*>(dlg.GetDlgItem(CTransferDlg::kIdStatus));
  SetStatus(dlg, "Start");
  dlg.StatusEcho();
  EXPECT_EQ(box.Bytes(), "Start");

  box.SetBytes(CString("elsewhere"));  // stands for a box that was not written again
  dlg.StatusEcho();
  EXPECT_EQ(box.Bytes(), "elsewhere");

  SetStatus(dlg, "StartSta");
  dlg.m_nMode = 1;
  dlg.StatusEcho();
  EXPECT_EQ(box.Bytes(), "elsewhere") << "not in download mode";
  dlg.m_nMode = 0;
  dlg.StatusEcho();
  EXPECT_EQ(box.Bytes(), "StartSta");
}

TEST_F(UploadWindow, EchoShowsANewStatusEqualToTheOneBeforeTheBoxWasEmptied) {
  DataBox& box = *qobject_cast<DataBox*>(dlg.GetDlgItem(CTransferDlg::kIdStatus));
  SetStatus(dlg, "Start");
  dlg.StatusEcho();
  SetStatus(dlg, "");
  dlg.UpdateData(false);  // as Upload does after emptying the status
  EXPECT_EQ(box.Bytes(), "");
  SetStatus(dlg, "Start");  // the first request of the next upload
  dlg.StatusEcho();
  EXPECT_EQ(box.Bytes(), "Start");
}

TEST_F(UploadWindow, ExchangeIntoFieldsKeepsWhatArrivedSinceTheEchoUnlessTheBoxWasEdited) {
  DataBox& box = *qobject_cast<DataBox*>(dlg.GetDlgItem(CTransferDlg::kIdStatus));
  SetStatus(dlg, "Start");
  dlg.StatusEcho();
  SetStatus(dlg, "StartSta");  // the worker added to it after the echo
  dlg.UpdateData(true);
  EXPECT_EQ(StatusOf(dlg), "StartSta");

  box.moveCursor(QTextCursor::End);
  QTest::keyClicks(&box, QStringLiteral("!"));
  dlg.UpdateData(true);
  EXPECT_EQ(StatusOf(dlg), "Start!") << "the operator's edit is taken";
}

}  // namespace
}  // namespace kestrion

// Downloads from the simulated station, end to end: the station sends over a pseudo-terminal at its own pace,
// the window polls on its real timer, and Output writes the file.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "WindowDriving.h"
#include "app/ControlTable.h"
#include "app/Messages.h"
#include "app/TransferDlg.h"
#include "common/ScratchDir.h"
#include "common/StationHarness.h"
#include "common/TestNames.h"

namespace kestrion {
namespace {

using namespace std::chrono_literals;
using testing_support::NonEmptyLines;
using testing_support::ReadFileBytes;
using testing_support::RunningStation;
using testing_support::ScopedRuntimeDir;
using testing_support::ScratchDir;
using testing_support::StartStation;
using testing_support::TestPortName;
using testing_support::WaitUntil;
using testing_support::Window;

constexpr int kBaudIndex38400 = 3;
constexpr std::chrono::milliseconds kStationWait = 10s;

// Opens the station's port at 38400 baud, as the operator picks it in the lists.
void OpenStationPort(Window& window, const RunningStation& station) {
  window.SelectPort(station.link.string());
  window.dlg.m_cbBaud.SetCurSel(kBaudIndex38400);
  window.Click(kIdOpenPort);
}

std::string RecordsFile(const std::vector<std::string>& records) {
  std::string file;
  for (const std::string& record : records) file += record + "\r\n";
  return file;
}

// The test's own folder for the station's virtual ports, made before the window lists the ports, and a folder
// for its files.
struct Folders {
  ScopedRuntimeDir runtime;
  ScratchDir dir;
};

struct StreamRow {
  const char* name;
  int records;
  int zeroBytes;
};

class StationDownload : public testing::TestWithParam<StreamRow>, protected Folders, protected Window {};

// How the reads split the stream is up to the timing, and a line end that a read brings without a marker
// stays as an extra line end; so the text is checked by its lines, and by its two ends.
TEST_P(StationDownload, EveryRecordOnALineOfItsOwnAndOneReport) {
  std::vector<std::string> records;
  for (int i = 1; i <= GetParam().records; ++i) records.push_back("P" + std::to_string(i));
  const std::filesystem::path file = dir.Write("records.txt", RecordsFile(records));

  std::vector<std::string> args = {"--baud", "38400", "--wait-open", "--settle",
                                   "20",     "send",  "--marker",    "$"};
  if (GetParam().zeroBytes > 0)
    args.insert(args.end(), {"--zero-bytes", std::to_string(GetParam().zeroBytes)});
  args.push_back(file.string());
  RunningStation station = StartStation(TestPortName(), args);
  OpenStationPort(*this, station);
  ASSERT_EQ(dlg.m_bPortOpen, 1);

  // About 11 bits a byte at 38400 baud: some 3,500 bytes a second.
  ASSERT_TRUE(WaitFor([&] { return !prompter.messages.empty(); }, 60s)) << station.process->Stderr();
  Wait(300ms);  // a second report would come with the next ticks

  ASSERT_EQ(prompter.messages.size(), 1u);
  EXPECT_EQ(prompter.messages[0].text, std::u16string(messages::kDownloadComplete));
  EXPECT_EQ(prompter.messages[0].icon, Prompter::Icon::Information);
  const std::string& data = dlg.m_strData.Bytes();
  EXPECT_EQ(NonEmptyLines(data), records);  // none lost, none split, none joined
  EXPECT_EQ(data.substr(0, 2), "\r\n");
  const std::string last = "\n" + records.back() + "\r\n";  // the end word gone, one line end left
  ASSERT_GT(data.size(), last.size());
  EXPECT_EQ(data.substr(data.size() - last.size()), last);
  EXPECT_EQ(DataBytes(), data);
  EXPECT_EQ(dlg.m_strLastMarker, "$");

  Click(kIdClosePort);  // ends the station's linger
  EXPECT_EQ(station.process->WaitForExit(kStationWait), 0) << station.process->Stderr();
}

INSTANTIATE_TEST_SUITE_P(Rows, StationDownload,
                         testing::Values(StreamRow{"FiveThousandRecords", 5000, 0},
                                         StreamRow{"ZeroBytesAmongTwoThousandRecords", 2000, 40}),
                         testing_support::RowName());

struct OutputRow {
  const char* name;
  const char* marker;
  std::vector<std::string> records;
  const char* extension;
  std::string file;
};

class StationOutput : public testing::TestWithParam<OutputRow>, protected Folders, protected Window {};

// The records come framed on both sides, so reception leaves an empty line between them, which each layout
// treats in its own way.
TEST_P(StationOutput, WritesTheFileOfTheRecordType) {
  const OutputRow& row = GetParam();
  std::string stream;
  for (const std::string& record : row.records) stream += row.marker + record + row.marker + "\r\n";
  stream += "Download Finish\r\n";
  ASSERT_LE(stream.size(), 254u);

  const std::filesystem::path records = dir.Write("records.txt", RecordsFile(row.records));
  RunningStation station = StartStation(TestPortName(), {"--baud", "38400", "--wait-open", "--settle", "20",
                                                         "send", "--marker", row.marker, records.string()});
  OpenStationPort(*this, station);
  // The whole stream is let in before the one tick, so that it comes as one read, whatever the timing.
  ASSERT_TRUE(WaitUntil([&] { return dlg.m_hComm.BytesWaiting() == stream.size(); }, kStationWait))
      << station.process->Stderr();
  dlg.OnTimer(CTransferDlg::kDownloadPollTimer);
  ASSERT_EQ(prompter.messages.size(), 1u);

  AnswerChooser(dir.Path() / "survey.txt");
  Click(kIdOutput);
  const std::filesystem::path written = dir.Path() / (std::string("survey") + row.extension);
  EXPECT_EQ(ReadFileBytes(written), row.file);
  EXPECT_EQ(dlg.m_strOutputPath.Bytes(), written.native());
  ASSERT_EQ(prompter.messages.size(), 2u);
  EXPECT_EQ(prompter.messages[1].text, std::u16string(messages::kDataOutput));
  EXPECT_EQ(prompter.messages[1].icon, Prompter::Icon::Information);
  EXPECT_FALSE(dlg.HasUnsavedDownload());

  Click(kIdClosePort);
  EXPECT_EQ(station.process->WaitForExit(kStationWait), 0) << station.process->Stderr();
}

const std::vector<std::string> kPoints = {"P1,10.0,20.0", "P2,11.0,21.0"};
const std::vector<std::string> kRoadRecords = {"A1,2", "B3,4"};
const std::string kRoadFile = "BeginRoad,1\r\n>>Default,3\r\nA1,2\r\n\r\nB3,4\r\nEndRoad\r\n";

INSTANTIATE_TEST_SUITE_P(
    Rows, StationOutput,
    testing::Values(
        OutputRow{"PointsWithAmpersand", "&", kPoints, ".CPT", "P1,10.0,20.0\r\n\r\nP2,11.0,21.0\r\n"},
        OutputRow{"RoadWithDollar", "$", kRoadRecords, ".HLN", kRoadFile},
        OutputRow{"RoadWithAt", "@", kRoadRecords, ".VLN", kRoadFile},
        OutputRow{"TlnWithCaret",
                  "^",
                  {"R1,A,1", "R1,B,2", "R2,K,3", "X", "R1,D,4"},
                  ".TLN",
                  ">>R1,2\r\nA,1\r\nB,2\r\n>>R2,1\r\nK,3\r\n>>R1,1\r\nD,4\r\n"},
        OutputRow{"ObsWithHash",
                  "#",
                  {"1,S1,1.5,x,a1,b1,c1,d1,e1", "2,S1,1.6,x,a2,b2,c2,d2,e2", "3,S2,1.7,x,a3,b3,c3,d3,e3",
                   "4,S1,1.8,x,a4,b4,c4,d4,e4"},
                  ".OBS",
                  ">>S1,1.5\r\n1,a1,b1,c1,d1,e1\r\n2,a2,b2,c2,d2,e2\r\n4,a4,b4,c4,d4,e4\r\n>>S2,1.7\r\n"
                  "3,a3,b3,c3,d3,e3\r\n"},
        OutputRow{"TextWithParenthesis", "(", kPoints, ".TXT", "P1,10.0,20.0\r\n\r\nP2,11.0,21.0\r\n"}),
    testing_support::RowName());

}  // namespace
}  // namespace kestrion

// Kestrion under faults: a device that vanishes in the middle of a transfer, noise on the line, odd files for
// Browse, the window closed while the instrument still sends. Nothing may crash, hang or spin, and no byte
// that arrived may be lost or altered.
#include <gtest/gtest.h>
#include <signal.h>
#include <time.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "WindowDriving.h"
#include "app/ControlTable.h"
#include "app/Messages.h"
#include "app/TransferDlg.h"
#include "common/PseudoTerminal.h"
#include "common/ScratchDir.h"
#include "common/StationHarness.h"
#include "common/TestNames.h"
#include "download/Reception.h"
#include "reference/NaiveReception.h"
#include "serial/Framing.h"

namespace kestrion {
namespace {

using namespace std::chrono_literals;
using testing_support::FakeView;
using testing_support::NonEmptyLines;
using testing_support::PseudoTerminal;
using testing_support::ReadFileBytes;
using testing_support::RunningStation;
using testing_support::ScopedRuntimeDir;
using testing_support::ScratchDir;
using testing_support::ScriptedPrompter;
using testing_support::StartStation;
using testing_support::TestPortName;
using testing_support::WaitUntil;

constexpr std::chrono::milliseconds kWait = 10s;
constexpr int kBaudIndex38400 = 3;
const std::string kClosingOnTheLine = std::string(kWordUploadFinish) + "\r\r\n";

// ---- the window, with a timer that tells whether its thread gets round to its timers

// The main window with one more timer, of 10 ms, that only counts its ticks.
class TickCountingDlg : public CTransferDlg {
 public:
  static constexpr int kTickTimer = 900;

  using CTransferDlg::CTransferDlg;
  void OnTimer(int id) override {
    if (id == kTickTimer) {
      ++ticks;
      return;
    }
    CTransferDlg::OnTimer(id);
  }

  int ticks = 0;
};

// The window as the operator drives it; the stand-in window runs its timers on the test's thread, which is
// the window's thread.
struct FaultWindow {
  void Click(int id) { view.Click(id); }
  void ChooseUploadMode() { view.Click(kIdUploadMode); }
  void SelectPort(const std::string& portName) {
    dlg.AddPortEntry(portName);
    dlg.m_cbPort.SetCurSel(dlg.m_cbPort.GetCount() - 1);
  }
  void AnswerChooser(const std::filesystem::path& path) { prompter.chosenFiles.emplace_back(path); }
  bool Enabled(int id) const { return view.Item(id).enabled; }
  bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    return view.PumpUntil(done, limit);
  }
  void Wait(std::chrono::milliseconds span) { view.Pump(span); }

  ScriptedPrompter prompter;
  TickCountingDlg dlg{prompter};
  FakeView view{dlg, prompter};
};

// The test's own folder for the station's virtual ports, made before the window lists the ports, and a folder
// for its files.
struct Folders {
  ScopedRuntimeDir runtime;
  ScratchDir dir;
};

// ---- measures and checks shared by the cases

double ProcessCpuSeconds() {
  timespec t{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

struct IdleMeasure {
  double cpuShare = 0;  // of one core, by the whole process
  int ticks = 0;        // of a 10 ms timer on the window's thread
};

// Runs the window's thread for `span` with nothing to do but the window's own timers.
IdleMeasure MeasureIdle(FaultWindow& window, std::chrono::milliseconds span) {
  window.dlg.SetTimer(TickCountingDlg::kTickTimer, 10ms);
  const int ticksBefore = window.dlg.ticks;
  const auto wallStart = std::chrono::steady_clock::now();
  const double cpuStart = ProcessCpuSeconds();
  window.Wait(span);
  const double cpu = ProcessCpuSeconds() - cpuStart;
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
  window.dlg.KillTimer(TickCountingDlg::kTickTimer);
  return {cpu / wall, window.dlg.ticks - ticksBefore};
}

// Loose bounds, so that they hold in the sanitizer builds as well: a spinning thread takes a whole core, and
// a blocked window thread gets no ticks at all.
void ExpectQuietAndResponsive(const IdleMeasure& measure) {
  EXPECT_LT(measure.cpuShare, 0.30) << "the process keeps a core busy with nothing to do";
  EXPECT_GE(measure.ticks, 20) << "the window's thread does not get round to its timers";
}

// Where two long byte strings part, for a readable failure.
std::string Difference(const std::string& actual, const std::string& expected) {
  std::size_t at = 0;
  while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) ++at;
  if (at == actual.size() && at == expected.size()) return {};
  return "sizes " + std::to_string(actual.size()) + " and " + std::to_string(expected.size()) +
         ", first difference at byte " + std::to_string(at);
}

#define EXPECT_SAME_BYTES(actual, expected) EXPECT_EQ(Difference((actual), (expected)), "")

// The data box hands back the data text, and what the window itself shows encodes back to the same bytes.
void ExpectBoxShows(const CTransferDlg& dlg, const std::string& data) {
  EXPECT_SAME_BYTES(dlg.m_edData.Bytes().Bytes(), data);
  EXPECT_SAME_BYTES(dlg.Codec().Encode(dlg.View().GetText(kIdData)), data);
}

// What the rules make of `stream` when the window reads it in full reads of at most 254 bytes, each with its
// zero bytes dropped, after the data text `data` and the marker `lastMarker`.
void ApplyTheRules(std::string_view stream, CString& data, CString& lastMarker) {
  NaiveReception reference;
  for (std::size_t at = 0; at < stream.size(); at += kMaxReadBytes) {
    std::string chunk(stream.substr(at, kMaxReadBytes));
    std::erase(chunk, '\0');
    reference.Step(data, lastMarker, CString(chunk));
  }
}

// Random bytes drawn from `alphabet`, the same for every run.
std::string RandomBytes(std::size_t count, const std::string& alphabet, unsigned seed) {
  std::mt19937 generator(seed);
  std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
  std::string bytes(count, '\0');
  for (char& c : bytes) c = alphabet[pick(generator)];
  return bytes;
}

std::string ByteRange(int first, int last) {
  std::string bytes;
  for (int b = first; b <= last; ++b) bytes += static_cast<char>(b);
  return bytes;
}

std::string RecordLines(int count, const std::string& prefix) {
  std::string lines;
  for (int i = 1; i <= count; ++i) lines += prefix + std::to_string(i) + ",10.0,20.0\r\n";
  return lines;
}

// Picks `portName` in the list and clicks Open port, at 38400 baud as the station tests run.
void OpenPort(FaultWindow& window, const std::string& portName) {
  window.SelectPort(portName);
  window.dlg.m_cbBaud.SetCurSel(kBaudIndex38400);
  window.Click(kIdOpenPort);
}

// Close port as the operator clicks it, and what the window shows afterwards.
void ClosePortAndExpectItReleased(FaultWindow& window) {
  window.Click(kIdClosePort);
  EXPECT_EQ(window.dlg.m_bPortOpen, 0);
  EXPECT_FALSE(window.dlg.m_hComm.IsOpen());
  EXPECT_TRUE(window.Enabled(kIdOpenPort));
  EXPECT_FALSE(window.Enabled(kIdClosePort));
}

bool DeviceGone(const CTransferDlg& dlg) {
  return !dlg.m_hComm.BytesWaiting().has_value();
}

// Starts a station on the port name that a killed one left behind. The dead station's link goes first, so
// that the start waits for the new one (the new pseudo-terminal may well get the same path).
RunningStation RestartStation(const std::string& name, std::vector<std::string> args) {
  std::error_code ignored;
  std::filesystem::remove(testing_support::LinkPathFor(name), ignored);
  return StartStation(name, std::move(args));
}

// ---- the device vanishes in the middle of a download

enum class Vanish { PseudoTerminalClosed, StationKilled };

struct DownloadGoneRow {
  const char* name;
  Vanish how;
};

class DownloadDeviceGone : public testing::TestWithParam<DownloadGoneRow>,
                           protected Folders,
                           protected FaultWindow {};

TEST_P(DownloadDeviceGone, KeepsTheTextStaysQuietAndAnotherPortWorks) {
  CString expected;
  if (GetParam().how == Vanish::PseudoTerminalClosed) {
    // Bytes that reached the port before the device went are still read: the record cut in the middle too.
    PseudoTerminal instrument;
    ASSERT_TRUE(instrument.IsValid());
    OpenPort(*this, instrument.SlavePath());
    ASSERT_EQ(dlg.m_bPortOpen, 1);
    const std::string stream = "$A1,2$\r\n$B3,4$\r\n$C5,";
    ASSERT_TRUE(instrument.Send(stream));
    ASSERT_TRUE(WaitUntil([&] { return dlg.m_hComm.BytesWaiting() == stream.size(); }, kWait));
    instrument.CloseMaster();
    CString marker;
    ApplyTheRules(stream, expected, marker);
    ASSERT_TRUE(WaitFor([&] { return DeviceGone(dlg); }, 5s));
  } else {
    // The station dies in the middle of its records; what the kernel had not handed on yet goes with it.
    const std::filesystem::path records = dir.Write("records.txt", RecordLines(3000, "P"));
    RunningStation station = StartStation(TestPortName(), {"--baud", "38400", "--wait-open", "--settle", "20",
                                                           "send", "--marker", "$", records.string()});
    OpenPort(*this, station.link.string());
    ASSERT_EQ(dlg.m_bPortOpen, 1);
    ASSERT_TRUE(WaitFor([&] { return NonEmptyLines(dlg.m_strData.Bytes()).size() >= 20; }, 10s))
        << station.process->Stderr();
    station.process->Signal(SIGKILL);
    ASSERT_TRUE(station.process->WaitForExit(kWait).has_value());
    ASSERT_TRUE(WaitFor([&] { return DeviceGone(dlg); }, 5s));
    Wait(100ms);  // a last poll of what the port had taken in
    expected = dlg.m_strData;
    // Every record that came is whole and in order; only the last may be cut.
    const std::vector<std::string> lines = NonEmptyLines(expected.Bytes());
    ASSERT_FALSE(lines.empty());
    for (std::size_t i = 0; i + 1 < lines.size(); ++i)
      ASSERT_EQ(lines[i], "P" + std::to_string(i + 1) + ",10.0,20.0") << i;
    const std::string last = "P" + std::to_string(lines.size()) + ",10.0,20.0";
    EXPECT_TRUE(last.starts_with(lines.back())) << lines.back();
  }

  // Within a tick of the status line the window shows the port closed, and why.
  EXPECT_TRUE(WaitFor([&] { return dlg.m_bPortOpen == 0; }, 2s));
  EXPECT_TRUE(Enabled(kIdOpenPort));
  EXPECT_FALSE(Enabled(kIdClosePort));
  EXPECT_EQ(view.Item(kIdStatusLine).text, u"⚠ 通讯端口已断开：请插好电缆或 USB 转换器，再打开端口");

  const IdleMeasure idle = MeasureIdle(*this, 1s);
  ExpectQuietAndResponsive(idle);
  EXPECT_EQ(dlg.m_strData, expected) << "nothing lost, nothing added";
  ExpectBoxShows(dlg, expected.Bytes());
  EXPECT_TRUE(prompter.messages.empty());

  ClosePortAndExpectItReleased(*this);

  // The device back, or another one: the download goes on into the same data text.
  const std::string last = "D7,8";
  if (GetParam().how == Vanish::PseudoTerminalClosed) {
    PseudoTerminal next;
    ASSERT_TRUE(next.IsValid());
    OpenPort(*this, next.SlavePath());
    ASSERT_EQ(dlg.m_bPortOpen, 1);
    const std::string stream = "$" + last + "$\r\nDownload Finish\r\n";
    ASSERT_TRUE(next.Send(stream));
    ASSERT_TRUE(WaitUntil([&] { return dlg.m_hComm.BytesWaiting() == stream.size(); }, kWait));
    ASSERT_TRUE(WaitFor([&] { return !prompter.messages.empty(); }, 5s));
    CString marker;
    ApplyTheRules(stream, expected, marker);
  } else {
    // The station started again under its name, and Open port on the port still selected.
    const std::filesystem::path records = dir.Write("last.txt", last + "\r\n");
    RunningStation station = RestartStation(
        TestPortName(),
        {"--baud", "38400", "--wait-open", "--settle", "20", "send", "--marker", "$", records.string()});
    Click(kIdOpenPort);
    ASSERT_EQ(dlg.m_bPortOpen, 1);
    ASSERT_TRUE(WaitFor([&] { return !prompter.messages.empty(); }, 5s)) << station.process->Stderr();
    // However the reads cut it, the record gets a line of its own and the end word leaves one line end.
    expected += "\r\n" + last + "\r\n";
    ClosePortAndExpectItReleased(*this);
  }
  ASSERT_EQ(prompter.messages.size(), 1u);
  EXPECT_EQ(prompter.messages[0].text, std::u16string(messages::kDownloadComplete));
  EXPECT_EQ(dlg.m_strData, expected);
  EXPECT_TRUE(dlg.m_strData.Bytes().ends_with("\r\n" + last + "\r\n"));
  ExpectBoxShows(dlg, expected.Bytes());
}

INSTANTIATE_TEST_SUITE_P(Rows, DownloadDeviceGone,
                         testing::Values(DownloadGoneRow{"PseudoTerminalClosed",
                                                         Vanish::PseudoTerminalClosed},
                                         DownloadGoneRow{"StationKilled", Vanish::StationKilled}),
                         testing_support::RowName());

// ---- the device vanishes in the middle of an upload

enum class UploadVanish { BetweenLines, DuringAWrite, StationKilled };

struct UploadGoneRow {
  const char* name;
  UploadVanish how;
};

class UploadDeviceGone : public testing::TestWithParam<UploadGoneRow>,
                         protected Folders,
                         protected FaultWindow {
 protected:
  void SetUp() override { ChooseUploadMode(); }
};

TEST_P(UploadDeviceGone, WorkerWaitsQuietlyAndANewUploadCompletes) {
  const std::string name = TestPortName();
  const std::string out = (runtime.Path() / "received.txt").string();
  if (GetParam().how == UploadVanish::StationKilled) {
    // The station takes one line, then stops asking; it dies while the worker waits for its next request.
    RunningStation station = StartStation(
        name, {"--settle", "20", "receive", "--out", out, "--stall-after", "1", "--stall-wait", "30000"});
    OpenPort(*this, station.link.string());
    ASSERT_EQ(dlg.m_bPortOpen, 1);
    dlg.m_strData = CString("a\r\nb\r\nc\r\n");
    Click(kIdUpload);
    ASSERT_TRUE(WaitUntil([&] { return ReadFileBytes(out) == "a\r\n"; }, kWait)) << station.process->Stderr();
    station.process->Signal(SIGKILL);
    ASSERT_TRUE(station.process->WaitForExit(kWait).has_value());
  } else {
    PseudoTerminal instrument;
    ASSERT_TRUE(instrument.IsValid());
    OpenPort(*this, instrument.SlavePath());
    ASSERT_EQ(dlg.m_bPortOpen, 1);
    dlg.m_strData = CString("a\r\nb\r\nc\r\n");
    Click(kIdUpload);
    ASSERT_TRUE(instrument.Send(kWordStart));
    EXPECT_EQ(instrument.Receive(3), "a\r\n");
    if (GetParam().how == UploadVanish::DuringAWrite) {
      // The instrument holds the line, so the worker's next write waits for room when the device goes.
      ASSERT_TRUE(instrument.SuspendOutput());
      ASSERT_TRUE(instrument.Send(kWordStart));
      Wait(200ms);
    }
    instrument.CloseMaster();
  }
  ASSERT_TRUE(WaitFor([&] { return DeviceGone(dlg); }, 5s));

  const IdleMeasure idle = MeasureIdle(*this, 1s);
  ExpectQuietAndResponsive(idle);
  // As with a port that was closed, the worker waits for a device; nothing is shown.
  EXPECT_TRUE(dlg.UploadRunning());
  EXPECT_TRUE(prompter.messages.empty());
  EXPECT_EQ(dlg.GetStatus().Bytes().substr(0, 5), kWordStart);
  ClosePortAndExpectItReleased(*this);

  // A station on the same name, as a device plugged in again; its settling keeps its first request until
  // the new Upload has taken over from the waiting worker.
  RunningStation station =
      RestartStation(name, {"--settle", "200", "receive", "--out", out, "--timeout", "5000"});
  OpenPort(*this, station.link.string());
  ASSERT_EQ(dlg.m_bPortOpen, 1);
  dlg.m_strData = CString("x\r\ny\r\n");
  Click(kIdUpload);
  EXPECT_EQ(station.process->WaitForExit(kWait), 0) << station.process->Stderr();
  EXPECT_EQ(ReadFileBytes(out), "x\r\ny\r\n" + kClosingOnTheLine);
  EXPECT_TRUE(WaitUntil([&] { return !dlg.UploadRunning(); }, kWait));
}

INSTANTIATE_TEST_SUITE_P(Rows, UploadDeviceGone,
                         testing::Values(UploadGoneRow{"BetweenLines", UploadVanish::BetweenLines},
                                         UploadGoneRow{"DuringAWrite", UploadVanish::DuringAWrite},
                                         UploadGoneRow{"StationKilled", UploadVanish::StationKilled}),
                         testing_support::RowName());

// ---- a stop reaches a worker whose write waits on a stalled line

enum class StopBy { NewUpload, DownloadMode, ClosePort, WindowClosed };

struct StalledStopRow {
  const char* name;
  StopBy how;
};

class StalledUploadStopped : public testing::TestWithParam<StalledStopRow>, protected FaultWindow {};

// Nobody reads the instrument's end, so a line longer than the terminal's buffer holds the worker in its
// write. Each way of ending the upload gets the window back at once instead of after the write's allowance of
// 50 ms a byte; the figure is printed for the record.
TEST_P(StalledUploadStopped, WithinAFractionOfASecond) {
  PseudoTerminal instrument;
  ASSERT_TRUE(instrument.IsValid());
  ChooseUploadMode();
  OpenPort(*this, instrument.SlavePath());
  ASSERT_EQ(dlg.m_bPortOpen, 1);
  dlg.m_strData = CString(std::string(256 * 1024, 'P') + "\r\n");
  Click(kIdUpload);
  ASSERT_TRUE(instrument.Send(kWordStart));
  Wait(300ms);
  ASSERT_TRUE(dlg.UploadRunning());

  const auto before = std::chrono::steady_clock::now();
  switch (GetParam().how) {
    case StopBy::NewUpload:
      Click(kIdUpload);
      break;
    case StopBy::DownloadMode:
      Click(kIdDownloadMode);
      break;
    case StopBy::ClosePort:
      Click(kIdClosePort);
      break;
    case StopBy::WindowClosed:
      // The close box: the operator is asked whether to cut the upload off, and says yes.
      prompter.answers.push_back(Prompter::Answer::Yes);
      view.Close();
      break;
  }
  const auto took =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - before);
  std::cout << GetParam().name << " ended a worker held in a write in " << took.count() << " ms\n";
  EXPECT_LT(took, 1s);
  if (GetParam().how == StopBy::ClosePort) {
    // Close port leaves the worker waiting for a port, as it does between lines.
    EXPECT_TRUE(WaitUntil([&] { return !dlg.m_hComm.IsOpen(); }, 1s));
  } else if (GetParam().how != StopBy::NewUpload) {
    EXPECT_FALSE(dlg.UploadRunning());
  }
  if (GetParam().how == StopBy::WindowClosed) {
    EXPECT_TRUE(view.Ended());
    EXPECT_EQ(view.Result(), kIdCancel);
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].text, u"正在向全站仪上传数据，退出将中断上传。确定要退出吗？");
  }
}

INSTANTIATE_TEST_SUITE_P(Rows, StalledUploadStopped,
                         testing::Values(StalledStopRow{"NewUpload", StopBy::NewUpload},
                                         StalledStopRow{"DownloadMode", StopBy::DownloadMode},
                                         StalledStopRow{"ClosePort", StopBy::ClosePort},
                                         StalledStopRow{"WindowClosed", StopBy::WindowClosed}),
                         testing_support::RowName());

// ---- noise on the line during a download

struct NoiseRow {
  const char* name;
  std::string alphabet;
};

class DownloadNoise : public testing::TestWithParam<NoiseRow>, protected FaultWindow {};

// The test lets every byte in before the polls run, so that each poll reads a full 254 bytes and the result
// can be compared with the rules applied to the same reads.
TEST_P(DownloadNoise, EveryByteIsTakenByTheRulesAndShown) {
  const std::string stream = RandomBytes(6000, GetParam().alphabet, 20240611);
  PseudoTerminal instrument;
  ASSERT_TRUE(instrument.IsValid());
  OpenPort(*this, instrument.SlavePath());
  ASSERT_EQ(dlg.m_bPortOpen, 1);
  ASSERT_TRUE(instrument.Send(stream));
  ASSERT_TRUE(WaitUntil([&] { return dlg.m_hComm.BytesWaiting() == stream.size(); }, kWait));
  while (dlg.m_hComm.BytesWaiting().value_or(0) > 0) dlg.OnTimer(CTransferDlg::kDownloadPollTimer);

  CString expected;
  CString expectedMarker;
  ApplyTheRules(stream, expected, expectedMarker);
  EXPECT_SAME_BYTES(dlg.m_strData.Bytes(), expected.Bytes());
  EXPECT_EQ(dlg.m_strLastMarker, expectedMarker);
  ExpectBoxShows(dlg, expected.Bytes());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DownloadNoise,
    testing::Values(
        NoiseRow{"EveryByteValue", ByteRange(0x00, 0xFF)},
        // Lead bytes before the markers that are also trail bytes, line ends cut from their pairs.
        NoiseRow{"LeadBytesAmongMarkers", ByteRange(0x81, 0xFE) + std::string("@^$&\r\n\r\n\0\0", 10)},
        NoiseRow{"HighBytesOnly", ByteRange(0x80, 0xFF)}),
    testing_support::RowName());

// The station's pace and the real poll timer: bytes above 0x7F that make no characters, and zero bytes among
// them. Without markers or line ends no read changes anything, so the text is the stream less its zero bytes.
TEST(DownloadNoiseFromStation, HighBytesAndZeroBytesArriveInOrder) {
  ScopedRuntimeDir runtime;
  ScratchDir dir;
  const std::string bytes = RandomBytes(3000, ByteRange(0x80, 0xFF), 7);
  const std::filesystem::path file = dir.Write("noise.bin", bytes);
  RunningStation station =
      StartStation(TestPortName(), {"--baud", "38400", "--wait-open", "--settle", "20", "send", "--raw",
                                    "--zero-bytes", "40", "--no-finish", file.string()});
  FaultWindow window;
  OpenPort(window, station.link.string());
  ASSERT_EQ(window.dlg.m_bPortOpen, 1);
  ASSERT_TRUE(window.WaitFor(
      [&] { return static_cast<std::size_t>(window.dlg.m_strData.GetLength()) >= bytes.size(); }, 10s))
      << station.process->Stderr();
  window.Wait(100ms);
  EXPECT_SAME_BYTES(window.dlg.m_strData.Bytes(), bytes);
  ExpectBoxShows(window.dlg, bytes);
  EXPECT_TRUE(window.dlg.m_strLastMarker.IsEmpty());
  window.Click(kIdClosePort);  // ends the station's linger
  EXPECT_EQ(station.process->WaitForExit(kWait), 0) << station.process->Stderr();
}

// ---- files for Browse

// The lines of a file as Browse reads them: the file ends at its first 0x1A, zero bytes are dropped, every
// trailing CR goes; a last line without a line end counts, a line end at the very end makes no empty line.
std::vector<std::string> CleanedLines(std::string_view bytes) {
  bytes = bytes.substr(0, bytes.find('\x1A'));
  std::vector<std::string> lines;
  while (!bytes.empty()) {
    const std::size_t end = bytes.find('\n');
    std::string line(bytes.substr(0, end));
    bytes = end == std::string_view::npos ? std::string_view() : bytes.substr(end + 1);
    std::erase(line, '\0');
    while (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

class BrowseOddFiles : public testing::Test, protected FaultWindow {
 protected:
  void BrowseTo(const std::filesystem::path& file) {
    AnswerChooser(file);
    Click(kIdBrowse);
  }

  ScratchDir dir;
};

TEST_F(BrowseOddFiles, TenMegabytesOnOneLine) {
  std::string line;
  line.reserve(10u << 20);
  // Records without a line end between them, and a Chinese name now and then.
  for (int i = 0; line.size() < (10u << 20); ++i)
    line += "P" + std::to_string(i) + ",1.0,2.0,\xB5\xC0\xC2\xB7;";
  BrowseTo(dir.Write("one-line.txt", line));
  EXPECT_TRUE(prompter.messages.empty());
  EXPECT_SAME_BYTES(dlg.m_strData.Bytes(), line + "\r\n");
  EXPECT_EQ(dlg.m_lbRoads.GetCount(), 0);
  ExpectBoxShows(dlg, line + "\r\n");
}

struct BinaryRow {
  const char* name;
  const char* file;
  const char* marker;  // framing of each line, empty for none
};

class BrowseBinaryFile : public BrowseOddFiles, public testing::WithParamInterface<BinaryRow> {};

TEST_P(BrowseBinaryFile, ReadsUpToTheEndOfFileByteAsLines) {
  // Every byte value but 0x1A, with zero bytes and line ends more often than chance, then one 0x1A three
  // quarters in.
  std::string alphabet = ByteRange(0x00, 0xFF);
  alphabet.erase(0x1A, 1);
  alphabet += std::string("\0\0\0\n\n\r", 6);
  std::string bytes = RandomBytes(64 * 1024, alphabet, 99);
  bytes[bytes.size() * 3 / 4] = '\x1A';
  BrowseTo(dir.Write(GetParam().file, bytes));

  std::string expected;
  for (const std::string& line : CleanedLines(bytes))
    expected += GetParam().marker + line + GetParam().marker + "\r\n";
  EXPECT_TRUE(prompter.messages.empty());
  EXPECT_SAME_BYTES(dlg.m_strData.Bytes(), expected);
  EXPECT_EQ(dlg.m_lbRoads.GetCount(), 0);
  ExpectBoxShows(dlg, expected);
}

INSTANTIATE_TEST_SUITE_P(Rows, BrowseBinaryFile,
                         testing::Values(BinaryRow{"OtherExtension", "random.bin", ""},
                                         BinaryRow{"PointFile", "random.cpt", "&"}),
                         testing_support::RowName());

struct EmptyRow {
  const char* name;
  const char* file;
  const char* data;
};

class BrowseEmptyFile : public BrowseOddFiles, public testing::WithParamInterface<EmptyRow> {};

TEST_P(BrowseEmptyFile, GivesTheTextOfItsKindAndNoRoads) {
  dlg.m_strData = CString("earlier\r\n");
  dlg.UpdateData(false);
  BrowseTo(dir.Write(GetParam().file, ""));
  EXPECT_TRUE(prompter.messages.empty());
  EXPECT_EQ(dlg.m_strData, GetParam().data);
  EXPECT_EQ(dlg.m_lbRoads.GetCount(), 0);
  EXPECT_TRUE(dlg.m_strRoadData.empty());
  ExpectBoxShows(dlg, GetParam().data);
}

INSTANTIATE_TEST_SUITE_P(Rows, BrowseEmptyFile,
                         testing::Values(EmptyRow{"Hln", "empty.HLN", "\r\n"},
                                         EmptyRow{"Vln", "empty.VLN", "\r\n"},
                                         EmptyRow{"Tln", "empty.TLN", ""}, EmptyRow{"Cpt", "empty.CPT", ""},
                                         EmptyRow{"Obs", "empty.OBS", "\r\n"},
                                         EmptyRow{"Txt", "empty.TXT", "\r\n"},
                                         EmptyRow{"NoExtension", "empty", "\r\n"}),
                         testing_support::RowName());

TEST_F(BrowseOddFiles, TwoHundredRoadsAreListedAndRoad150IsUploaded) {
  constexpr int kRoads = 200;
  std::string file = "BeginRoad,1\r\n";
  for (int i = 0; i < kRoads; ++i) {
    const std::string n = std::to_string(i);
    file += ">>R" + n + "," + "2\r\n" + "K" + n + "a,1.0\r\n" + "K" + n + "b,2.0\r\n";
  }
  file += "EndRoad\r\n";
  BrowseTo(dir.Write("many.HLN", file));
  ASSERT_EQ(dlg.m_lbRoads.GetCount(), kRoads);
  for (int i = 0; i < kRoads; ++i) {
    const std::string name = "R" + std::to_string(i);
    EXPECT_EQ(dlg.m_lbRoads.GetText(i), std::u16string(name.begin(), name.end()));
  }
  EXPECT_SAME_BYTES(dlg.m_strData.Bytes(), file);

  ScopedRuntimeDir runtime;
  const std::string out = (runtime.Path() / "received.txt").string();
  RunningStation station =
      StartStation(TestPortName(), {"--settle", "20", "receive", "--out", out, "--timeout", "5000"});
  ChooseUploadMode();
  OpenPort(*this, station.link.string());
  ASSERT_EQ(dlg.m_bPortOpen, 1);
  dlg.m_lbRoads.SetCurSel(150);
  Click(kIdUpload);
  EXPECT_EQ(station.process->WaitForExit(kWait), 0) << station.process->Stderr();
  EXPECT_EQ(ReadFileBytes(out), "$K150a,1.0$\r\n$K150b,2.0$\r\n" + kClosingOnTheLine);
}

// ---- the window closed while the station still sends

struct LeaveRow {
  const char* name;
  bool destroy;  // true: the window object goes away; false: the window is closed
};

class ClosedWhileReceiving : public testing::TestWithParam<LeaveRow> {};

TEST_P(ClosedWhileReceiving, ReleasesThePortAndTheStationSeesIt) {
  ScopedRuntimeDir runtime;
  ScratchDir dir;
  const std::filesystem::path records = dir.Write("records.txt", RecordLines(3000, "P"));
  RunningStation station = StartStation(TestPortName(), {"--baud", "38400", "--wait-open", "--settle", "20",
                                                         "send", "--marker", "$", records.string()});
  auto window = std::make_unique<FaultWindow>();
  OpenPort(*window, station.link.string());
  ASSERT_EQ(window->dlg.m_bPortOpen, 1);
  ASSERT_TRUE(window->WaitFor([&] { return window->dlg.m_strData.GetLength() > 500; }, 10s))
      << station.process->Stderr();

  if (GetParam().destroy) {
    window.reset();
  } else {
    window->prompter.answers.push_back(Prompter::Answer::Yes);  // leave without writing the records to a file
    window->view.Close();
    ASSERT_EQ(window->prompter.messages.size(), 1u);
    EXPECT_EQ(window->prompter.messages[0].text, std::u16string(messages::kUnsavedDownload));
    EXPECT_TRUE(window->view.Ended());
    EXPECT_EQ(window->dlg.m_bPortOpen, 0);
    EXPECT_FALSE(window->dlg.m_hComm.IsOpen());
  }
  EXPECT_EQ(station.process->WaitForExit(kWait), 1) << "the station stops when the port is let go";
  EXPECT_NE(station.process->Stderr().find("closed the port"), std::string::npos)
      << station.process->Stderr();
  if (window) {
    const CString kept = window->dlg.m_strData;
    window->Wait(200ms);  // the window's timers still run; they find no port
    EXPECT_EQ(window->dlg.m_strData, kept);
    EXPECT_EQ(window->dlg.m_bPortOpen, 0);
  }
}

INSTANTIATE_TEST_SUITE_P(Window, ClosedWhileReceiving,
                         testing::Values(LeaveRow{"Closed", false}, LeaveRow{"Destroyed", true}),
                         testing_support::RowName());

}  // namespace
}  // namespace kestrion

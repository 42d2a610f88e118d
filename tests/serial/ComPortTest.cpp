// The port on real COM ports, Windows only. Under Wine they are pseudo-terminals that the Linux side makes
// and plays (tests/windows/pty_peer.py, which CTest starts first); on Windows, ports joined by a null-modem
// cable may stand in. KESTRION_TEST_PORTS names four, comma-separated: the two ends of one line, a line that
// nobody reads, and a line whose other end goes away when it hears "hang up".
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <iostream>
#include <sstream>
#include <thread>
#include <tuple>
#include <vector>

#include "Send.h"
#include "common/ScratchDir.h"
#include "common/TestNames.h"
#include "serial/Framing.h"
#include "upload/UploadWorker.h"

namespace kestrion {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// The line's two ends, the stalled line, the line that hangs up.
const std::vector<std::string>& Ports() {
  static const std::vector<std::string> ports = [] {
    std::vector<std::string> names;
    std::stringstream list(std::getenv("KESTRION_TEST_PORTS") ? std::getenv("KESTRION_TEST_PORTS") : "");
    for (std::string name; std::getline(list, name, ',');) names.push_back(name);
    return names.size() == 4 ? names : std::vector<std::string>{};
  }();
  return ports;
}

// A port under another name than COMn, in the device namespace as a virtual null-modem pair names its ends
// ("CNCA0"): the other end of the line Ports()[1] ends. Under Wine the peer makes it; elsewhere it may be unset.
std::string NamedPort() {
  const char* name = std::getenv("KESTRION_TEST_NAMED_PORT");
  return name != nullptr ? name : "";
}

std::wstring Wide(const std::string& utf8) {
  const int size = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), size);
  return wide;
}

milliseconds Since(Clock::time_point start) {
  return std::chrono::duration_cast<milliseconds>(Clock::now() - start);
}

std::string ReadAll(SerialPort& port, std::size_t count) {
  std::string bytes(count, '\0');
  std::size_t got = 0;
  while (got < count && port.WaitForBytes(5s)) got += port.Read(bytes.data() + got, count - got);
  return bytes.substr(0, got);
}

std::string FileBytes(const std::filesystem::path& path) {
  std::stringstream bytes;
  bytes << std::ifstream(path, std::ios::binary).rdbuf();
  return bytes.str();
}

testing::AssertionResult Opened(SerialPort& port, const std::string& name,
                                const LineSettings& settings = {}) {
  const PortResult opened = port.Open(name);
  const PortResult configured = opened ? port.Configure(settings) : opened;
  if (configured) return testing::AssertionSuccess();
  return testing::AssertionFailure() << name << ": failure " << static_cast<int>(configured.failure)
                                     << ", system error " << configured.systemError;
}

class ComPort : public testing::Test {
 protected:
  void SetUp() override {
    if (Ports().empty())
      GTEST_SKIP() << "KESTRION_TEST_PORTS names no ports (scripts/test-windows.sh sets them)";
  }
};

TEST_F(ComPort, EveryByteValuePassesBothWays) {
  SerialPort a;
  SerialPort b;
  ASSERT_TRUE(Opened(a, Ports()[0]));
  ASSERT_TRUE(Opened(b, Ports()[1]));
  std::string bytes;
  for (int i = 0; i < 4 * 256; ++i) bytes += static_cast<char>(i);
  ASSERT_TRUE(a.Write(bytes));
  EXPECT_EQ(ReadAll(b, bytes.size()), bytes) << "one way";
  ASSERT_TRUE(b.Write(bytes));
  EXPECT_EQ(ReadAll(a, bytes.size()), bytes) << "the other way";
}

struct SettingsCase {
  const char* name;
  LineSettings settings;
  bool mayBeRefused;  // offered, but a device need not do it (a pseudo-terminal under Wine does only 8N)
  bool offered;
};

class SettingsOnALine : public ComPort, public testing::WithParamInterface<SettingsCase> {};

// What the other end has to match; Wine does not report the parity check back.
auto LineOf(const LineSettings& s) {
  return std::tuple(s.baudRate, s.dataBits, s.parity, s.stopBits);
}

TEST_P(SettingsOnALine, AreReadBackOrRefusedAndTheOldOnesKept) {
  SerialPort port;
  ASSERT_TRUE(Opened(port, Ports()[0]));
  const std::optional<LineSettings> before = port.CurrentSettings();
  ASSERT_TRUE(before);
  EXPECT_EQ(LineOf(*before), LineOf(LineSettings{}));

  const PortResult result = port.Configure(GetParam().settings);
  const std::optional<LineSettings> after = port.CurrentSettings();
  ASSERT_TRUE(after);
  std::cout << GetParam().name << ": " << (result ? "taken" : "refused") << "\n";
  if (result) {
    EXPECT_TRUE(GetParam().offered);
    EXPECT_EQ(LineOf(*after), LineOf(GetParam().settings));
  } else {
    EXPECT_TRUE(GetParam().mayBeRefused || !GetParam().offered);
    EXPECT_EQ(result.failure, PortFailure::SettingsRefused);
    EXPECT_EQ(LineOf(*after), LineOf(*before)) << "given back";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SettingsOnALine,
    testing::Values(SettingsCase{"Baud4800", {4800, 8, Parity::None, true, 2}, false, true},
                    SettingsCase{"Baud9600", {9600, 8, Parity::None, true, 2}, false, true},
                    SettingsCase{"Baud38400", {38400, 8, Parity::None, true, 2}, false, true},
                    SettingsCase{"SevenDataBits", {19200, 7, Parity::None, true, 2}, true, true},
                    SettingsCase{"OddParity", {19200, 8, Parity::Odd, true, 2}, true, true},
                    SettingsCase{"EvenParity", {19200, 8, Parity::Even, true, 2}, true, true},
                    SettingsCase{"Rate115200", {115200, 8, Parity::None, true, 2}, true, false},
                    SettingsCase{"RateZero", {0, 8, Parity::None, true, 2}, true, false},
                    SettingsCase{"SixDataBits", {9600, 6, Parity::None, true, 2}, true, false},
                    SettingsCase{"MarkParity", {9600, 8, static_cast<Parity>(3), true, 2}, true, false}),
    testing_support::RowName());

TEST_F(ComPort, CloseEndsAWaitInAnotherThreadAtOnce) {
  SerialPort port;
  ASSERT_TRUE(Opened(port, Ports()[0]));
  auto waiting = std::async(std::launch::async, [&] { return port.WaitForBytes(30s); });
  std::this_thread::sleep_for(200ms);
  const auto before = Clock::now();
  EXPECT_TRUE(port.Close());
  ASSERT_EQ(waiting.wait_for(5s), std::future_status::ready);
  std::cout << "Close during a wait took " << Since(before).count() << " ms\n";
  EXPECT_FALSE(waiting.get());
  EXPECT_LT(Since(before), 500ms);
}

// A line that nobody reads fills, and the rest of a write waits for room that never comes.
struct StalledCase {
  const char* name;
  bool close;  // else a stop
  PortFailure expected;
};

class StalledLine : public ComPort, public testing::WithParamInterface<StalledCase> {};

TEST_P(StalledLine, EndsTheWriteAtOnce) {
  std::stop_source stop;
  std::future<PortResult> writing;  // before the port, whose release ends the write however the test went
  SerialPort port;
  ASSERT_TRUE(Opened(port, Ports()[2]));
  writing = std::async(std::launch::async,
                       [&] { return port.Write(std::string(256 * 1024, 'x'), stop.get_token()); });
  std::this_thread::sleep_for(300ms);
  ASSERT_EQ(writing.wait_for(0ms), std::future_status::timeout) << "the write waits on the line";

  const auto before = Clock::now();
  if (GetParam().close) {
    EXPECT_TRUE(port.Close());
  } else {
    stop.request_stop();
  }
  ASSERT_EQ(writing.wait_for(5s), std::future_status::ready);
  const milliseconds took = Since(before);
  std::cout << GetParam().name << " during a write on a stalled line took " << took.count() << " ms\n";
  EXPECT_EQ(writing.get().failure, GetParam().expected);
  EXPECT_LT(took, 300ms);
  EXPECT_EQ(port.IsOpen(), !GetParam().close);
}

INSTANTIATE_TEST_SUITE_P(Cases, StalledLine,
                         testing::Values(StalledCase{"Stop", false, PortFailure::Stopped},
                                         StalledCase{"Close", true, PortFailure::NotOpen}),
                         testing_support::RowName());

TEST_F(ComPort, OtherEndGoingAwayIsReported) {
  SerialPort port;
  ASSERT_TRUE(Opened(port, Ports()[3]));
  EXPECT_FALSE(port.DeviceGone());
  ASSERT_TRUE(port.Write("hang up"));
  const auto before = Clock::now();
  while (port.BytesWaiting() && Since(before) < 5s) std::this_thread::sleep_for(2ms);
  EXPECT_EQ(port.BytesWaiting(), std::nullopt) << "the reader saw the other end go";
  EXPECT_TRUE(port.DeviceGone());
  EXPECT_EQ(port.Write("x").failure, PortFailure::DeviceGone);
  EXPECT_TRUE(port.IsOpen()) << "held until Close";
  EXPECT_TRUE(port.Close());
  EXPECT_FALSE(port.DeviceGone());
}

TEST_F(ComPort, NameOtherThanComNOpensInTheDeviceNamespace) {
  if (NamedPort().empty()) GTEST_SKIP() << "KESTRION_TEST_NAMED_PORT names no port";
  SerialPort named;
  SerialPort other;
  ASSERT_TRUE(Opened(named, NamedPort()));
  ASSERT_TRUE(Opened(other, Ports()[1]));
  ASSERT_TRUE(named.Write("Start"));
  EXPECT_EQ(ReadAll(other, 5), "Start");
  ASSERT_TRUE(other.Write("&A1,2&\r\n"));
  EXPECT_EQ(ReadAll(named, 8), "&A1,2&\r\n");
}

// Hardware flow control as an earlier program may leave it (on CTS, with RTS as its handshake), or off.
bool SetCtsFlow(const std::string& port, bool on) {
  const std::wstring path = L"\\\\.\\" + Wide(port);
  const HANDLE device =
      ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  bool done = device != INVALID_HANDLE_VALUE && ::GetCommState(device, &dcb) != 0;
  dcb.fOutxCtsFlow = on ? TRUE : FALSE;
  dcb.fRtsControl = on ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE;
  done = done && ::SetCommState(device, &dcb) != 0;
  if (device != INVALID_HANDLE_VALUE) ::CloseHandle(device);
  return done;
}

// On a line that nobody reads a write stalls; with CTS flow control on and no CTS to be seen, the port puts
// it down to the flow control.
TEST_F(ComPort, WriteStalledWithCtsFlowControlOnIsHeldByCts) {
  ASSERT_TRUE(SetCtsFlow(Ports()[2], true));
  std::future<PortResult> writing;  // before the port, whose release ends the write however the test went
  SerialPort port;
  ASSERT_TRUE(Opened(port, Ports()[2]));
  writing = std::async(std::launch::async, [&] { return port.Write(std::string(256 * 1024, 'x')); });
  const auto before = Clock::now();
  while (port.OutputHeldBy() != OutputHold::Cts && Since(before) < 5s) std::this_thread::sleep_for(2ms);
  std::cout << "The hold was told " << Since(before).count() << " ms after the write began\n";
  EXPECT_EQ(port.OutputHeldBy(), OutputHold::Cts);
  EXPECT_TRUE(port.Close());
  EXPECT_EQ(port.OutputHeldBy(), OutputHold::None);
  EXPECT_EQ(writing.get().failure, PortFailure::NotOpen);
  EXPECT_TRUE(SetCtsFlow(Ports()[2], false));
}

// The instrument sends a download unasked; the transfer code takes it in reads of at most 254 bytes.
TEST_F(ComPort, DownloadIsReadInStepsOf254Bytes) {
  std::string records;
  for (int i = 1; i <= 60; ++i)
    records += std::to_string(i) + ",\xB2\xE2\xD5\xBE," + std::to_string(i * 7) + "\r\n";
  station::SendOptions options;
  options.marker = '$';
  const std::string stream = station::BuildSendStream(records, options).stream.value().bytes;
  ASSERT_GT(stream.size(), 3 * kMaxReadBytes);

  SerialPort instrument;
  SerialPort pc;
  ASSERT_TRUE(Opened(instrument, Ports()[0]));
  ASSERT_TRUE(Opened(pc, Ports()[1]));
  for (std::size_t at = 0; at < stream.size(); at += 100)
    ASSERT_TRUE(instrument.Write(stream.substr(at, 100)));
  const auto before = Clock::now();
  while (pc.BytesWaiting() < stream.size() && Since(before) < 5s) std::this_thread::sleep_for(2ms);

  std::string received;
  for (ChunkRead read = ReadChunk(pc); read.readBytes; read = ReadChunk(pc)) {
    EXPECT_EQ(read.chunk.Bytes().size(), std::min(stream.size() - received.size(), kMaxReadBytes));
    received += read.chunk.Bytes();
  }
  EXPECT_EQ(received, stream);
}

// Runs the station's program with `arguments`, its output to `log`; its exit status.
int RunStation(const std::wstring& arguments, const std::filesystem::path& log) {
  const std::wstring station = std::filesystem::absolute(KESTRION_STATION_EXE).make_preferred().wstring();
  // cmd takes the outer quotes off the whole line.
  return _wsystem((L"\"\"" + station + L"\" " + arguments + L" >\"" + log.wstring() + L"\" 2>&1\"").c_str());
}

// The station's Windows program plays the instrument: it asks for every line, and the worker answers. Its
// capture file has a Chinese name, which no single-byte code page holds: the program takes its names in wide
// characters, keeps an earlier capture when its port cannot be opened and replaces it when it can.
TEST_F(ComPort, StationAsksForAnUploadLineByLine) {
  testing_support::ScratchDir scratch;
  const std::string text = FileBytes(KESTRION_EXAMPLES "/sample.HLN");
  const std::filesystem::path received = scratch.Path() / Wide("\xE6\x8E\xA5\xE6\x94\xB6.txt");
  const std::filesystem::path log = scratch.Path() / "station.log";
  std::ofstream(received, std::ios::binary) << "earlier";
  const std::wstring out = L" receive --timeout 5000 --out \"" + received.wstring() + L"\"";
  EXPECT_EQ(RunStation(L"--port COM99" + out, log), 2) << FileBytes(log);
  EXPECT_EQ(FileBytes(received), "earlier");

  SerialPort pc;
  ASSERT_TRUE(Opened(pc, Ports()[1]));
  UploadShared shared;
  PrepareUploadLines(CString(text), shared.uploadLines);
  UploadWorker worker;
  ASSERT_TRUE(worker.Start(pc, shared));
  const auto before = Clock::now();
  EXPECT_EQ(RunStation(L"--port " + Wide(Ports()[0]) + out, log), 0) << FileBytes(log);
  std::cout << "The station's upload took " << Since(before).count() << " ms with the program's start\n";
  EXPECT_EQ(FileBytes(received), text + kWordUploadFinish + "\r\r\n") << FileBytes(log);
  while (worker.Running() && Since(before) < 30s) std::this_thread::sleep_for(2ms);
  EXPECT_FALSE(worker.Running()) << "the worker ends after the closing line";
}

}  // namespace
}  // namespace kestrion

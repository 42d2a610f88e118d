// The station as the instrument of an upload, driven over its virtual port the way Kestrion drives it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Send.h"
#include "common/StationHarness.h"
#include "common/TestNames.h"
#include "serial/Framing.h"

namespace kestrion::testing_support {
namespace {

constexpr milliseconds kExchangeWait{5000};

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// What the tool saw of each request and when it answered.
struct ToolRun {
  std::vector<std::vector<ClientPort::Arrival>> requests;
  std::vector<Clock::time_point> answered;
};

// Kestrion's side of an upload: for every request (exactly `request` bytes) the next line.
void AnswerEachRequest(ClientPort& port, const std::vector<std::string>& lines, const std::string& request,
                       ToolRun& run) {
  for (const std::string& line : lines) {
    ASSERT_TRUE(port.ReadAtLeast(request.size(), kExchangeWait)) << "request " << run.requests.size() + 1;
    run.requests.push_back(port.Arrivals());
    ASSERT_EQ(port.TakeReceived(), request);
    ASSERT_TRUE(port.Write(line));
    run.answered.push_back(Clock::now());
  }
}

// The sample control points as the tool frames them, then the closing line as it goes out.
std::vector<std::string> SampleCptUpload() {
  std::vector<std::string> lines;
  for (const std::string& record : station::SplitRecords(ReadFileBytes(KESTRION_EXAMPLES "/sample.CPT"))) {
    lines.push_back(FrameRecord('&', CString(record)).Bytes());
  }
  lines.push_back(LineForSending(kClosingLine).Bytes());
  return lines;
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string all;
  for (const std::string& line : lines) all += line;
  return all;
}

TEST(StationReceive, CptUploadArrivesByteForByte) {
  ScopedRuntimeDir runtime;
  const std::string out = (runtime.Path() / "received.txt").string();
  RunningStation station =
      StartStation(TestPortName(), {"--settle", "20", "receive", "--out", out, "--timeout", "5000"});
  ClientPort port;
  ASSERT_TRUE(port.Open(station.link));

  const std::vector<std::string> lines = {"&A1,2&\r\n", "&B3,4&\r\n", "Upload Finish\r\r\n"};
  ToolRun run;
  AnswerEachRequest(port, lines, "Start", run);
  EXPECT_EQ(station.process->WaitForExit(kExchangeWait), 0) << station.process->Stderr();
  EXPECT_EQ(ReadFileBytes(out), Joined(lines));
  EXPECT_TRUE(Contains(station.process->Stderr(), "received 3 lines, 32 bytes")) << station.process->Stderr();
  std::error_code ec;
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(station.link, ec)));
}

// --out names a file that may hold an earlier capture: it is replaced only once the exchange has begun, and
// nothing is left beside it either way.
class EarlierCapture : public testing::Test {
 protected:
  void SetUp() override { WriteFileBytes(out, kEarlier); }
  std::vector<std::filesystem::path> FolderEntries() const {
    std::vector<std::filesystem::path> entries;
    for (const auto& entry : std::filesystem::directory_iterator(folder.Path()))
      entries.push_back(entry.path());
    return entries;
  }

  static constexpr const char* kEarlier = "&OLD1,2&\r\n";
  TempFolder folder;
  const std::filesystem::path out = folder.Path() / "received.txt";
};

TEST_F(EarlierCapture, StaysWhenThePortCannotBeOpened) {
  StationProcess station({"--port", "/dev/kestrion-no-such-tty", "receive", "--out", out.string()});
  EXPECT_EQ(station.WaitForExit(kExchangeWait), 2);
  EXPECT_TRUE(Contains(station.Stderr(), "cannot open /dev/kestrion-no-such-tty")) << station.Stderr();
  EXPECT_EQ(ReadFileBytes(out), kEarlier);
  EXPECT_EQ(FolderEntries(), std::vector{out});
}

TEST_F(EarlierCapture, IsReplacedByTheLinesOfTheExchange) {
  ScopedRuntimeDir runtime;
  RunningStation station =
      StartStation(TestPortName(), {"--settle", "20", "receive", "--out", out.string(), "--timeout", "5000"});
  ClientPort port;
  ASSERT_TRUE(port.Open(station.link));
  ToolRun run;
  AnswerEachRequest(port, {"&A1,2&\r\n"}, "Start", run);
  // The first line has taken the earlier capture's place while the exchange goes on.
  EXPECT_TRUE(WaitUntil([&] { return ReadFileBytes(out) == "&A1,2&\r\n"; }, kExchangeWait));
  AnswerEachRequest(port, {"Upload Finish\r\r\n"}, "Start", run);
  EXPECT_EQ(station.process->WaitForExit(kExchangeWait), 0) << station.process->Stderr();
  EXPECT_EQ(ReadFileBytes(out), "&A1,2&\r\nUpload Finish\r\r\n");
  EXPECT_EQ(FolderEntries(), std::vector{out});
}

TEST(StationReceive, LinesGoToStandardOutputWithoutOut) {
  ScopedRuntimeDir runtime;
  RunningStation station = StartStation(TestPortName(), {"--settle", "20", "receive", "--timeout", "5000"});
  ClientPort port;
  ASSERT_TRUE(port.Open(station.link));
  const std::vector<std::string> lines = SampleCptUpload();  // Chinese point names in their GBK bytes
  ToolRun run;
  AnswerEachRequest(port, lines, "Start", run);
  EXPECT_EQ(station.process->WaitForExit(kExchangeWait), 0) << station.process->Stderr();
  EXPECT_EQ(station.process->Stdout(), Joined(lines));
}

struct HardPeerCase {
  const char* name;
  std::vector<std::string> options;
  std::string request;  // the bytes of one request as the tool receives them
  std::function<void(const ToolRun&)> check;
};

class HardPeer : public testing::TestWithParam<HardPeerCase> {};

TEST_P(HardPeer, UploadStillCompletes) {
  ScopedRuntimeDir runtime;
  const std::string out = (runtime.Path() / "received.txt").string();
  std::vector<std::string> args = {"--settle", "20", "receive", "--out", out, "--timeout", "5000"};
  args.insert(args.end(), GetParam().options.begin(), GetParam().options.end());
  RunningStation station = StartStation(TestPortName(), args);
  ClientPort port;
  ASSERT_TRUE(port.Open(station.link));

  const std::vector<std::string> lines = {"$0.000,3051234.500$\r\n", "$150.000,3051340.566$\r\n",
                                          "Upload Finish\r\r\n"};
  ToolRun run;
  AnswerEachRequest(port, lines, GetParam().request, run);
  EXPECT_EQ(station.process->WaitForExit(kExchangeWait), 0) << station.process->Stderr();
  EXPECT_EQ(ReadFileBytes(out), Joined(lines));
  ASSERT_EQ(run.requests.size(), lines.size());
  GetParam().check(run);
}

void CheckNothing(const ToolRun&) {}

// Every request came at least `gap` after the answer to the one before.
std::function<void(const ToolRun&)> RequestsWaited(milliseconds gap) {
  return [gap](const ToolRun& run) {
    for (std::size_t i = 1; i < run.requests.size(); ++i) {
      EXPECT_GE(run.requests[i].front().at - run.answered[i - 1], gap) << "request " << i + 1;
    }
  };
}

// Every request came in two pieces, the first `first`, at least `pause` apart.
std::function<void(const ToolRun&)> RequestsSplit(std::string first, milliseconds pause) {
  return [first, pause](const ToolRun& run) {
    for (const auto& arrivals : run.requests) {
      ASSERT_EQ(arrivals.size(), 2u);
      EXPECT_EQ(arrivals.front().bytes, first);
      EXPECT_GE(arrivals.back().at - arrivals.front().at, pause - milliseconds(10));
    }
  };
}

INSTANTIATE_TEST_SUITE_P(
    Rows, HardPeer,
    testing::Values(
        HardPeerCase{"PlainStart", {}, "Start", CheckNothing},
        HardPeerCase{
            "DelayBeforeEachRequest", {"--delay", "250"}, "Start", RequestsWaited(milliseconds(240))},
        HardPeerCase{"SplitStart",
                     {"--split-start", "--split-pause", "200"},
                     "Start",
                     RequestsSplit("Sta", milliseconds(200))},
        HardPeerCase{"DoubleStartOneLineEach", {"--double-start"}, "StartStart", CheckNothing},
        HardPeerCase{"NoiseAround", {"--noise-around"}, "OK Start\r\n", CheckNothing},
        HardPeerCase{
            "EverythingAtOnce",
            {"--split-start", "--split-pause", "120", "--double-start", "--noise-around", "--delay", "100"},
            "OK StartStart\r\n",
            RequestsSplit("OK Sta", milliseconds(120))}),
    RowName());

TEST(StationReceive, StallAfterStopsAskingAndExitsThree) {
  ScopedRuntimeDir runtime;
  const std::string out = (runtime.Path() / "received.txt").string();
  RunningStation station = StartStation(TestPortName(), {"--settle", "20", "receive", "--out", out,
                                                         "--stall-after", "2", "--stall-wait", "400"});
  ClientPort port;
  ASSERT_TRUE(port.Open(station.link));
  ToolRun run;
  AnswerEachRequest(port, {"&A1,2&\r\n", "&B3,4&\r\n"}, "Start", run);
  // No third request: the read ends when the station goes, with nothing received.
  EXPECT_FALSE(port.ReadUntil([](const std::string& r) { return !r.empty(); }, kExchangeWait));
  EXPECT_EQ(station.process->WaitForExit(kExchangeWait), 3);
  EXPECT_GE(Clock::now() - run.answered.back(), milliseconds(390));
  EXPECT_EQ(ReadFileBytes(out), "&A1,2&\r\n&B3,4&\r\n");
  EXPECT_TRUE(Contains(station.process->Stderr(), "stalled after 2 lines as asked"))
      << station.process->Stderr();
}

TEST(StationReceive, TimeoutNamesTheLineItWaitedFor) {
  ScopedRuntimeDir runtime;
  const std::string out = (runtime.Path() / "received.txt").string();
  RunningStation station =
      StartStation(TestPortName(), {"--settle", "20", "receive", "--out", out, "--timeout", "300"});
  ClientPort port;
  ASSERT_TRUE(port.Open(station.link));
  ToolRun run;
  AnswerEachRequest(port, {"&A1,2&\r\n"}, "Start", run);
  ASSERT_TRUE(port.ReadAtLeast(5, kExchangeWait));  // the second request, left unanswered
  EXPECT_EQ(station.process->WaitForExit(kExchangeWait), 1);
  EXPECT_TRUE(Contains(station.process->Stderr(), "no line 2 within 300 ms")) << station.process->Stderr();
  EXPECT_EQ(ReadFileBytes(out), "&A1,2&\r\n");
}

TEST(StationReceive, TwoLinesForOneRequestAreRefused) {
  // A tool that answers each start word of a double request sends a line nobody asked for.
  ScopedRuntimeDir runtime;
  RunningStation station =
      StartStation(TestPortName(), {"--settle", "20", "receive", "--double-start", "--timeout", "3000"});
  ClientPort port;
  ASSERT_TRUE(port.Open(station.link));
  ASSERT_TRUE(port.ReadAtLeast(10, kExchangeWait));
  ASSERT_TRUE(port.Write("&A1,2&\r\n&B3,4&\r\n"));
  EXPECT_EQ(station.process->WaitForExit(kExchangeWait), 1);
  const std::string said = station.process->Stderr();
  EXPECT_TRUE(Contains(said, "came without a request after line 1")) << said;
  EXPECT_EQ(station.process->Stdout(), "&A1,2&\r\n&B3,4&\r\n");  // nothing received is lost
}

TEST(StationReceive, ClosingThePortEndsTheExchange) {
  ScopedRuntimeDir runtime;
  RunningStation station = StartStation(TestPortName(), {"--settle", "20", "receive"});
  ClientPort port;
  ASSERT_TRUE(port.Open(station.link));
  ToolRun run;
  AnswerEachRequest(port, {"&A1,2&\r\n"}, "Start", run);
  ASSERT_TRUE(port.ReadAtLeast(5, kExchangeWait));
  port.Close();
  EXPECT_EQ(station.process->WaitForExit(kExchangeWait), 1);
  EXPECT_TRUE(Contains(station.process->Stderr(), "closed the port while the station waited for line 2"))
      << station.process->Stderr();
}

// The other end of a cable: the master of a pseudo-terminal whose slave the station opens with --port.
class CableEnd {
 public:
  CableEnd() {
    int slave = -1;
    if (::openpty(&m_master, &slave, nullptr, nullptr, nullptr) != 0) return;
    // The station must not inherit the master: the line hangs up only when the last master closes.
    ::fcntl(m_master, F_SETFD, FD_CLOEXEC);
    termios tio{};
    ::tcgetattr(slave, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(slave, TCSANOW, &tio);
    char name[128] = {};
    ::ptsname_r(m_master, name, sizeof name);
    m_strSlavePath = name;
    ::close(slave);
  }
  ~CableEnd() {
    if (m_master >= 0) ::close(m_master);
  }
  CableEnd(const CableEnd&) = delete;
  CableEnd& operator=(const CableEnd&) = delete;

  const std::string& SlavePath() const { return m_strSlavePath; }
  // Reads until `bytes` bytes came or `timeout` passed.
  std::string Read(std::size_t bytes, milliseconds timeout) {
    std::string got;
    const Clock::time_point until = Clock::now() + timeout;
    while (got.size() < bytes && Clock::now() < until) {
      pollfd fd{m_master, POLLIN, 0};
      if (::poll(&fd, 1, 20) <= 0 || (fd.revents & POLLIN) == 0) continue;
      char buffer[256];
      const ssize_t n = ::read(m_master, buffer, std::min(sizeof buffer, bytes - got.size()));
      if (n > 0) got.append(buffer, static_cast<std::size_t>(n));
    }
    return got;
  }
  bool Write(std::string_view bytes) {
    return ::write(m_master, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  }

 private:
  int m_master = -1;
  std::string m_strSlavePath;
};

TEST(StationReceive, OnAGivenSerialDevice) {
  CableEnd cable;
  ASSERT_FALSE(cable.SlavePath().empty());
  StationProcess station({"--port", cable.SlavePath(), "--baud", "9600", "receive", "--timeout", "5000"});
  const std::vector<std::string> lines = {"@0.000,12.350,0@\r\n", "Upload Finish\r\r\n"};
  for (const std::string& line : lines) {
    ASSERT_EQ(cable.Read(5, kExchangeWait), "Start") << station.Stderr();
    ASSERT_TRUE(cable.Write(line));
  }
  EXPECT_EQ(station.WaitForExit(kExchangeWait), 0) << station.Stderr();
  EXPECT_EQ(station.Stdout(), Joined(lines));
  EXPECT_TRUE(Contains(station.Stderr(), "port " + cable.SlavePath() + " (9600 baud")) << station.Stderr();
}

TEST(StationReceive, DeviceVanishingEndsTheExchange) {
  auto cable = std::make_unique<CableEnd>();
  ASSERT_FALSE(cable->SlavePath().empty());
  StationProcess station({"--port", cable->SlavePath(), "receive"});
  ASSERT_EQ(cable->Read(5, kExchangeWait), "Start") << station.Stderr();
  ASSERT_TRUE(cable->Write("&A1,2&\r\n"));
  ASSERT_EQ(cable->Read(5, kExchangeWait), "Start");
  cable.reset();  // the adapter pulled out
  EXPECT_EQ(station.WaitForExit(kExchangeWait), 1);
  EXPECT_TRUE(Contains(station.Stderr(), "the device is gone while the station waited for line 2"))
      << station.Stderr();
}

}  // namespace
}  // namespace kestrion::testing_support

#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "common/PseudoTerminal.h"
#include "common/TestNames.h"
#include "serial/Framing.h"
#include "upload/UploadWorker.h"

namespace kestrion {
namespace {

using namespace std::chrono_literals;

const std::string kClosingOnTheLine = std::string(kWordUploadFinish) + "\r\r\n";

template <typename Done>
bool WaitUntil(Done done, std::chrono::milliseconds limit = 5s) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(2ms);
  }
  return true;
}

double ProcessCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// The test plays the instrument on the master side of a pseudo-terminal; the worker talks to the slave.
class UploadOverPty : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(instrument.IsValid());
    OpenPort();
  }
  void TearDown() override {
    worker.RequestStop();
    worker.Join();
  }

  void OpenPort() {
    ASSERT_TRUE(port.Open(instrument.SlavePath()));
    ASSERT_TRUE(port.Configure({}));
  }

  void StartUpload(const CString& text) {
    {
      std::lock_guard lock(shared.lock);
      PrepareUploadLines(text, shared.uploadLines);
      shared.status.Empty();
    }
    EXPECT_TRUE(worker.Start(port, shared));
  }

  // One line as the instrument receives it: up to and including its LF.
  std::string ReceiveLine(std::chrono::milliseconds quiet = 5s) {
    std::string line;
    while (line.empty() || line.back() != '\n') {
      const std::string byte = instrument.Receive(1, quiet);
      if (byte.empty()) break;
      line += byte;
    }
    return line;
  }

  std::string Ask() {
    EXPECT_TRUE(instrument.Send(kWordStart));
    return ReceiveLine();
  }

  // Nothing arrives at the instrument for a few cycles.
  bool StaysQuiet() { return instrument.ReceiveAll(300ms).empty(); }

  CString Status() {
    std::lock_guard lock(shared.lock);
    return shared.status;
  }

  testing_support::PseudoTerminal instrument;
  SerialPort port;
  UploadShared shared;
  UploadWorker worker;
};

struct ExchangeCase {
  const char* name;
  std::string text;
  std::vector<std::string> onTheLine;  // what each request gets, closing line not included
};

class Exchange : public UploadOverPty, public testing::WithParamInterface<ExchangeCase> {};

TEST_P(Exchange, OneLinePerRequestThenTheClosingLine) {
  StartUpload(GetParam().text);
  std::vector<std::string> expected = GetParam().onTheLine;
  expected.push_back(kClosingOnTheLine);
  std::vector<std::string> received;
  for (std::size_t i = 0; i < expected.size(); ++i) received.push_back(Ask());
  EXPECT_EQ(received, expected);

  EXPECT_TRUE(WaitUntil([&] { return !worker.Running(); })) << "the worker ends after the closing line";
  ASSERT_TRUE(instrument.Send(kWordStart));
  EXPECT_TRUE(StaysQuiet()) << "nothing is sent after the closing line";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Exchange,
    testing::Values(
        ExchangeCase{"CptRecords", "&A1,2&\r\n&B3,4&\r\n", {"&A1,2&\r\n", "&B3,4&\r\n"}},
        ExchangeCase{"TwoLines", "a\r\nb\r\n", {"a\r\n", "b\r\n"}},
        ExchangeCase{"OneLine", "a\r\n", {"a\r\n"}}, ExchangeCase{"EmptyText", "", {}},
        ExchangeCase{"BlankLineInsideGoesAsBareLineEnd", "a\r\n\r\nb\r\n", {"a\r\n", "\r\n", "b\r\n"}},
        ExchangeCase{"LeadingBlanksAndBlankLinesDropped", "\r\n\r\n  a\r\n  b\r\n", {"a\r\n", "  b\r\n"}},
        ExchangeCase{"LfOnlyLinesGetCrLf", "a\nb\n", {"a\r\n", "b\r\n"}},
        ExchangeCase{"NoFinalLineEnd", "a\r\nb", {"a\r\n", "b\r\n"}},
        ExchangeCase{"ChineseText", "\xB5\xE3\x40\r\n\xD6\xD0\r\n", {"\xB5\xE3\x40\r\n", "\xD6\xD0\r\n"}}),
    testing_support::RowName());

TEST_F(UploadOverPty, StartSplitOverTwoReadsIsAnsweredOnce) {
  StartUpload("a\r\nb\r\n");
  ASSERT_TRUE(instrument.Send("Sta"));
  EXPECT_TRUE(StaysQuiet());
  ASSERT_TRUE(instrument.Send("rt"));
  EXPECT_EQ(ReceiveLine(), "a\r\n");
  EXPECT_TRUE(StaysQuiet());
  EXPECT_EQ(Ask(), "b\r\n");
}

TEST_F(UploadOverPty, TwoStartsInOneReadAreAnsweredByOneLine) {
  StartUpload("a\r\nb\r\n");
  ASSERT_TRUE(instrument.Send(std::string(kWordStart) + kWordStart));
  EXPECT_EQ(ReceiveLine(), "a\r\n");
  EXPECT_TRUE(StaysQuiet());
  EXPECT_EQ(Ask(), "b\r\n");
}

TEST_F(UploadOverPty, RequestWaitingBeforeTheUploadIsAnsweredAtOnce) {
  ASSERT_TRUE(instrument.Send(kWordStart));
  ASSERT_TRUE(WaitUntil([&] { return port.BytesWaiting() == 5u; }));
  StartUpload("a\r\n");
  EXPECT_EQ(ReceiveLine(), "a\r\n");
}

TEST_F(UploadOverPty, PortClosedMidUploadAndOpenedAgainGoesOnWithTheNextLine) {
  StartUpload("a\r\nb\r\nc\r\n");
  EXPECT_EQ(Ask(), "a\r\n");
  ASSERT_TRUE(port.Close());
  ASSERT_TRUE(instrument.Send(kWordStart));
  EXPECT_TRUE(StaysQuiet()) << "no port, no answer";
  EXPECT_TRUE(worker.Running());

  OpenPort();
  EXPECT_EQ(ReceiveLine(), "b\r\n") << "the request made while closed waited in the device";
  EXPECT_EQ(Ask(), "c\r\n");
  EXPECT_EQ(Ask(), kClosingOnTheLine);
}

TEST_F(UploadOverPty, StopEndsTheWorkerWithinOneCycle) {
  StartUpload("a\r\nb\r\n");
  EXPECT_EQ(Ask(), "a\r\n");
  const auto before = std::chrono::steady_clock::now();
  worker.RequestStop();
  worker.Join();
  EXPECT_LT(std::chrono::steady_clock::now() - before, 10 * kUploadPollPeriod);
  EXPECT_FALSE(worker.Running());
  ASSERT_TRUE(instrument.Send(kWordStart));
  EXPECT_TRUE(StaysQuiet());
}

// The worker tells how far it is: the lines of the text sent (the closing line not counted), when the first and
// the latest request came, and how it ended.
TEST_F(UploadOverPty, ProgressFollowsEveryRequest) {
  const auto progress = [this] {
    std::lock_guard lock(shared.lock);
    return shared.progress;
  };
  StartUpload("a\r\nb\r\nc\r\n");
  ASSERT_TRUE(WaitUntil([&] { return progress().state == UploadProgress::State::Running; }));
  EXPECT_EQ(progress().lineCount, 3);
  EXPECT_EQ(progress().linesSent, 0);
  EXPECT_FALSE(progress().firstRequest);
  EXPECT_EQ(Ask(), "a\r\n");
  // The worker tells after its write, which the instrument may already have read.
  ASSERT_TRUE(WaitUntil([&] { return progress().linesSent == 1; }));
  ASSERT_TRUE(progress().firstRequest);
  EXPECT_EQ(Ask(), "b\r\n");
  EXPECT_EQ(Ask(), "c\r\n");
  ASSERT_TRUE(WaitUntil([&] { return progress().linesSent == 3; }));
  EXPECT_GE(progress().lastRequest, *progress().firstRequest);
  EXPECT_EQ(progress().state, UploadProgress::State::Running) << "the closing line is still to go";
  EXPECT_EQ(Ask(), kClosingOnTheLine);
  ASSERT_TRUE(WaitUntil([&] { return !worker.Running(); }));
  EXPECT_EQ(progress().state, UploadProgress::State::Finished);
  EXPECT_EQ(progress().linesSent, 3);

  StartUpload("x\r\ny\r\n");
  EXPECT_EQ(Ask(), "x\r\n");
  ASSERT_TRUE(WaitUntil([&] { return progress().linesSent == 1; }));
  worker.RequestStop();
  worker.Join();
  EXPECT_EQ(progress().state, UploadProgress::State::Stopped);
  EXPECT_EQ(progress().linesSent, 1);
  EXPECT_EQ(progress().lineCount, 2);
}

TEST_F(UploadOverPty, StopEndsTheWorkerWhileThePortIsClosed) {
  StartUpload("a\r\n");
  ASSERT_TRUE(port.Close());
  std::this_thread::sleep_for(3 * kUploadPollPeriod);
  const auto before = std::chrono::steady_clock::now();
  worker.RequestStop();
  worker.Join();
  EXPECT_LT(std::chrono::steady_clock::now() - before, 10 * kUploadPollPeriod);
}

TEST_F(UploadOverPty, NewStartReplacesTheRunningWorker) {
  StartUpload("old\r\n");
  StartUpload("new\r\n");
  EXPECT_EQ(Ask(), "new\r\n");
  EXPECT_TRUE(StaysQuiet()) << "only one worker answers";
}

TEST_F(UploadOverPty, StatusHoldsEverythingReceivedWhileTheWindowReadsIt) {
  StartUpload("a\r\nb\r\n");
  std::atomic<bool> done{false};
  std::thread window([&] {
    CString shown;
    while (!done) {
      shown = Status();
      std::this_thread::sleep_for(1ms);
    }
  });
  std::string sent;
  for (const std::string request : {"noise\r\nStart\r\n", "Start", "xxStartyy"}) {
    ASSERT_TRUE(instrument.Send(request));
    sent += request;
    EXPECT_FALSE(ReceiveLine().empty());
  }
  done = true;
  window.join();
  EXPECT_EQ(Status().Bytes(), sent);
  EXPECT_FALSE(worker.Running());
}

TEST_F(UploadOverPty, VanishedInstrumentLeavesTheWorkerPollingQuietly) {
  StartUpload("a\r\n");
  instrument.CloseMaster();
  EXPECT_TRUE(WaitUntil([&] { return port.DeviceGone(); })) << "the window can tell that the device went";
  const double cpuBefore = ProcessCpuSeconds();
  std::this_thread::sleep_for(10 * kUploadPollPeriod);
  EXPECT_LT(ProcessCpuSeconds() - cpuBefore, 0.25) << "the worker spins on the vanished device";
  EXPECT_TRUE(worker.Running());
  const auto before = std::chrono::steady_clock::now();
  worker.RequestStop();
  worker.Join();
  EXPECT_LT(std::chrono::steady_clock::now() - before, 10 * kUploadPollPeriod);
}

// Hardware flow control left on by an earlier program, on a line whose CTS is off: the worker's line waits,
// and the port tells why while it does. A pseudo-terminal keeps the flag and has no CTS to show; suspending
// its output holds the line as a CTS that is off would.
TEST_F(UploadOverPty, LineHeldByFlowControlIsToldWhileItWaits) {
  ASSERT_TRUE(port.Close());
  {
    const int fd = ::open(instrument.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    termios t{};
    ASSERT_EQ(::tcgetattr(fd, &t), 0);
    t.c_cflag |= CRTSCTS;
    ASSERT_EQ(::tcsetattr(fd, TCSANOW, &t), 0);
    ::close(fd);
  }
  OpenPort();
  StartUpload("a\r\nb\r\n");
  ASSERT_TRUE(instrument.SuspendOutput());
  ASSERT_TRUE(instrument.Send(kWordStart));
  EXPECT_TRUE(WaitUntil([&] { return port.OutputHeldBy() == OutputHold::Cts; }));
  EXPECT_TRUE(worker.Running());

  ASSERT_TRUE(instrument.ResumeOutput());
  EXPECT_EQ(ReceiveLine(), "a\r\n");
  EXPECT_TRUE(WaitUntil([&] { return port.OutputHeldBy() == OutputHold::None; }));

  ASSERT_TRUE(instrument.SuspendOutput());
  ASSERT_TRUE(instrument.Send(kWordStart));
  EXPECT_TRUE(WaitUntil([&] { return port.OutputHeldBy() == OutputHold::Cts; }));
  EXPECT_TRUE(port.Close());
  EXPECT_EQ(port.OutputHeldBy(), OutputHold::None);
}

TEST(PrepareUploadLines, AppendsTheClosingLineToThePieces) {
  CStringArray lines;
  lines.Add("left over");
  PrepareUploadLines("a\r\n\r\nb\r\n", lines);
  CStringArray expected;
  for (const char* line : {"a\r", "\r", "b\r", kClosingLine}) expected.Add(line);
  EXPECT_EQ(lines, expected);
}

}  // namespace
}  // namespace kestrion

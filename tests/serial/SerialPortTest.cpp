#include <gtest/gtest.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <future>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "common/PseudoTerminal.h"
#include "common/TestNames.h"
#include "serial/SerialPort.h"

namespace kestrion {
namespace {

using namespace std::chrono_literals;
using testing_support::PseudoTerminal;

std::size_t OpenDescriptorCount() {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++count;
  return count;
}

// Waits until `done()` holds or `limit` passed; true when it holds.
template <typename Done>
bool WaitUntil(Done done, std::chrono::milliseconds limit = 5s) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(2ms);
  }
  return true;
}

std::string AllByteValues() {
  std::string bytes;
  for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
  return bytes;
}

std::string ReadAll(SerialPort& port, std::size_t count) {
  std::string bytes(count, '\0');
  std::size_t got = 0;
  while (got < count && port.WaitForBytes(2s)) got += port.Read(bytes.data() + got, count - got);
  bytes.resize(got);
  return bytes;
}

class SerialPortOnPty : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pty.IsValid());
    ASSERT_TRUE(port.Open(pty.SlavePath()));
  }
  void Configure(const LineSettings& settings = {}) { ASSERT_TRUE(port.Configure(settings)); }

  PseudoTerminal pty;
  SerialPort port;
};

TEST_F(SerialPortOnPty, DefaultsGiveTwoStopBitsEightBitsParityCheckAndARawLine) {
  Configure();
  const termios t = pty.SlaveSettings();
  EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B19200));
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_NE(t.c_cflag & CSTOPB, 0u);
  EXPECT_EQ(t.c_cflag & PARENB, 0u);
  EXPECT_NE(t.c_iflag & INPCK, 0u);
  EXPECT_EQ(t.c_iflag & (ICRNL | INLCR | IGNCR | IXON | IXOFF | ISTRIP), 0u);
  EXPECT_EQ(t.c_oflag & OPOST, 0u);
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
  EXPECT_EQ(port.CurrentSettings(), LineSettings{});
}

TEST_F(SerialPortOnPty, OfferedRatesAreTaken) {
  for (const auto& [rate, code] :
       {std::pair{4800, B4800}, std::pair{9600, B9600}, std::pair{38400, B38400}}) {
    LineSettings settings;
    settings.baudRate = rate;
    Configure(settings);
    const termios t = pty.SlaveSettings();
    EXPECT_EQ(cfgetospeed(&t), code) << rate;
  }
}

struct RefusedCase {
  const char* name;
  LineSettings settings;
};

class RefusedSettings : public testing::TestWithParam<RefusedCase> {};

// A pseudo-terminal forces eight data bits without parity, so it refuses the other data formats like a
// device that cannot do them; rates outside the offered four are refused before the device is touched.
TEST_P(RefusedSettings, AreReportedAndTheDeviceIsFreeAgain) {
  PseudoTerminal pty;
  ASSERT_TRUE(pty.IsValid());
  const termios before = pty.SlaveSettings();
  const std::size_t descriptorsBefore = OpenDescriptorCount();
  {
    SerialPort port;
    ASSERT_TRUE(port.Open(pty.SlavePath()));
    EXPECT_EQ(port.Configure(GetParam().settings).failure, PortFailure::SettingsRefused);
    const termios after = pty.SlaveSettings();
    EXPECT_EQ(cfgetospeed(&after), cfgetospeed(&before)) << "settings given back";
    EXPECT_EQ(after.c_lflag, before.c_lflag) << "settings given back";
    EXPECT_TRUE(port.Close());
    EXPECT_FALSE(port.IsOpen());
  }
  EXPECT_EQ(OpenDescriptorCount(), descriptorsBefore);
  SerialPort again;
  EXPECT_TRUE(again.Open(pty.SlavePath()));
  EXPECT_TRUE(again.Configure({}));
}

INSTANTIATE_TEST_SUITE_P(Cases, RefusedSettings,
                         testing::Values(RefusedCase{"SevenDataBits", {4800, 7, Parity::None, true, 2}},
                                         RefusedCase{"OddParity", {9600, 8, Parity::Odd, true, 2}},
                                         RefusedCase{"EvenParity", {9600, 8, Parity::Even, true, 2}},
                                         RefusedCase{"Rate115200", {115200, 8, Parity::None, true, 2}},
                                         RefusedCase{"RateZero", {0, 8, Parity::None, true, 2}},
                                         RefusedCase{"SixDataBits", {9600, 6, Parity::None, true, 2}},
                                         RefusedCase{"ParityOutOfRange",
                                                     {9600, 8, static_cast<Parity>(7), true, 2}}),
                         testing_support::RowName());

TEST_F(SerialPortOnPty, SecondOpenOfTheSameDeviceIsInUse) {
  const PortResult again = port.Open(pty.SlavePath());
  EXPECT_EQ(again.failure, PortFailure::InUse);
  EXPECT_TRUE(port.IsOpen()) << "the first hold stays";

  SerialPort other;
  EXPECT_EQ(other.Open(pty.SlavePath()).failure, PortFailure::InUse);
  EXPECT_FALSE(other.IsOpen());

  EXPECT_TRUE(port.Close());
  EXPECT_TRUE(other.Open(pty.SlavePath()));
}

TEST_F(SerialPortOnPty, AllByteValuesPassUnalteredBothWays) {
  Configure();
  ASSERT_TRUE(pty.Send(AllByteValues()));
  EXPECT_EQ(ReadAll(port, 256), AllByteValues());

  ASSERT_TRUE(port.Write(AllByteValues()));
  EXPECT_EQ(pty.Receive(256), AllByteValues());
}

TEST_F(SerialPortOnPty, QueueKeepsWhatArrivesWhileNobodyReads) {
  Configure();
  std::string sent(64 * 1024, '\0');
  for (std::size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  ASSERT_TRUE(pty.Send(sent)) << "the port stopped taking bytes";
  std::this_thread::sleep_for(2s);
  EXPECT_EQ(port.BytesWaiting(), sent.size());
  EXPECT_EQ(ReadAll(port, sent.size()), sent);
  EXPECT_EQ(port.BytesWaiting(), 0u);
}

TEST_F(SerialPortOnPty, ReadChunkTakesAtMost254AndDropsZeroBytesAlone) {
  Configure();
  std::string sent(300, 'a');
  for (std::size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<char>('a' + i % 26);
  sent[10] = '\0';
  sent[11] = '\0';
  sent[260] = '\0';
  ASSERT_TRUE(pty.Send(sent));
  ASSERT_TRUE(WaitUntil([&] { return port.BytesWaiting() == sent.size(); }));

  auto withoutZeros = [](std::string s) {
    std::erase(s, '\0');
    return s;
  };
  const ChunkRead first = ReadChunk(port);
  EXPECT_TRUE(first.readBytes);
  EXPECT_EQ(first.chunk.Bytes(), withoutZeros(sent.substr(0, kMaxReadBytes)));
  const ChunkRead second = ReadChunk(port);
  EXPECT_TRUE(second.readBytes);
  EXPECT_EQ(second.chunk.Bytes(), withoutZeros(sent.substr(kMaxReadBytes)));
  EXPECT_FALSE(ReadChunk(port).readBytes);

  ASSERT_TRUE(pty.Send(std::string(3, '\0')));
  ASSERT_TRUE(WaitUntil([&] { return port.BytesWaiting() == 3u; }));
  const ChunkRead zeros = ReadChunk(port);
  EXPECT_TRUE(zeros.readBytes) << "bytes were read, even if none is kept";
  EXPECT_TRUE(zeros.chunk.IsEmpty());
}

double ProcessCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

TEST_F(SerialPortOnPty, VanishedDeviceLeavesQueuedBytesThenReportsNothing) {
  Configure();
  ASSERT_TRUE(pty.Send("abc"));
  ASSERT_TRUE(WaitUntil([&] { return port.BytesWaiting() == 3u; }));
  pty.CloseMaster();

  const double cpuBefore = ProcessCpuSeconds();
  std::this_thread::sleep_for(500ms);
  EXPECT_LT(ProcessCpuSeconds() - cpuBefore, 0.25) << "the reader spins on the hang-up";

  EXPECT_EQ(port.BytesWaiting(), 3u);
  EXPECT_EQ(ReadAll(port, 3), "abc");
  EXPECT_EQ(port.BytesWaiting(), std::nullopt);
  EXPECT_FALSE(ReadChunk(port).readBytes);
  const auto before = std::chrono::steady_clock::now();
  EXPECT_FALSE(port.WaitForBytes(10s));
  EXPECT_LT(std::chrono::steady_clock::now() - before, 5s);
  EXPECT_EQ(port.Write("x").failure, PortFailure::DeviceGone);
  EXPECT_TRUE(port.IsOpen()) << "the device is still held until Close";
  EXPECT_TRUE(port.DeviceGone());
  port.Close();
  EXPECT_FALSE(port.IsOpen());
  EXPECT_FALSE(port.DeviceGone());
}

TEST_F(SerialPortOnPty, CloseEndsAWaitInAnotherThread) {
  Configure();
  auto waiting = std::async(std::launch::async, [&] { return port.WaitForBytes(30s); });
  std::this_thread::sleep_for(100ms);
  EXPECT_TRUE(port.Close());
  ASSERT_EQ(waiting.wait_for(5s), std::future_status::ready);
  EXPECT_FALSE(waiting.get());
}

TEST_F(SerialPortOnPty, StopEndsAWait) {
  Configure();
  std::stop_source stop;
  auto waiting = std::async(std::launch::async, [&] { return port.WaitForBytes(30s, stop.get_token()); });
  std::this_thread::sleep_for(100ms);
  stop.request_stop();
  ASSERT_EQ(waiting.wait_for(5s), std::future_status::ready);
  EXPECT_FALSE(waiting.get());
  EXPECT_TRUE(port.IsOpen());
}

TEST_F(SerialPortOnPty, CloseEndsAWriteThatTheDeviceHoldsUp) {
  Configure();
  ASSERT_TRUE(pty.SuspendOutput());
  auto writing = std::async(std::launch::async, [&] { return port.Write("Upload Finish\r\r\n"); });
  std::this_thread::sleep_for(200ms);
  EXPECT_TRUE(port.Close());
  ASSERT_EQ(writing.wait_for(5s), std::future_status::ready);
  EXPECT_EQ(writing.get().failure, PortFailure::NotOpen);
}

// A line nobody reads: the pseudo-terminal's buffer fills and a write waits for room that never comes.
class StalledLine : public SerialPortOnPty {
 protected:
  void SetUp() override {
    SerialPortOnPty::SetUp();
    Configure();
    ASSERT_TRUE(pty.SuspendOutput());
    writing = std::async(std::launch::async, [this] { return port.Write(std::string(256 * 1024, 'x'), stop.get_token()); });
    std::this_thread::sleep_for(200ms);
    ASSERT_EQ(writing.wait_for(0ms), std::future_status::timeout) << "the write waits on the line";
  }
  // How long `action` takes until the write has ended; printed for the record.
  template <typename Action>
  std::chrono::milliseconds TimeUntilTheWriteEnds(const char* what, Action action) {
    const auto before = std::chrono::steady_clock::now();
    action();
    EXPECT_EQ(writing.wait_for(5s), std::future_status::ready);
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - before);
    std::cout << what << " on a stalled line took " << took.count() << " ms\n";
    return took;
  }

  std::stop_source stop;
  std::future<PortResult> writing;
};

TEST_F(StalledLine, CloseDiscardsPendingOutputAndDoesNotWait) {
  const auto took = TimeUntilTheWriteEnds("Close", [this] { EXPECT_TRUE(port.Close()); });
  EXPECT_EQ(writing.get().failure, PortFailure::NotOpen);
  EXPECT_LT(took, 1s);
  ASSERT_TRUE(pty.ResumeOutput());
  EXPECT_LT(pty.ReceiveAll(200ms).size(), 256u * 1024) << "what was not sent is given up";
  EXPECT_TRUE(port.Open(pty.SlavePath())) << "the device is free again";
}

TEST_F(StalledLine, StopEndsTheWriteAndKeepsThePort) {
  const auto took = TimeUntilTheWriteEnds("A stop", [this] { stop.request_stop(); });
  EXPECT_EQ(writing.get().failure, PortFailure::Stopped);
  EXPECT_LT(took, 1s);
  EXPECT_TRUE(port.IsOpen());
  EXPECT_EQ(port.Write("x", stop.get_token()).failure, PortFailure::Stopped);
}

// The port's own queue stops taking bytes at its limit; the rest waits in the device until room is made, and
// the stop counts as an overrun. Nothing is lost over a pseudo-terminal, whose writer simply waits.
TEST_F(SerialPortOnPty, InputQueueIsBoundedAndTheRestWaitsInTheDevice) {
  Configure();
  const std::size_t total = kInputQueueLimit + 256 * 1024;
  auto sending = std::async(std::launch::async, [&] { return pty.Send(std::string(total, 'q'), 30s); });
  ASSERT_TRUE(WaitUntil([&] { return port.BytesWaiting() >= kInputQueueLimit; }, 30s));
  std::this_thread::sleep_for(200ms);
  EXPECT_LE(*port.BytesWaiting(), kInputQueueLimit + 4096) << "at most one read beyond the limit";
  EXPECT_EQ(port.LineErrors().queueOverruns, 1u);
  EXPECT_EQ(port.LineErrors().overruns, 0u) << "the device lost nothing";
  std::size_t got = 0;
  std::vector<char> buffer(1 << 20);
  while (got < total && port.WaitForBytes(5s)) got += port.Read(buffer.data(), buffer.size());
  EXPECT_EQ(got, total);
  EXPECT_TRUE(sending.get());
}

TEST_F(SerialPortOnPty, LineErrorsStartAtZeroAndGoWithTheConnection) {
  Configure();
  EXPECT_EQ(port.LineErrors(), LineErrorCounts{});
  ASSERT_TRUE(pty.Send("\xFF\xFF"));
  EXPECT_EQ(ReadAll(port, 1), "\xFF") << "a good 0xFF is no error";
  EXPECT_EQ(port.LineErrors().Total(), 0u);
  port.Close();
  EXPECT_EQ(port.LineErrors(), LineErrorCounts{});
}

TEST_F(SerialPortOnPty, WriteThatCannotFinishTimesOut) {
  Configure();
  ASSERT_TRUE(pty.SuspendOutput());
  const auto before = std::chrono::steady_clock::now();
  EXPECT_EQ(port.Write("x").failure, PortFailure::TimedOut);
  const auto took = std::chrono::steady_clock::now() - before;
  EXPECT_GE(took, kWritePerByte + kWriteConstant);
  EXPECT_LT(took, kWritePerByte + kWriteConstant + 2s);

  ASSERT_TRUE(pty.ResumeOutput());
  ASSERT_TRUE(port.Write("y"));
  EXPECT_EQ(pty.Receive(1), "y");
}

// A terminal in line mode, as a port is before Kestrion configures it, holds a partial line unread and
// unmarked. The settings change makes it readable, and marks what comes after it: each byte is read under the
// marking it arrived with.
TEST(SerialPortMarking, BytesHeldBeforeTheSettingsChangeAreReadUnmarkedAndLaterOnesMarked) {
  PseudoTerminal pty;
  ASSERT_TRUE(pty.IsValid());
  const termios initial = pty.SlaveSettings();
  ASSERT_NE(initial.c_lflag & ICANON, 0u);
  ASSERT_EQ(initial.c_iflag & PARMRK, 0u);
  SerialPort port;
  ASSERT_TRUE(port.Open(pty.SlavePath()));
  const std::string early =
      "A\xFF\xFF"
      "B\xFF";
  ASSERT_TRUE(pty.Send(early));
  ASSERT_EQ(pty.Receive(early.size()), early) << "the terminal echoes what it took in";
  EXPECT_EQ(port.BytesWaiting(), 0u) << "a partial line waits in the terminal";

  ASSERT_TRUE(port.Configure({}));
  EXPECT_EQ(ReadAll(port, early.size()), early);
  ASSERT_TRUE(
      pty.Send("\xFF"
               "C"));
  EXPECT_EQ(ReadAll(port, 2),
            "\xFF"
            "C")
      << "the terminal doubles a good 0xFF once marking is on";
  EXPECT_EQ(port.LineErrors().Total(), 0u);
}

TEST(SerialPortReopen, BytesSentWhileClosedAreReadAfterTheNextOpen) {
  PseudoTerminal pty;
  ASSERT_TRUE(pty.IsValid());
  SerialPort port;
  ASSERT_TRUE(port.Open(pty.SlavePath()));
  ASSERT_TRUE(port.Configure({}));
  ASSERT_TRUE(pty.Send("old"));
  ASSERT_TRUE(WaitUntil([&] { return port.BytesWaiting() == 3u; }));
  ASSERT_TRUE(port.Close());
  EXPECT_EQ(port.BytesWaiting(), std::nullopt) << "the queue goes with the device";

  ASSERT_TRUE(pty.Send("Start"));
  ASSERT_TRUE(port.Open(pty.SlavePath()));
  EXPECT_EQ(ReadAll(port, 5), "Start");
}

}  // namespace
}  // namespace kestrion

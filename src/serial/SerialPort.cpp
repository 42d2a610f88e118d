// What every platform shares: the input queue that the reader thread fills, the lock rules, the line error
// counts. The device calls are in SerialPortPosix.cpp and SerialPortWin32.cpp.
#include "serial/SerialPort.h"

#include <algorithm>
#include <array>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>

#include "serial/SerialDevice.h"

namespace kestrion {
namespace {

using detail::SerialDevice;
using Clock = std::chrono::steady_clock;

// How long the reader waits for input before it looks at the driver's error counts again.
constexpr std::chrono::milliseconds kReaderIdle{500};

// Before the device is released, what it still has to send goes out while the line takes it (the last line of
// an upload, the end of a download the station sends); a line that took nothing for kDrainStall (flow control
// holding, the instrument switched off) has the rest given up, and no drain lasts beyond kDrainLimit, which a
// full driver queue needs at the slowest rate.
constexpr std::chrono::milliseconds kDrainStall{100};
constexpr std::chrono::milliseconds kDrainLimit{3000};
constexpr std::chrono::milliseconds kDrainStep{5};

void DrainWhileMoving(const SerialDevice& device) {
  const Clock::time_point start = Clock::now();
  Clock::time_point lastProgress = start;
  std::optional<std::size_t> left = device.BytesToSend();
  while (left && *left > 0) {
    std::this_thread::sleep_for(kDrainStep);
    const Clock::time_point now = Clock::now();
    const std::optional<std::size_t> next = device.BytesToSend();
    if (next && *next < *left) lastProgress = now;
    left = next;
    if (now - lastProgress >= kDrainStall || now - start >= kDrainLimit) return;
  }
}

constexpr std::array<int, 4> kOfferedRates{4800, 9600, 19200, 38400};

}  // namespace

bool detail::IsOffered(const LineSettings& settings) {
  return std::find(kOfferedRates.begin(), kOfferedRates.end(), settings.baudRate) != kOfferedRates.end() &&
         (settings.dataBits == 7 || settings.dataBits == 8) &&
         (settings.parity == Parity::None || settings.parity == Parity::Odd ||
          settings.parity == Parity::Even) &&
         (settings.stopBits == 1 || settings.stopBits == 2);
}

struct SerialPort::State {
  // Held around every use of the device and around its release, so that no operation of another thread uses
  // it after Close. The reader thread does not take it: Close joins the reader before the device goes.
  mutable std::mutex ioLock;
  std::unique_ptr<SerialDevice> device;  // under ioLock
  std::jthread reader;                   // under ioLock

  // The input queue and what the reader tells about the device.
  mutable std::mutex queueLock;
  mutable std::condition_variable_any queueChanged;
  std::string queue;          // under queueLock; bytes from queueHead on are waiting
  std::size_t queueHead = 0;  // under queueLock
  bool held = false;          // under queueLock: a device is held
  bool gone = false;          // under queueLock: the device vanished; the reader has stopped
  bool closing = false;       // under queueLock: Close has begun; the reader lets go
  SerialDevice* wakeable = nullptr;  // under queueLock: the held device, for Close to wake without ioLock
  LineErrorCounts deviceErrors;      // under queueLock: as the reader last read them from the device
  std::uint64_t queueOverruns = 0;   // under queueLock: times the reader found the queue full

  void ReaderLoop(SerialDevice& device);
  // Waits until the queue has room again; false when the reader is to let go instead.
  bool WaitForRoom();
  void Enqueue(const std::string& bytes, const LineErrorCounts& errors);
  void MarkGone();
  bool IsGone() const;
  std::size_t WaitingLocked() const { return queue.size() - queueHead; }
  void ResetLocked();
};

void SerialPort::State::ResetLocked() {
  queue.clear();
  queueHead = 0;
  gone = false;
  closing = false;
  deviceErrors = {};
  queueOverruns = 0;
}

bool SerialPort::State::WaitForRoom() {
  std::unique_lock lock(queueLock);
  if (WaitingLocked() < kInputQueueLimit) return !closing;
  ++queueOverruns;
  queueChanged.wait(lock, [this] { return closing || WaitingLocked() < kInputQueueLimit; });
  return !closing;
}

void SerialPort::State::Enqueue(const std::string& bytes, const LineErrorCounts& errors) {
  {
    std::lock_guard lock(queueLock);
    if (queueHead > 0 && queueHead >= queue.size() / 2) {
      queue.erase(0, queueHead);
      queueHead = 0;
    }
    queue.append(bytes);
    deviceErrors = errors;
  }
  queueChanged.notify_all();
}

void SerialPort::State::MarkGone() {
  {
    std::lock_guard lock(queueLock);
    gone = true;
  }
  queueChanged.notify_all();
}

bool SerialPort::State::IsGone() const {
  std::lock_guard lock(queueLock);
  return gone;
}

// Drains the device into the queue until Close wakes it or the device vanishes. A vanished device (a pulled
// USB adapter, a pseudo-terminal whose other side closed) keeps reporting a hang-up, so the reader stops there
// instead of polling it in a loop.
void SerialPort::State::ReaderLoop(SerialDevice& dev) {
  std::string bytes;
  for (;;) {
    if (!WaitForRoom()) return;
    bytes.clear();
    const SerialDevice::Wait wait = dev.ReadSome(bytes, kReaderIdle);
    if (wait == SerialDevice::Wait::Woken) return;
    Enqueue(bytes, dev.Errors());
    if (wait == SerialDevice::Wait::Gone) {
      MarkGone();
      return;
    }
  }
}

SerialPort::SerialPort() : m_state(std::make_unique<State>()) {}

SerialPort::~SerialPort() {
  Close();
}

PortResult SerialPort::Open(const std::string& portName) {
  State& s = *m_state;
  std::lock_guard io(s.ioLock);
  if (s.device) return {PortFailure::InUse, 0};

  PortResult result;
  std::unique_ptr<SerialDevice> device = SerialDevice::Open(portName, result);
  if (!device) return result;
  {
    std::lock_guard queue(s.queueLock);
    s.ResetLocked();
  }
  SerialDevice& dev = *device;
  try {
    s.reader = std::jthread([&s, &dev] { s.ReaderLoop(dev); });
  } catch (const std::system_error& error) {
    return {PortFailure::Other, error.code().value()};
  }
  s.device = std::move(device);
  {
    std::lock_guard queue(s.queueLock);
    s.held = true;
    s.wakeable = &dev;
  }
  return {};
}

PortResult SerialPort::Configure(const LineSettings& settings) {
  State& s = *m_state;
  std::lock_guard io(s.ioLock);
  if (!s.device) return {PortFailure::NotOpen, 0};
  return s.device->Configure(settings);
}

std::optional<LineSettings> SerialPort::CurrentSettings() const {
  const State& s = *m_state;
  std::lock_guard io(s.ioLock);
  if (!s.device) return std::nullopt;
  return s.device->CurrentSettings();
}

std::optional<std::size_t> SerialPort::BytesWaiting() const {
  const State& s = *m_state;
  std::lock_guard lock(s.queueLock);
  if (!s.held) return std::nullopt;
  const std::size_t waiting = s.WaitingLocked();
  if (waiting == 0 && s.gone) return std::nullopt;
  return waiting;
}

std::size_t SerialPort::Read(char* buffer, std::size_t maxBytes) {
  State& s = *m_state;
  std::size_t count = 0;
  {
    std::lock_guard lock(s.queueLock);
    if (!s.held || buffer == nullptr) return 0;
    count = std::min(maxBytes, s.WaitingLocked());
    if (count == 0) return 0;
    std::memcpy(buffer, s.queue.data() + s.queueHead, count);
    s.queueHead += count;
    if (s.queueHead == s.queue.size()) {
      s.queue.clear();
      s.queueHead = 0;
    }
  }
  // A reader waiting for room may go on.
  s.queueChanged.notify_all();
  return count;
}

bool SerialPort::WaitForBytes(std::chrono::milliseconds timeout) const {
  return WaitForBytes(timeout, std::stop_token{});
}

bool SerialPort::WaitForBytes(std::chrono::milliseconds timeout, std::stop_token stop) const {
  const State& s = *m_state;
  std::unique_lock lock(s.queueLock);
  s.queueChanged.wait_for(lock, stop, timeout, [&s] { return !s.held || s.gone || s.WaitingLocked() > 0; });
  return s.held && s.WaitingLocked() > 0;
}

PortResult SerialPort::Write(std::string_view bytes, std::stop_token stop) {
  State& s = *m_state;
  std::lock_guard io(s.ioLock);
  if (!s.device) return {PortFailure::NotOpen, 0};
  if (s.IsGone()) return {PortFailure::DeviceGone, 0};
  if (stop.stop_requested()) return {PortFailure::Stopped, 0};
  const auto allowance = kWritePerByte * static_cast<long long>(bytes.size()) + kWriteConstant;
  return s.device->Write(bytes, Clock::now() + allowance, stop);
}

LineErrorCounts SerialPort::LineErrors() const {
  const State& s = *m_state;
  std::lock_guard lock(s.queueLock);
  if (!s.held) return {};
  LineErrorCounts counts = s.deviceErrors;
  counts.overruns += s.queueOverruns;
  return counts;
}

bool SerialPort::IsOpen() const {
  const State& s = *m_state;
  std::lock_guard lock(s.queueLock);
  return s.held;
}

PortResult SerialPort::Close() {
  State& s = *m_state;
  // Let a waiting write and the reader go before waiting for the lock that the write holds.
  {
    std::lock_guard lock(s.queueLock);
    s.closing = true;
    if (s.wakeable != nullptr) s.wakeable->Wake();
  }
  s.queueChanged.notify_all();
  std::lock_guard io(s.ioLock);
  if (!s.device) {
    std::lock_guard lock(s.queueLock);
    s.closing = false;
    return {};
  }
  if (s.reader.joinable()) s.reader.join();
  {
    std::lock_guard lock(s.queueLock);
    s.held = false;
    s.wakeable = nullptr;
    s.ResetLocked();
  }
  s.queueChanged.notify_all();
  DrainWhileMoving(*s.device);
  const PortResult closed = s.device->Close();
  s.device.reset();
  return closed;
}

ChunkRead ReadChunk(SerialPort& port) {
  ChunkRead result;
  const std::optional<std::size_t> waiting = port.BytesWaiting();
  if (!waiting || *waiting == 0) return result;
  std::array<char, kMaxReadBytes> buffer{};
  const std::size_t count = port.Read(buffer.data(), std::min(*waiting, buffer.size()));
  std::string bytes(buffer.data(), count);
  // A zero byte is not part of the protocol; drop it alone and keep what follows it.
  const auto zeros = std::remove(bytes.begin(), bytes.end(), '\0');
  result.zeroBytes = static_cast<int>(bytes.end() - zeros);
  bytes.erase(zeros, bytes.end());
  result.readBytes = true;
  result.chunk = CString(bytes);
  return result;
}

}  // namespace kestrion

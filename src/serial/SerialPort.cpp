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

// How long the reader waits for input before it looks at the driver's error counts and the output again.
constexpr std::chrono::milliseconds kReaderIdle{250};
// The reader looks at the output at most this often, so that a stall is seen between two looks.
constexpr std::chrono::milliseconds kOutputLook{200};

// How often the drain at close asks the device what it still has to send.
constexpr std::chrono::milliseconds kDrainStep{5};
// The margin of the stall window beyond one block's time.
constexpr std::chrono::milliseconds kDrainMargin{100};
constexpr std::size_t kAdapterBlock = 256;

// Sends what the device still holds while the line takes it; true when all went.
bool DrainWhileMoving(const SerialDevice& device) {
  detail::OutputDrain drain(Clock::now(), detail::DrainStallWindow(device.CurrentSettings()),
                            device.BytesToSend());
  while (drain.Current() == detail::OutputDrain::State::Going) {
    std::this_thread::sleep_for(kDrainStep);
    drain.Update(Clock::now(), device.BytesToSend());
  }
  return drain.Current() == detail::OutputDrain::State::Drained;
}

constexpr std::array<int, 4> kOfferedRates{4800, 9600, 19200, 38400};

}  // namespace

std::chrono::milliseconds detail::DrainStallWindow(const std::optional<LineSettings>& settings) {
  LineSettings line = settings.value_or(LineSettings{kOfferedRates.front(), 8, Parity::Even, true, 2});
  if (line.baudRate <= 0) line.baudRate = kOfferedRates.front();
  const long long bitsPerByte = 1 + std::clamp(line.dataBits, 5, 8) + (line.parity == Parity::None ? 0 : 1) +
                                std::clamp(line.stopBits, 1, 2);
  const long long blockMs =
      (static_cast<long long>(kAdapterBlock) * bitsPerByte * 1000 + line.baudRate - 1) / line.baudRate;
  return std::min(std::chrono::milliseconds(blockMs) + kDrainMargin, kDrainLimit);
}

detail::OutputDrain::OutputDrain(Clock::time_point start, std::chrono::milliseconds stallWindow,
                                 std::optional<std::size_t> left)
    : m_start(start),
      m_lastProgress(start),
      m_stallWindow(stallWindow),
      m_left(left),
      m_state(StateFor(left)) {}

detail::OutputDrain::State detail::OutputDrain::StateFor(std::optional<std::size_t> left) const {
  // A device that cannot say what it holds is not waited for.
  if (!left) return State::GivenUp;
  return *left == 0 ? State::Drained : State::Going;
}

detail::OutputDrain::State detail::OutputDrain::Update(Clock::time_point now,
                                                       std::optional<std::size_t> left) {
  if (m_state != State::Going) return m_state;
  if (left && m_left && *left < *m_left) m_lastProgress = now;
  m_left = left;
  m_state = StateFor(left);
  if (m_state == State::Going && (now - m_lastProgress >= m_stallWindow || now - m_start >= kDrainLimit)) {
    m_state = State::GivenUp;
  }
  return m_state;
}

namespace {

// One look at the output, against the look before it.
struct OutputSample {
  bool ctsFlow = false;
  bool dsrFlow = false;
  std::optional<bool> cts;
  std::optional<bool> dsr;
  bool stalled = false;  // output waited at both looks and nothing moved in between
  bool flowed = false;   // a write sent all its bytes since the last look, and the device holds none of them
};

OutputHold NextOutputHold(OutputHold previous, const OutputSample& sample) {
  const bool ctsOff = sample.ctsFlow && sample.cts != true;
  const bool dsrOff = sample.dsrFlow && sample.dsr != true;
  if (sample.stalled) {
    if (ctsOff) return OutputHold::Cts;
    if (dsrOff) return OutputHold::Dsr;
    return OutputHold::None;  // held by something else: the other end's buffer, a suspended terminal
  }
  if (sample.flowed) return OutputHold::None;
  if (previous == OutputHold::Cts && ctsOff) return OutputHold::Cts;
  if (previous == OutputHold::Dsr && dsrOff) return OutputHold::Dsr;
  return OutputHold::None;
}

}  // namespace

OutputHold detail::OutputHoldWatch::Look(const WriteWatch& watch, const OutputLines& lines) {
  const bool writing = watch.waiting.load();
  const std::uint64_t moved = watch.moved.load();
  const std::uint64_t completed = watch.completed.load();
  const bool queued = lines.queued && *lines.queued > 0;
  const bool waiting = writing || queued;
  const bool progressed =
      moved != m_moved || completed != m_completed || (lines.queued && m_queued && *lines.queued < *m_queued);
  OutputSample sample;
  sample.ctsFlow = lines.ctsFlow;
  sample.dsrFlow = lines.dsrFlow;
  sample.cts = lines.cts;
  sample.dsr = lines.dsr;
  sample.stalled = m_looked && m_waiting && waiting && !progressed;
  sample.flowed = completed != m_completed && !queued;
  m_looked = true;
  m_waiting = waiting;
  m_moved = moved;
  m_completed = completed;
  m_queued = lines.queued;
  m_hold = NextOutputHold(m_hold, sample);
  return m_hold;
}

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
  OutputHold outputHold = OutputHold::None;  // under queueLock: as the reader last saw the output

  void ReaderLoop(SerialDevice& device);
  // Waits until the queue has room again; false when the reader is to let go instead.
  bool WaitForRoom();
  void Enqueue(const std::string& bytes, const LineErrorCounts& errors, OutputHold hold);
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
  outputHold = OutputHold::None;
}

bool SerialPort::State::WaitForRoom() {
  std::unique_lock lock(queueLock);
  if (WaitingLocked() < kInputQueueLimit) return !closing;
  ++queueOverruns;
  queueChanged.wait(lock, [this] { return closing || WaitingLocked() < kInputQueueLimit; });
  return !closing;
}

void SerialPort::State::Enqueue(const std::string& bytes, const LineErrorCounts& errors, OutputHold hold) {
  {
    std::lock_guard lock(queueLock);
    if (queueHead > 0 && queueHead >= queue.size() / 2) {
      queue.erase(0, queueHead);
      queueHead = 0;
    }
    queue.append(bytes);
    deviceErrors = errors;
    outputHold = hold;
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
  detail::OutputHoldWatch output;
  OutputHold hold = OutputHold::None;
  Clock::time_point lastLook{};
  for (;;) {
    if (!WaitForRoom()) return;
    bytes.clear();
    const SerialDevice::Wait wait = dev.ReadSome(bytes, kReaderIdle);
    if (wait == SerialDevice::Wait::Woken) return;
    if (const Clock::time_point now = Clock::now(); now - lastLook >= kOutputLook) {
      hold = output.Look(dev.Watch(), dev.Lines());
      lastLook = now;
    }
    Enqueue(bytes, dev.Errors(), hold);
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
  detail::WriteWatch& watch = s.device->Watch();
  watch.waiting = true;
  const PortResult result = s.device->Write(bytes, Clock::now() + allowance, stop);
  watch.waiting = false;
  if (result) ++watch.completed;
  return result;
}

LineErrorCounts SerialPort::LineErrors() const {
  const State& s = *m_state;
  std::lock_guard lock(s.queueLock);
  if (!s.held) return {};
  LineErrorCounts counts = s.deviceErrors;
  counts.queueOverruns = s.queueOverruns;
  return counts;
}

OutputHold SerialPort::OutputHeldBy() const {
  const State& s = *m_state;
  std::lock_guard lock(s.queueLock);
  return s.held ? s.outputHold : OutputHold::None;
}

bool SerialPort::DeviceGone() const {
  const State& s = *m_state;
  std::lock_guard lock(s.queueLock);
  return s.held && s.gone;
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
  const bool drained = DrainWhileMoving(*s.device);
  const PortResult closed = s.device->Close(!drained);
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

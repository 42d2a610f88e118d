#include "serial/SerialPort.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>

#include "serial/FileDescriptor.h"
#include "serial/PortNames.h"

namespace kestrion {
namespace {

using Clock = std::chrono::steady_clock;

// Whether a failure came while opening (a device that cannot be reached was never there) or while the device
// was held (the same errors mean that it went away).
enum class Step { Opening, Holding };

// The one place where a system error becomes a reason.
PortFailure FailureForErrno(int error, Step step) {
  switch (error) {
    case 0:
      return PortFailure::None;
    case ENOENT:
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
      return PortFailure::NoSuchDevice;
    case ENODEV:
    case ENXIO:
    case EIO:
      return step == Step::Opening ? PortFailure::NoSuchDevice : PortFailure::DeviceGone;
    case EBUSY:
      return PortFailure::InUse;
    case EWOULDBLOCK:  // flock: another open file already holds the lock
      return step == Step::Opening ? PortFailure::InUse : PortFailure::Other;
    case EACCES:
    case EPERM:
    case EROFS:
      return PortFailure::PermissionDenied;
    case ETIMEDOUT:
      return PortFailure::TimedOut;
    case EBADF:
      return PortFailure::NotOpen;
    default:
      return PortFailure::Other;
  }
}

PortResult Failure(int error, Step step) {
  return {FailureForErrno(error, step), error};
}
PortResult Failure(PortFailure failure, int error = 0) {
  return {failure, error};
}

struct BaudRow {
  int rate;
  speed_t code;
  bool offered;  // one of the rates the line settings may choose
};

constexpr std::array<BaudRow, 11> kBaudTable{{
    {1200, B1200, false},
    {2400, B2400, false},
    {4800, B4800, true},
    {9600, B9600, true},
    {19200, B19200, true},
    {38400, B38400, true},
    {57600, B57600, false},
    {115200, B115200, false},
    {230400, B230400, false},
    {460800, B460800, false},
    {921600, B921600, false},
}};

const BaudRow* BaudByRate(int rate) {
  const auto* row =
      std::find_if(kBaudTable.begin(), kBaudTable.end(), [rate](const BaudRow& r) { return r.rate == rate; });
  return row == kBaudTable.end() ? nullptr : row;
}

int RateOfCode(speed_t code) {
  const auto* row =
      std::find_if(kBaudTable.begin(), kBaudTable.end(), [code](const BaudRow& r) { return r.code == code; });
  return row == kBaudTable.end() ? 0 : row->rate;
}

bool IsOffered(const LineSettings& settings) {
  const BaudRow* baud = BaudByRate(settings.baudRate);
  return baud != nullptr && baud->offered && (settings.dataBits == 7 || settings.dataBits == 8) &&
         (settings.parity == Parity::None || settings.parity == Parity::Odd ||
          settings.parity == Parity::Even) &&
         (settings.stopBits == 1 || settings.stopBits == 2);
}

// termios flags are unsigned while their macros are int constants; these keep the conversions in one place.
void SetBits(tcflag_t& field, unsigned bits) {
  field |= static_cast<tcflag_t>(bits);
}
void ClearBits(tcflag_t& field, unsigned bits) {
  field &= ~static_cast<tcflag_t>(bits);
}
bool HasBits(tcflag_t field, unsigned bits) {
  return (field & static_cast<tcflag_t>(bits)) != 0;
}

// Everything that would alter a byte on its way in or out, or hold one back.
constexpr unsigned kInputTranslation =
    IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IUCLC | IXON | IXANY | IXOFF | IMAXBEL;
constexpr unsigned kLocalProcessing = ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN;

void ApplySettings(const LineSettings& settings, speed_t code, termios& t) {
  cfsetospeed(&t, code);
  cfsetispeed(&t, code);

  ClearBits(t.c_cflag, CSIZE | PARENB | PARODD | CMSPAR | CSTOPB);
  SetBits(t.c_cflag, settings.dataBits == 7 ? CS7 : CS8);
  if (settings.parity != Parity::None) SetBits(t.c_cflag, PARENB);
  if (settings.parity == Parity::Odd) SetBits(t.c_cflag, PARODD);
  if (settings.stopBits == 2) SetBits(t.c_cflag, CSTOPB);
  // The receiver has to be on, and the line has to work on a three-wire cable that carries no carrier detect.
  SetBits(t.c_cflag, CREAD | CLOCAL);

  ClearBits(t.c_iflag, kInputTranslation | INPCK);
  if (settings.parityCheck) SetBits(t.c_iflag, INPCK);
  ClearBits(t.c_oflag, OPOST);
  ClearBits(t.c_lflag, kLocalProcessing);
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;
}

LineSettings SettingsOf(const termios& t) {
  LineSettings settings;
  const speed_t output = cfgetospeed(&t);
  const speed_t input = cfgetispeed(&t);
  settings.baudRate = (input == output || input == B0) ? RateOfCode(output) : 0;
  switch (t.c_cflag & CSIZE) {
    case CS5:
      settings.dataBits = 5;
      break;
    case CS6:
      settings.dataBits = 6;
      break;
    case CS7:
      settings.dataBits = 7;
      break;
    default:
      settings.dataBits = 8;
      break;
  }
  settings.parity =
      !HasBits(t.c_cflag, PARENB) ? Parity::None : (HasBits(t.c_cflag, PARODD) ? Parity::Odd : Parity::Even);
  settings.parityCheck = HasBits(t.c_iflag, INPCK);
  settings.stopBits = HasBits(t.c_cflag, CSTOPB) ? 2 : 1;
  return settings;
}

bool TookSettings(const LineSettings& wanted, const termios& actual) {
  return SettingsOf(actual) == wanted && !HasBits(actual.c_iflag, kInputTranslation) &&
         !HasBits(actual.c_oflag, OPOST) && !HasBits(actual.c_lflag, kLocalProcessing) &&
         HasBits(actual.c_cflag, CREAD);
}

// Milliseconds from now until `deadline`, rounded up so that a poll never wakes just before it.
int MillisecondsUntil(Clock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return static_cast<int>(std::clamp<long long>(left, 0, 60'000));
}

constexpr std::size_t kReaderChunk = 4096;

// Makes an eventfd readable, for good: what waits on it lets go.
void Signal(int eventFd) {
  if (eventFd < 0) return;
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = ::write(eventFd, &one, sizeof one);
}

}  // namespace

struct SerialPort::State {
  // Held around every use of the device descriptor and around its release, so that no operation of another
  // thread uses the descriptor after Close. The reader thread does not take it: Close joins the reader before
  // the descriptor goes.
  mutable std::mutex ioLock;
  FileDescriptor device;  // under ioLock
  FileDescriptor wake;    // under ioLock: an eventfd that tells the reader and a waiting write to let go
  std::jthread reader;    // under ioLock

  // The input queue and what the reader tells about the device.
  mutable std::mutex queueLock;
  mutable std::condition_variable_any queueChanged;
  std::string queue;          // under queueLock; bytes from queueHead on are waiting
  std::size_t queueHead = 0;  // under queueLock
  bool held = false;          // under queueLock: a device is held
  bool gone = false;          // under queueLock: the device vanished; the reader has stopped
  int wakeFd = -1;            // under queueLock: the wake descriptor, for Close to signal without ioLock

  void ReaderLoop(int deviceFd, int wakeDescriptor);
  void Enqueue(const char* bytes, std::size_t count);
  void MarkGone();
  bool IsGone() const;
  std::size_t WaitingLocked() const { return queue.size() - queueHead; }
};

void SerialPort::State::Enqueue(const char* bytes, std::size_t count) {
  {
    std::lock_guard lock(queueLock);
    if (queueHead > 0 && queueHead >= queue.size() / 2) {
      queue.erase(0, queueHead);
      queueHead = 0;
    }
    queue.append(bytes, count);
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

// Drains the device into the queue until the wake descriptor is signalled or the device vanishes. A vanished
// device (a pulled USB adapter, a pseudo-terminal whose other side closed) keeps reporting a hang-up, so the
// reader stops there instead of polling it in a loop.
void SerialPort::State::ReaderLoop(int deviceFd, int wakeDescriptor) {
  std::array<char, kReaderChunk> buffer{};
  for (;;) {
    std::array<pollfd, 2> fds{{{deviceFd, POLLIN, 0}, {wakeDescriptor, POLLIN, 0}}};
    const int ready = ::poll(fds.data(), fds.size(), -1);
    if (ready < 0) {
      if (errno == EINTR) continue;
      MarkGone();
      return;
    }
    if (fds[1].revents != 0) return;
    if (fds[0].revents == 0) continue;
    const bool hangUp = (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
    const ssize_t count = ::read(deviceFd, buffer.data(), buffer.size());
    if (count > 0) {
      Enqueue(buffer.data(), static_cast<std::size_t>(count));
      continue;
    }
    if (count < 0 && errno == EINTR) continue;
    // Before the line is configured a terminal may be in line mode, where an end-of-file character reads as
    // zero bytes without the device going anywhere.
    const bool nothingNow = count == 0 || errno == EAGAIN;
    if (nothingNow && !hangUp) continue;
    MarkGone();
    return;
  }
}

SerialPort::SerialPort() : m_state(std::make_unique<State>()) {}

SerialPort::~SerialPort() {
  Close();
}

PortResult SerialPort::Open(const std::string& portName) {
  State& s = *m_state;
  std::lock_guard io(s.ioLock);
  if (s.device.IsValid()) return Failure(PortFailure::InUse, EBUSY);

  const std::string path = DevicePathForPortName(portName);
  if (path.empty()) return Failure(PortFailure::NoSuchDevice, ENOENT);
  FileDescriptor device(
      RetryOnInterrupt([&] { return ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC); }));
  if (!device.IsValid()) return Failure(errno, Step::Opening);
  if (::isatty(device.Get()) == 0) return Failure(errno, Step::Opening);
  // The lock first: TIOCEXCL does not keep out root, and setting it on a terminal that someone else holds
  // would leave it set for them.
  if (RetryOnInterrupt([&] { return ::flock(device.Get(), LOCK_EX | LOCK_NB); }) != 0) {
    return Failure(errno, Step::Opening);
  }
  if (::ioctl(device.Get(), TIOCEXCL) != 0) return Failure(errno, Step::Opening);
  FileDescriptor wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (!wake.IsValid()) {
    const int error = errno;
    ::ioctl(device.Get(), TIOCNXCL);
    return Failure(error, Step::Opening);
  }

  {
    std::lock_guard queue(s.queueLock);
    s.queue.clear();
    s.queueHead = 0;
    s.gone = false;
  }
  const int deviceFd = device.Get();
  const int wakeFd = wake.Get();
  try {
    s.reader = std::jthread([&s, deviceFd, wakeFd] { s.ReaderLoop(deviceFd, wakeFd); });
  } catch (const std::system_error& error) {
    ::ioctl(deviceFd, TIOCNXCL);
    return Failure(PortFailure::Other, error.code().value());
  }
  s.device = std::move(device);
  s.wake = std::move(wake);
  {
    std::lock_guard queue(s.queueLock);
    s.held = true;
    s.wakeFd = wakeFd;
  }
  return {};
}

PortResult SerialPort::Configure(const LineSettings& settings) {
  State& s = *m_state;
  std::lock_guard io(s.ioLock);
  if (!s.device.IsValid()) return Failure(PortFailure::NotOpen);
  const BaudRow* baud = BaudByRate(settings.baudRate);
  if (baud == nullptr || !IsOffered(settings)) return Failure(PortFailure::SettingsRefused, EINVAL);
  const int fd = s.device.Get();

  termios before{};
  if (::tcgetattr(fd, &before) != 0) return Failure(errno, Step::Holding);
  termios wanted = before;
  ApplySettings(settings, baud->code, wanted);
  if (RetryOnInterrupt([&] { return ::tcsetattr(fd, TCSANOW, &wanted); }) != 0) {
    const int error = errno;
    if (error == EINVAL) return Failure(PortFailure::SettingsRefused, error);
    return Failure(error, Step::Holding);
  }
  // tcsetattr succeeds when any one of the changes was taken; only a read-back tells whether all were.
  termios actual{};
  if (::tcgetattr(fd, &actual) != 0) return Failure(errno, Step::Holding);
  if (!TookSettings(settings, actual)) {
    RetryOnInterrupt([&] { return ::tcsetattr(fd, TCSANOW, &before); });
    return Failure(PortFailure::SettingsRefused);
  }
  return {};
}

std::optional<LineSettings> SerialPort::CurrentSettings() const {
  const State& s = *m_state;
  std::lock_guard io(s.ioLock);
  if (!s.device.IsValid()) return std::nullopt;
  termios t{};
  if (::tcgetattr(s.device.Get(), &t) != 0) return std::nullopt;
  return SettingsOf(t);
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
  std::lock_guard lock(s.queueLock);
  if (!s.held || buffer == nullptr) return 0;
  const std::size_t count = std::min(maxBytes, s.WaitingLocked());
  if (count == 0) return 0;
  std::memcpy(buffer, s.queue.data() + s.queueHead, count);
  s.queueHead += count;
  if (s.queueHead == s.queue.size()) {
    s.queue.clear();
    s.queueHead = 0;
  }
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

PortResult SerialPort::Write(std::string_view bytes) {
  State& s = *m_state;
  std::lock_guard io(s.ioLock);
  if (!s.device.IsValid()) return Failure(PortFailure::NotOpen);
  if (s.IsGone()) return Failure(PortFailure::DeviceGone);
  const int fd = s.device.Get();
  const auto allowance = kWritePerByte * static_cast<long long>(bytes.size()) + kWriteConstant;
  const Clock::time_point deadline = Clock::now() + allowance;

  std::size_t done = 0;
  bool hungUp = false;
  while (done < bytes.size()) {
    const ssize_t count = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (count > 0) {
      done += static_cast<std::size_t>(count);
      continue;
    }
    if (count < 0 && errno == EINTR) continue;
    if (count < 0 && errno != EAGAIN) return Failure(errno, Step::Holding);
    if (hungUp) return Failure(PortFailure::DeviceGone);
    // The device takes no more for now: wait for room, for the deadline or for Close.
    std::array<pollfd, 2> fds{{{fd, POLLOUT, 0}, {s.wake.Get(), POLLIN, 0}}};
    const int waitMs = MillisecondsUntil(deadline);
    if (waitMs <= 0) return Failure(PortFailure::TimedOut, ETIMEDOUT);
    const int ready = ::poll(fds.data(), fds.size(), waitMs);
    if (ready < 0 && errno != EINTR) return Failure(errno, Step::Holding);
    if (ready <= 0) continue;
    if (fds[1].revents != 0) return Failure(PortFailure::NotOpen);
    hungUp = (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
  }
  return {};
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
    Signal(s.wakeFd);
  }
  std::lock_guard io(s.ioLock);
  if (!s.device.IsValid()) return {};
  Signal(s.wake.Get());
  if (s.reader.joinable()) s.reader.join();
  // The exclusive flag outlives this descriptor while anyone else keeps the terminal open; clear it so that
  // the device can be opened again.
  ::ioctl(s.device.Get(), TIOCNXCL);
  {
    std::lock_guard lock(s.queueLock);
    s.held = false;
    s.gone = false;
    s.queue.clear();
    s.queueHead = 0;
    s.wakeFd = -1;
  }
  s.queueChanged.notify_all();
  s.wake.Close();
  const int error = s.device.Close();
  return error == 0 ? PortResult{} : Failure(error, Step::Holding);
}

ChunkRead ReadChunk(SerialPort& port) {
  ChunkRead result;
  const std::optional<std::size_t> waiting = port.BytesWaiting();
  if (!waiting || *waiting == 0) return result;
  std::array<char, kMaxReadBytes> buffer{};
  const std::size_t count = port.Read(buffer.data(), std::min(*waiting, buffer.size()));
  std::string bytes(buffer.data(), count);
  // A zero byte is not part of the protocol; drop it alone and keep what follows it.
  bytes.erase(std::remove(bytes.begin(), bytes.end(), '\0'), bytes.end());
  result.readBytes = true;
  result.chunk = CString(bytes);
  return result;
}

}  // namespace kestrion

// The serial device on POSIX termios: exclusive through flock and TIOCEXCL, raw bytes, line errors marked by
// the terminal and decoded here, waits that an eventfd ends.
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <mutex>

#include "serial/FileDescriptor.h"
#include "serial/PortNames.h"
#include "serial/SerialDevice.h"

namespace kestrion::detail {
namespace {

using Clock = SerialDevice::Clock;

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
};

// Every rate a device may report; which of them Configure offers is IsOffered's to say.
constexpr std::array<BaudRow, 11> kBaudTable{{
    {1200, B1200},
    {2400, B2400},
    {4800, B4800},
    {9600, B9600},
    {19200, B19200},
    {38400, B38400},
    {57600, B57600},
    {115200, B115200},
    {230400, B230400},
    {460800, B460800},
    {921600, B921600},
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

// Everything that would alter, drop or hold back a byte on its way in or out. A damaged byte is neither
// dropped (IGNPAR) nor made a zero byte: error marking (PARMRK) passes it on with a mark in front, which the
// reads take out again.
constexpr unsigned kInputTranslation = IGNBRK | BRKINT | IGNPAR | ISTRIP | INLCR | IGNCR | ICRNL | IUCLC | IXON |
                                       IXANY | IXOFF | IMAXBEL;
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
  SetBits(t.c_iflag, PARMRK);
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
         HasBits(actual.c_iflag, PARMRK) && !HasBits(actual.c_oflag, OPOST) &&
         !HasBits(actual.c_lflag, kLocalProcessing) && HasBits(actual.c_cflag, CREAD);
}

// The terminal marks damaged bytes and doubles a good 0xFF when it marks errors and keeps all eight bits.
bool MarksErrors(const termios& t) {
  return HasBits(t.c_iflag, PARMRK) && !HasBits(t.c_iflag, ISTRIP);
}

// Milliseconds from now until `deadline`, rounded up so that a poll never wakes just before it.
int MillisecondsUntil(Clock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return static_cast<int>(std::clamp<long long>(left, 0, 60'000));
}

constexpr std::size_t kReadChunk = 4096;

// Makes an eventfd readable: what waits on it lets go.
void Signal(int eventFd) {
  if (eventFd < 0) return;
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = ::write(eventFd, &one, sizeof one);
}

// Empties an eventfd, so that an earlier signal does not end the next wait.
void Drain(int eventFd) {
  std::uint64_t count = 0;
  [[maybe_unused]] const ssize_t got = ::read(eventFd, &count, sizeof count);
}

// The driver's counters, where it keeps them (a UART or a USB adapter does, a pseudo-terminal does not).
std::optional<serial_icounter_struct> DriverCounters(int fd) {
  serial_icounter_struct counters{};
  if (::ioctl(fd, TIOCGICOUNT, &counters) != 0) return std::nullopt;
  return counters;
}

std::uint64_t Since(int now, int then) {
  return now >= then ? static_cast<std::uint64_t>(now - then) : 0;
}

}  // namespace

struct SerialDevice::Platform {
  FileDescriptor device;
  FileDescriptor wake;    // tells ReadSome and a waiting Write to let go, for good
  FileDescriptor cancel;  // tells a waiting Write that its caller stopped
  std::atomic<bool> marksErrors{false};

  // The reader thread's own.
  MarkedInputDecoder decoder;
  LineErrorCounts decoded;
  std::optional<serial_icounter_struct> countersAtOpen;
  LineErrorCounts driver;

  void ReadDriverCounters() {
    if (!countersAtOpen) return;
    const std::optional<serial_icounter_struct> now = DriverCounters(device.Get());
    if (!now) return;
    driver.parity = Since(now->parity, countersAtOpen->parity);
    driver.framing = Since(now->frame, countersAtOpen->frame);
    driver.breaks = Since(now->brk, countersAtOpen->brk);
    driver.overruns = Since(now->overrun, countersAtOpen->overrun) +
                      Since(now->buf_overrun, countersAtOpen->buf_overrun);
  }
};

SerialDevice::SerialDevice(std::unique_ptr<Platform> platform) : m_platform(std::move(platform)) {}

SerialDevice::~SerialDevice() {
  Close();
}

std::unique_ptr<SerialDevice> SerialDevice::Open(const std::string& portName, PortResult& result) {
  const std::string path = DevicePathForPortName(portName);
  if (path.empty()) {
    result = Failure(PortFailure::NoSuchDevice, ENOENT);
    return nullptr;
  }
  FileDescriptor device(
      RetryOnInterrupt([&] { return ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC); }));
  const auto fail = [&result](int error) {
    result = Failure(error, Step::Opening);
    return nullptr;
  };
  if (!device.IsValid()) return fail(errno);
  if (::isatty(device.Get()) == 0) return fail(errno);
  // The lock first: TIOCEXCL does not keep out root, and setting it on a terminal that someone else holds
  // would leave it set for them.
  if (RetryOnInterrupt([&] { return ::flock(device.Get(), LOCK_EX | LOCK_NB); }) != 0) return fail(errno);
  if (::ioctl(device.Get(), TIOCEXCL) != 0) return fail(errno);
  auto platform = std::make_unique<Platform>();
  platform->wake = FileDescriptor(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  platform->cancel = FileDescriptor(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (!platform->wake.IsValid() || !platform->cancel.IsValid()) {
    const int error = errno;
    ::ioctl(device.Get(), TIOCNXCL);
    return fail(error);
  }
  termios t{};
  platform->marksErrors = ::tcgetattr(device.Get(), &t) == 0 && MarksErrors(t);
  platform->countersAtOpen = DriverCounters(device.Get());
  platform->device = std::move(device);
  result = {};
  return std::unique_ptr<SerialDevice>(new SerialDevice(std::move(platform)));
}

PortResult SerialDevice::Configure(const LineSettings& settings) {
  Platform& p = *m_platform;
  const BaudRow* baud = BaudByRate(settings.baudRate);
  if (baud == nullptr || !IsOffered(settings)) return Failure(PortFailure::SettingsRefused, EINVAL);
  const int fd = p.device.Get();

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
    p.marksErrors = MarksErrors(before);
    return Failure(PortFailure::SettingsRefused);
  }
  p.marksErrors = true;
  return {};
}

std::optional<LineSettings> SerialDevice::CurrentSettings() const {
  termios t{};
  if (::tcgetattr(m_platform->device.Get(), &t) != 0) return std::nullopt;
  return SettingsOf(t);
}

SerialDevice::Wait SerialDevice::ReadSome(std::string& bytes, std::chrono::milliseconds idle) {
  Platform& p = *m_platform;
  const int fd = p.device.Get();
  std::array<pollfd, 2> fds{{{fd, POLLIN, 0}, {p.wake.Get(), POLLIN, 0}}};
  const int ready = ::poll(fds.data(), fds.size(), static_cast<int>(idle.count()));
  if (ready < 0) return errno == EINTR ? Wait::Idle : Wait::Gone;
  if (fds[1].revents != 0) return Wait::Woken;
  if (fds[0].revents == 0) {
    p.ReadDriverCounters();
    return Wait::Idle;
  }
  const bool hangUp = (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
  std::array<char, kReadChunk> buffer{};
  const ssize_t count = ::read(fd, buffer.data(), buffer.size());
  if (count > 0) {
    const std::string_view got(buffer.data(), static_cast<std::size_t>(count));
    if (p.marksErrors) {
      p.decoder.Decode(got, bytes, p.decoded);
    } else {
      bytes.append(got);
    }
    p.ReadDriverCounters();
    return Wait::Input;
  }
  if (count < 0 && errno == EINTR) return Wait::Idle;
  // Before the line is configured a terminal may be in line mode, where an end-of-file character reads as
  // zero bytes without the device going anywhere.
  const bool nothingNow = count == 0 || errno == EAGAIN;
  if (nothingNow && !hangUp) return Wait::Idle;
  return Wait::Gone;
}

LineErrorCounts SerialDevice::Errors() const {
  const Platform& p = *m_platform;
  // The driver sees every error the marks show, and overruns besides.
  return p.countersAtOpen ? p.driver : p.decoded;
}

void SerialDevice::Wake() {
  Signal(m_platform->wake.Get());
}

PortResult SerialDevice::Write(std::string_view bytes, Clock::time_point deadline, const std::stop_token& stop) {
  Platform& p = *m_platform;
  const int fd = p.device.Get();
  Drain(p.cancel.Get());
  const std::stop_callback onStop(stop, [&p] { Signal(p.cancel.Get()); });

  std::size_t done = 0;
  bool hungUp = false;
  while (done < bytes.size()) {
    if (stop.stop_requested()) return Failure(PortFailure::Stopped);
    const ssize_t count = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (count > 0) {
      done += static_cast<std::size_t>(count);
      continue;
    }
    if (count < 0 && errno == EINTR) continue;
    if (count < 0 && errno != EAGAIN) return Failure(errno, Step::Holding);
    if (hungUp) return Failure(PortFailure::DeviceGone);
    // The device takes no more for now: wait for room, for the deadline, for Close or for a stop.
    std::array<pollfd, 3> fds{{{fd, POLLOUT, 0}, {p.wake.Get(), POLLIN, 0}, {p.cancel.Get(), POLLIN, 0}}};
    const int waitMs = MillisecondsUntil(deadline);
    if (waitMs <= 0) return Failure(PortFailure::TimedOut, ETIMEDOUT);
    const int ready = ::poll(fds.data(), fds.size(), waitMs);
    if (ready < 0 && errno != EINTR) return Failure(errno, Step::Holding);
    if (ready <= 0) continue;
    if (fds[1].revents != 0) return Failure(PortFailure::NotOpen);
    if (fds[2].revents != 0) return Failure(PortFailure::Stopped);
    hungUp = (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
  }
  return {};
}

std::optional<std::size_t> SerialDevice::BytesToSend() const {
  int queued = 0;
  if (::ioctl(m_platform->device.Get(), TIOCOUTQ, &queued) != 0 || queued < 0) return std::nullopt;
  return static_cast<std::size_t>(queued);
}

PortResult SerialDevice::Close() {
  Platform& p = *m_platform;
  if (!p.device.IsValid()) return {};
  // Output still queued would make the close wait for it (for half a minute on a stalled line); it is given
  // up, as the device is.
  ::tcflush(p.device.Get(), TCOFLUSH);
  // The exclusive flag outlives this descriptor while anyone else keeps the terminal open; clear it so that
  // the device can be opened again.
  ::ioctl(p.device.Get(), TIOCNXCL);
  p.wake.Close();
  p.cancel.Close();
  const int error = p.device.Close();
  return error == 0 ? PortResult{} : Failure(error, Step::Holding);
}

}  // namespace kestrion::detail

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
  FileDescriptor nudge;   // tells ReadSome that Configure left bytes in `carried`
  std::atomic<bool> ctsFlow{false};  // CRTSCTS, as the port has it

  // Held around every read of the device and its decoding, and around a change of the error marking, so that
  // no byte is decoded under the other marking than the one the terminal applied to it.
  std::mutex readLock;
  bool marksErrors = false;    // under readLock
  MarkedInputDecoder decoder;  // under readLock
  LineErrorCounts decoded;     // under readLock
  std::string carried;  // under readLock: read by Configure under the old marking, for ReadSome to hand on

  // The reader thread's own.
  std::optional<serial_icounter_struct> countersAtOpen;
  LineErrorCounts driver;

  // Takes what the terminal holds now, without waiting, into `out`, decoded by the marking in force. False
  // when the device failed.
  bool ReadAvailable(std::string& out) {
    std::array<char, kReadChunk> buffer{};
    for (;;) {
      const ssize_t count = ::read(device.Get(), buffer.data(), buffer.size());
      if (count > 0) {
        Decode(std::string_view(buffer.data(), static_cast<std::size_t>(count)), out);
        continue;
      }
      if (count < 0 && errno == EINTR) continue;
      return count == 0 || errno == EAGAIN;
    }
  }

  void Decode(std::string_view got, std::string& out) {
    if (marksErrors) {
      decoder.Decode(got, out, decoded);
    } else {
      out.append(got);
    }
  }

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
  Close(true);
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
  platform->nudge = FileDescriptor(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (!platform->wake.IsValid() || !platform->cancel.IsValid() || !platform->nudge.IsValid()) {
    const int error = errno;
    ::ioctl(device.Get(), TIOCNXCL);
    return fail(error);
  }
  termios t{};
  const bool gotSettings = ::tcgetattr(device.Get(), &t) == 0;
  platform->marksErrors = gotSettings && MarksErrors(t);
  platform->ctsFlow = gotSettings && HasBits(t.c_cflag, CRTSCTS);
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
  const auto apply = [fd](const termios& t) {
    return RetryOnInterrupt([&] { return ::tcsetattr(fd, TCSANOW, &t); });
  };

  // The terminal marks a byte as it arrives, by the settings of that moment: the bytes it holds are taken
  // under the old marking before the marking changes, and the reader reads nothing in between.
  std::lock_guard read(p.readLock);
  termios before{};
  if (::tcgetattr(fd, &before) != 0) return Failure(errno, Step::Holding);
  termios wanted = before;
  ApplySettings(settings, baud->code, wanted);
  const bool markingChanges = MarksErrors(before) != MarksErrors(wanted);
  if (markingChanges) {
    // First everything but the marking: out of line mode, so that a partial line becomes readable.
    termios unmarked = wanted;
    ClearBits(unmarked.c_iflag, PARMRK | ISTRIP);
    SetBits(unmarked.c_iflag, static_cast<unsigned>(before.c_iflag & (PARMRK | ISTRIP)));
    if (apply(unmarked) != 0) {
      const int error = errno;
      if (error == EINVAL) return Failure(PortFailure::SettingsRefused, error);
      return Failure(error, Step::Holding);
    }
    if (!p.ReadAvailable(p.carried)) {
      const int error = errno;
      apply(before);
      return Failure(error == 0 ? EIO : error, Step::Holding);
    }
  }
  if (apply(wanted) != 0) {
    const int error = errno;
    apply(before);
    if (error == EINVAL) return Failure(PortFailure::SettingsRefused, error);
    return Failure(error, Step::Holding);
  }
  if (!p.carried.empty()) Signal(p.nudge.Get());
  // tcsetattr succeeds when any one of the changes was taken; only a read-back tells whether all were.
  termios actual{};
  if (::tcgetattr(fd, &actual) != 0) return Failure(errno, Step::Holding);
  if (!TookSettings(settings, actual)) {
    apply(before);
    ::tcgetattr(fd, &actual);
    p.marksErrors = MarksErrors(actual);
    p.ctsFlow = HasBits(actual.c_cflag, CRTSCTS);
    return Failure(PortFailure::SettingsRefused);
  }
  p.marksErrors = true;
  p.decoder.Reset();
  p.ctsFlow = HasBits(actual.c_cflag, CRTSCTS);
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
  std::array<pollfd, 3> fds{{{fd, POLLIN, 0}, {p.wake.Get(), POLLIN, 0}, {p.nudge.Get(), POLLIN, 0}}};
  const int ready = ::poll(fds.data(), fds.size(), static_cast<int>(idle.count()));
  if (ready < 0) return errno == EINTR ? Wait::Idle : Wait::Gone;
  if (fds[1].revents != 0) return Wait::Woken;
  if (fds[2].revents != 0) Drain(p.nudge.Get());

  std::lock_guard read(p.readLock);
  const bool carried = !p.carried.empty();
  bytes += p.carried;
  p.carried.clear();
  if (fds[0].revents == 0) {
    p.ReadDriverCounters();
    return carried ? Wait::Input : Wait::Idle;
  }
  const bool hangUp = (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
  std::array<char, kReadChunk> buffer{};
  const ssize_t count = ::read(fd, buffer.data(), buffer.size());
  if (count > 0) {
    p.Decode(std::string_view(buffer.data(), static_cast<std::size_t>(count)), bytes);
    p.ReadDriverCounters();
    return Wait::Input;
  }
  if (count < 0 && errno == EINTR) return carried ? Wait::Input : Wait::Idle;
  // Before the line is configured a terminal may be in line mode, where an end-of-file character reads as
  // zero bytes without the device going anywhere; and Configure may have taken what the poll saw.
  const bool nothingNow = count == 0 || errno == EAGAIN;
  if (nothingNow && !hangUp) return carried ? Wait::Input : Wait::Idle;
  return Wait::Gone;
}

LineErrorCounts SerialDevice::Errors() const {
  Platform& p = *m_platform;
  LineErrorCounts marked;
  {
    std::lock_guard read(p.readLock);
    marked = p.decoded;
  }
  return CombineCounts(p.countersAtOpen ? std::optional(p.driver) : std::nullopt, marked);
}

OutputLines SerialDevice::Lines() const {
  const Platform& p = *m_platform;
  OutputLines lines;
  // Linux has no output flow control on DSR.
  lines.ctsFlow = p.ctsFlow;
  if (!lines.ctsFlow) return lines;
  const int fd = p.device.Get();
  int status = 0;
  if (::ioctl(fd, TIOCMGET, &status) == 0) {
    lines.cts = (status & TIOCM_CTS) != 0;
    lines.dsr = (status & TIOCM_DSR) != 0;
  }
  int queued = 0;
  if (::ioctl(fd, TIOCOUTQ, &queued) == 0 && queued >= 0) lines.queued = static_cast<std::size_t>(queued);
  return lines;
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
      ++m_watch.moved;
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

PortResult SerialDevice::Close(bool discardOutput) {
  Platform& p = *m_platform;
  if (!p.device.IsValid()) return {};
  // Output still queued would make the close wait for it (for half a minute on a stalled line); it is given
  // up, as the device is.
  if (discardOutput) ::tcflush(p.device.Get(), TCOFLUSH);
  // The exclusive flag outlives this descriptor while anyone else keeps the terminal open; clear it so that
  // the device can be opened again.
  ::ioctl(p.device.Get(), TIOCNXCL);
  p.wake.Close();
  p.cancel.Close();
  p.nudge.Close();
  const int error = p.device.Close();
  return error == 0 ? PortResult{} : Failure(error, Step::Holding);
}

}  // namespace kestrion::detail

// The serial device on Win32: a COM handle opened for overlapped I/O, so that a read or a write that waits on
// the line can always be ended from another thread. (A synchronous write held up by a stalled line cannot be
// ended at all under Wine, and Wine does not serialise synchronous calls on one handle.) The callers see the
// same blocking-with-timeout calls as on POSIX.
#include <windows.h>

#include <algorithm>
#include <array>
#include <optional>
#include <utility>

#include "serial/PortNames.h"
#include "serial/SerialDevice.h"

namespace kestrion::detail {
namespace {

using Clock = SerialDevice::Clock;

// The one place where a system error becomes a reason.
PortFailure FailureForError(DWORD error, Step step) {
  switch (error) {
    case ERROR_SUCCESS:
      return PortFailure::None;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_INVALID_DRIVE:
      return PortFailure::NoSuchDevice;
    case ERROR_ACCESS_DENIED:
      // What a second open of a COM port gets; and what every call gets once a USB adapter has been pulled.
      return step == Step::Opening ? PortFailure::InUse : PortFailure::DeviceGone;
    case ERROR_SHARING_VIOLATION:
      return step == Step::Opening ? PortFailure::InUse : PortFailure::Other;
    case ERROR_BROKEN_PIPE:  // Wine: the other side of the pseudo-terminal closed
    case ERROR_NOT_READY:
    case ERROR_GEN_FAILURE:
    case ERROR_BAD_COMMAND:
    case ERROR_OPERATION_ABORTED:  // the driver gave up the request; this file's own cancels never get here
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_DEVICE_REMOVED:
    case ERROR_BAD_UNIT:
      return step == Step::Opening ? PortFailure::NoSuchDevice : PortFailure::DeviceGone;
    case ERROR_TIMEOUT:
    case ERROR_SEM_TIMEOUT:
      return PortFailure::TimedOut;
    case ERROR_INVALID_HANDLE:
      // While opening, the handle is there: the calls that fail so take it for something other than a port.
      return step == Step::Opening ? PortFailure::Other : PortFailure::NotOpen;
    default:
      return PortFailure::Other;
  }
}

PortResult Failure(DWORD error, Step step) {
  return {FailureForError(error, step), static_cast<int>(error)};
}
PortResult Failure(PortFailure failure, DWORD error = ERROR_SUCCESS) {
  return {failure, static_cast<int>(error)};
}

// A kernel handle, closed once; Close reports the system's failure.
class Handle {
 public:
  Handle() = default;
  explicit Handle(HANDLE handle) : m_handle(handle == INVALID_HANDLE_VALUE ? nullptr : handle) {}
  ~Handle() { Close(); }
  Handle(Handle&& other) noexcept : m_handle(std::exchange(other.m_handle, nullptr)) {}
  Handle& operator=(Handle&& other) noexcept {
    if (this != &other) {
      Close();
      m_handle = std::exchange(other.m_handle, nullptr);
    }
    return *this;
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;

  HANDLE Get() const { return m_handle; }
  bool IsValid() const { return m_handle != nullptr; }
  DWORD Close() {
    if (m_handle == nullptr) return ERROR_SUCCESS;
    const BOOL closed = ::CloseHandle(std::exchange(m_handle, nullptr));
    return closed ? ERROR_SUCCESS : ::GetLastError();
  }

 private:
  HANDLE m_handle = nullptr;
};

// Manual reset, as overlapped I/O needs, and unset.
Handle MakeEvent() {
  return Handle(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
}

// A read of n bytes may take n times this before the driver completes it with what it has; so a one-byte read
// comes back empty after three seconds when nothing arrives (Wine keeps it pending until a byte comes). The
// interval timeout of MAXDWORD makes a read of bytes already waiting return at once.
constexpr DWORD kReadPerByteMs = 3000;

// The bytes that one ReadSome takes from the driver at most beyond the first.
constexpr DWORD kReadChunk = 4096;

// How long a read of bytes that the driver said are waiting may take: they are there, so it never should.
constexpr DWORD kWaitingReadMs = 1000;

DWORD Milliseconds(std::chrono::milliseconds duration) {
  return static_cast<DWORD>(std::clamp<long long>(duration.count(), 0, 0x7FFFFFFE));
}

// Milliseconds from now until `deadline`, rounded up so that a wait never ends just before it.
DWORD MillisecondsUntil(Clock::time_point deadline) {
  return Milliseconds(std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()));
}

BYTE ParityCode(Parity parity) {
  switch (parity) {
    case Parity::Odd:
      return ODDPARITY;
    case Parity::Even:
      return EVENPARITY;
    default:
      return NOPARITY;
  }
}

void ApplySettings(const LineSettings& settings, DCB& dcb) {
  dcb.DCBlength = sizeof(DCB);
  dcb.BaudRate = static_cast<DWORD>(settings.baudRate);
  dcb.ByteSize = static_cast<BYTE>(settings.dataBits);
  dcb.Parity = ParityCode(settings.parity);
  dcb.fParity = settings.parityCheck ? TRUE : FALSE;
  dcb.StopBits = settings.stopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
  // Bytes pass raw: no end-of-file byte, no software flow control, no replacement of damaged bytes, no zero
  // bytes dropped. A line error never stops the reads and writes, and the line works on a three-wire cable,
  // which carries no DSR.
  dcb.fBinary = TRUE;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  dcb.fErrorChar = FALSE;
  dcb.fNull = FALSE;
  dcb.fAbortOnError = FALSE;
  dcb.fDsrSensitivity = FALSE;
}

LineSettings SettingsOf(const DCB& dcb) {
  LineSettings settings;
  settings.baudRate = static_cast<int>(dcb.BaudRate);
  settings.dataBits = dcb.ByteSize;
  // Mark and space parity keep their own numbers, which no setting asks for.
  settings.parity = dcb.Parity == NOPARITY     ? Parity::None
                    : dcb.Parity == ODDPARITY  ? Parity::Odd
                    : dcb.Parity == EVENPARITY ? Parity::Even
                                               : static_cast<Parity>(dcb.Parity);
  settings.parityCheck = dcb.fParity != 0;
  // One and a half stop bits, which no setting asks for, read as neither.
  settings.stopBits = dcb.StopBits == TWOSTOPBITS ? 2 : dcb.StopBits == ONESTOPBIT ? 1 : 0;
  return settings;
}

// The parts of the line that the other end has to match. (Wine does not report the parity check back.)
bool TookSettings(const LineSettings& wanted, const DCB& actual) {
  const LineSettings got = SettingsOf(actual);
  return got.baudRate == wanted.baudRate && got.dataBits == wanted.dataBits && got.parity == wanted.parity &&
         got.stopBits == wanted.stopBits;
}

std::optional<DCB> CommState(HANDLE device) {
  DCB dcb{};
  dcb.DCBlength = sizeof(DCB);
  if (!::GetCommState(device, &dcb)) return std::nullopt;
  return dcb;
}

bool IsSet(HANDLE event) {
  return ::WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
}

}  // namespace

struct SerialDevice::Platform {
  Handle device;
  Handle wake;       // tells ReadSome and a waiting Write to let go, for good
  Handle cancel;     // tells a waiting Write that its caller stopped
  Handle readDone;   // the reader's OVERLAPPED event
  Handle writeDone;  // the writer's

  // The reader thread's own (and Close's, after the reader has been joined).
  OVERLAPPED read{};
  bool readPending = false;  // `read` is with the driver, not completed yet
  char firstByte = 0;
  std::array<char, kReadChunk> buffer{};
  LineErrorCounts errors;

  // Starts a one-byte read into firstByte; false when the device refused it.
  bool StartWaitingRead() {
    read = OVERLAPPED{};
    read.hEvent = readDone.Get();
    if (!::ReadFile(device.Get(), &firstByte, 1, nullptr, &read) && ::GetLastError() != ERROR_IO_PENDING) {
      return false;
    }
    readPending = true;
    return true;
  }

  // Ends a read that is still with the driver and waits until it is over: the driver writes into `read` and
  // the buffer until then.
  DWORD EndRead() {
    DWORD count = 0;
    ::CancelIoEx(device.Get(), &read);
    ::GetOverlappedResult(device.Get(), &read, &count, TRUE);
    readPending = false;
    return count;
  }

  // Counts the errors that the driver flagged since the last call, one for each kind flagged; returns the
  // bytes waiting in the driver, nullopt with the error when it could not say.
  std::optional<DWORD> TakeErrors(DWORD& error) {
    DWORD flags = 0;
    COMSTAT status{};
    if (!::ClearCommError(device.Get(), &flags, &status)) {
      error = ::GetLastError();
      return std::nullopt;
    }
    if ((flags & CE_RXPARITY) != 0) ++errors.parity;
    if ((flags & CE_FRAME) != 0) ++errors.framing;
    if ((flags & CE_BREAK) != 0) ++errors.breaks;
    if ((flags & CE_OVERRUN) != 0) ++errors.overruns;
    if ((flags & CE_RXOVER) != 0) ++errors.overruns;
    return status.cbInQue;
  }

  // After an idle wait: the errors, and whether the device is still there.
  SerialDevice::Wait Idle() {
    DWORD error = ERROR_SUCCESS;
    if (TakeErrors(error) || FailureForError(error, Step::Holding) != PortFailure::DeviceGone) {
      return SerialDevice::Wait::Idle;
    }
    return SerialDevice::Wait::Gone;
  }

  // Takes `count` bytes that the driver said are waiting. False when the device failed.
  bool ReadWaiting(DWORD count, std::string& bytes) {
    read = OVERLAPPED{};
    read.hEvent = readDone.Get();
    if (!::ReadFile(device.Get(), buffer.data(), count, nullptr, &read) &&
        ::GetLastError() != ERROR_IO_PENDING) {
      return false;
    }
    readPending = true;
    const std::array<HANDLE, 2> events{readDone.Get(), wake.Get()};
    const DWORD woken = ::WaitForMultipleObjects(2, events.data(), FALSE, kWaitingReadMs);
    DWORD got = 0;
    if (woken == WAIT_OBJECT_0) {
      readPending = false;
      if (!::GetOverlappedResult(device.Get(), &read, &got, FALSE)) return false;
    } else {
      got = EndRead();
    }
    bytes.append(buffer.data(), got);
    return true;
  }
};

SerialDevice::SerialDevice(std::unique_ptr<Platform> platform) : m_platform(std::move(platform)) {}

SerialDevice::~SerialDevice() {
  Close();
}

std::unique_ptr<SerialDevice> SerialDevice::Open(const std::string& portName, PortResult& result) {
  const std::string path = DevicePathForPortName(portName);
  if (path.empty()) {
    result = Failure(PortFailure::NoSuchDevice, ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  const auto fail = [&result](DWORD error) {
    result = Failure(error, Step::Opening);
    return nullptr;
  };
  // No sharing: a COM port is held by one handle at a time.
  Handle device(::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OVERLAPPED, nullptr));
  if (!device.IsValid()) return fail(::GetLastError());
  // Anything that has no line settings is not a serial port (a file, a printer).
  if (!CommState(device.Get())) return fail(::GetLastError());

  COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = MAXDWORD;
  timeouts.ReadTotalTimeoutMultiplier = kReadPerByteMs;
  timeouts.ReadTotalTimeoutConstant = 0;
  // The driver's own allowance for a write is the port's; Write keeps the same deadline itself.
  timeouts.WriteTotalTimeoutMultiplier = static_cast<DWORD>(kWritePerByte.count());
  timeouts.WriteTotalTimeoutConstant = static_cast<DWORD>(kWriteConstant.count());
  if (!::SetCommTimeouts(device.Get(), &timeouts)) return fail(::GetLastError());
  // A request only: a driver may keep queues of its own size.
  ::SetupComm(device.Get(), static_cast<DWORD>(kQueueSize), static_cast<DWORD>(kQueueSize));

  auto platform = std::make_unique<Platform>();
  platform->wake = MakeEvent();
  platform->cancel = MakeEvent();
  platform->readDone = MakeEvent();
  platform->writeDone = MakeEvent();
  if (!platform->wake.IsValid() || !platform->cancel.IsValid() || !platform->readDone.IsValid() ||
      !platform->writeDone.IsValid()) {
    return fail(::GetLastError());
  }
  platform->device = std::move(device);
  result = {};
  return std::unique_ptr<SerialDevice>(new SerialDevice(std::move(platform)));
}

PortResult SerialDevice::Configure(const LineSettings& settings) {
  Platform& p = *m_platform;
  if (!IsOffered(settings)) return Failure(PortFailure::SettingsRefused, ERROR_INVALID_PARAMETER);
  const HANDLE device = p.device.Get();

  const std::optional<DCB> before = CommState(device);
  if (!before) return Failure(::GetLastError(), Step::Holding);
  DCB wanted = *before;
  ApplySettings(settings, wanted);
  if (!::SetCommState(device, &wanted)) {
    const DWORD error = ::GetLastError();
    // The settings go to the driver in several steps; the ones taken before the failure are undone.
    DCB old = *before;
    ::SetCommState(device, &old);
    if (error == ERROR_INVALID_PARAMETER) return Failure(PortFailure::SettingsRefused, error);
    return Failure(error, Step::Holding);
  }
  // A driver may take a setting and round it, or keep another of its own; only a read-back tells.
  const std::optional<DCB> actual = CommState(device);
  if (!actual) return Failure(::GetLastError(), Step::Holding);
  if (!TookSettings(settings, *actual)) {
    DCB old = *before;
    ::SetCommState(device, &old);
    return Failure(PortFailure::SettingsRefused);
  }
  return {};
}

std::optional<LineSettings> SerialDevice::CurrentSettings() const {
  const std::optional<DCB> dcb = CommState(m_platform->device.Get());
  if (!dcb) return std::nullopt;
  return SettingsOf(*dcb);
}

SerialDevice::Wait SerialDevice::ReadSome(std::string& bytes, std::chrono::milliseconds idle) {
  Platform& p = *m_platform;
  if (IsSet(p.wake.Get())) {
    if (p.readPending) p.EndRead();
    return Wait::Woken;
  }
  // No WaitCommEvent (Wine ends it at once): a one-byte read waits for input instead, and stays pending over
  // idle periods so that no byte is ever read twice or lost between two waits.
  if (!p.readPending && !p.StartWaitingRead()) return Wait::Gone;
  const std::array<HANDLE, 2> events{p.readDone.Get(), p.wake.Get()};
  const DWORD woken = ::WaitForMultipleObjects(2, events.data(), FALSE, Milliseconds(idle));
  if (woken == WAIT_TIMEOUT) return p.Idle();
  if (woken == WAIT_OBJECT_0 + 1) {
    p.EndRead();
    return Wait::Woken;
  }
  if (woken != WAIT_OBJECT_0) return Wait::Gone;

  p.readPending = false;
  DWORD got = 0;
  if (!::GetOverlappedResult(p.device.Get(), &p.read, &got, FALSE)) {
    // Wine ends a read that timed out with STATUS_TIMEOUT, which it reports as a failure; Windows completes
    // it empty. Either way nothing came, and the port is still there.
    if (::GetLastError() == ERROR_TIMEOUT) return p.Idle();
    return Wait::Gone;
  }
  if (got == 0) return p.Idle();  // the driver's timeout: nothing came
  bytes.push_back(p.firstByte);
  DWORD error = ERROR_SUCCESS;
  const std::optional<DWORD> waiting = p.TakeErrors(error);
  if (waiting && *waiting > 0 && !p.ReadWaiting(std::min(*waiting, kReadChunk), bytes)) return Wait::Gone;
  return Wait::Input;
}

LineErrorCounts SerialDevice::Errors() const {
  return m_platform->errors;
}

void SerialDevice::Wake() {
  ::SetEvent(m_platform->wake.Get());
}

PortResult SerialDevice::Write(std::string_view bytes, Clock::time_point deadline,
                               const std::stop_token& stop) {
  Platform& p = *m_platform;
  const HANDLE device = p.device.Get();
  ::ResetEvent(p.cancel.Get());
  const std::stop_callback onStop(stop, [&p] { ::SetEvent(p.cancel.Get()); });
  const std::array<HANDLE, 3> events{p.writeDone.Get(), p.wake.Get(), p.cancel.Get()};

  std::size_t done = 0;
  while (done < bytes.size()) {
    if (stop.stop_requested()) return Failure(PortFailure::Stopped);
    OVERLAPPED write{};
    write.hEvent = p.writeDone.Get();
    const auto count = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, MAXDWORD));
    if (!::WriteFile(device, bytes.data() + done, count, nullptr, &write) &&
        ::GetLastError() != ERROR_IO_PENDING) {
      return Failure(::GetLastError(), Step::Holding);
    }
    DWORD woken = WAIT_TIMEOUT;
    do {
      woken = ::WaitForMultipleObjects(3, events.data(), FALSE, MillisecondsUntil(deadline));
    } while (woken == WAIT_TIMEOUT && Clock::now() < deadline);  // a wait may end a little early

    DWORD written = 0;
    if (woken != WAIT_OBJECT_0) {
      const DWORD waitError = woken == WAIT_FAILED ? ::GetLastError() : ERROR_SUCCESS;
      // The write has to be over before its OVERLAPPED goes; a cancel ends it within a millisecond.
      ::CancelIoEx(device, &write);
      ::GetOverlappedResult(device, &write, &written, TRUE);
      if (woken == WAIT_OBJECT_0 + 1) return Failure(PortFailure::NotOpen);
      if (woken == WAIT_OBJECT_0 + 2) return Failure(PortFailure::Stopped);
      if (woken != WAIT_TIMEOUT) return Failure(waitError, Step::Holding);
      if (done + written == bytes.size()) return {};  // it finished as the time ran out
      return Failure(PortFailure::TimedOut, ERROR_TIMEOUT);
    }
    if (!::GetOverlappedResult(device, &write, &written, FALSE)) {
      return Failure(::GetLastError(), Step::Holding);
    }
    done += written;
    // The driver's own timeout ends a write with part of it sent; the rest goes while the time lasts.
    if (done < bytes.size() && Clock::now() >= deadline) return Failure(PortFailure::TimedOut, ERROR_TIMEOUT);
  }
  return {};
}

std::optional<std::size_t> SerialDevice::BytesToSend() const {
  COMSTAT status{};
  DWORD flags = 0;
  if (!::ClearCommError(m_platform->device.Get(), &flags, &status)) return std::nullopt;
  return static_cast<std::size_t>(status.cbOutQue);
}

PortResult SerialDevice::Close() {
  Platform& p = *m_platform;
  if (!p.device.IsValid()) return {};
  // Output still queued would hold up the release on a stalled line; it is given up, as the device is.
  ::PurgeComm(p.device.Get(), PURGE_TXABORT | PURGE_TXCLEAR | PURGE_RXABORT);
  if (p.readPending) p.EndRead();
  const DWORD error = p.device.Close();
  p.wake.Close();
  p.cancel.Close();
  p.readDone.Close();
  p.writeDone.Close();
  return error == ERROR_SUCCESS ? PortResult{} : Failure(error, Step::Holding);
}

}  // namespace kestrion::detail

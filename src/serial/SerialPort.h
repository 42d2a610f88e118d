// The port connection: one serial device held for exclusive use (POSIX termios or the Win32 serial calls,
// chosen by the build).
//
// A reader thread drains the device into an input queue of the port's own as soon as bytes arrive, so that no
// byte is lost while the window's thread is busy or a message box is open; BytesWaiting and Read work on that
// queue. Every operation takes the port's lock, Close included, so an operation of another thread never uses
// the device after it has been released. Bytes that arrive with a line error are kept as they arrived; the
// errors are counted (LineErrors).
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>

#include "serial/LineErrors.h"
#include "text/CString.h"

namespace kestrion {

enum class Parity { None = 0, Odd = 1, Even = 2 };

struct LineSettings {
  int baudRate = 19200;
  int dataBits = 8;
  Parity parity = Parity::None;
  bool parityCheck = true;  // input parity checking, switched on in every case
  int stopBits = 2;
  friend bool operator==(const LineSettings&, const LineSettings&) = default;
};

// A write of n bytes is allowed n * kWritePerByte + kWriteConstant.
inline constexpr std::chrono::milliseconds kWritePerByte{50};
inline constexpr std::chrono::milliseconds kWriteConstant{3000};
// The driver queue sizes asked for at open, each way.
inline constexpr std::size_t kQueueSize = 1024;
// The port's own input queue holds at most this much, far more than any instrument's memory. While it is full
// the reader leaves the bytes in the device, as a device with a full buffer does, and counts an overrun.
inline constexpr std::size_t kInputQueueLimit = 16u << 20;
// One read of the transfer code takes at most this many bytes.
inline constexpr std::size_t kMaxReadBytes = 254;

enum class PortFailure {
  None,
  NoSuchDevice,      // nothing at that name
  InUse,             // held by another program (or by this one)
  PermissionDenied,  // no right to open it (not in the dialout group)
  SettingsRefused,   // the device did not take a line setting
  NotOpen,           // no device is held
  DeviceGone,        // the device vanished (USB adapter pulled, other side of a pseudo-terminal closed)
  TimedOut,          // a write did not finish within its allowance
  Stopped,           // a write ended early because its caller asked it to stop
  Other,
};

// The input line that holds back the output while output flow control waits for it.
enum class OutputHold { None, Cts, Dsr };

struct PortResult {
  PortFailure failure = PortFailure::None;
  int systemError = 0;  // where there is one: errno on POSIX, the Win32 error code (GetLastError) on Windows
  explicit operator bool() const { return failure == PortFailure::None; }
};

class SerialPort {
 public:
  SerialPort();
  ~SerialPort();  // releases the device; never throws
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  // Opens the device that `portName` names (see PortNames.h) for reading and writing, exclusively, without
  // changing its settings. Fails with InUse when this port already holds a device, or when another port
  // object or program holds that one.
  PortResult Open(const std::string& portName);
  // Applies `settings` on top of the device's current ones (everything else stays as the device has it), then
  // reads them back: a setting that the device did not take counts as refused, and the device is given back
  // the settings it had. Only 4800, 9600, 19200 and 38400 baud and 7 or 8 data bits are offered. The bytes
  // pass raw (no translation, no software flow control). The caller releases the device after a refusal.
  PortResult Configure(const LineSettings& settings);
  // The line settings the device holds now.
  std::optional<LineSettings> CurrentSettings() const;

  // Bytes waiting in the input queue; nullopt when no device is held, or when it vanished and the queue is
  // empty.
  std::optional<std::size_t> BytesWaiting() const;
  // Takes at most `maxBytes` from the input queue; returns how many were taken (0 when none or no device).
  std::size_t Read(char* buffer, std::size_t maxBytes);
  // Waits until bytes are waiting, `timeout` has passed or the device is released. True when bytes wait.
  bool WaitForBytes(std::chrono::milliseconds timeout) const;
  // The same, also ending as soon as `stop` is requested.
  bool WaitForBytes(std::chrono::milliseconds timeout, std::stop_token stop) const;
  // Sends all bytes unaltered within the write allowance above. TimedOut when the allowance ran out,
  // DeviceGone when the device vanished, NotOpen when no device is held or Close released it during the
  // write, Stopped as soon as `stop` is requested (a write held up by a stalled line ends at once).
  PortResult Write(std::string_view bytes, std::stop_token stop = {});

  // The line errors of the connection held now (zero when none is held).
  LineErrorCounts LineErrors() const;

  // Which input line holds back the output: Cts (or Dsr) from the moment a write is seen stalled while the
  // port's output flow control, which Configure leaves as the port has it, waits for that line and it is not
  // on; None again once a write got all its bytes out, the line is seen on, flow control is off, or the port
  // closes. The reader thread looks a few times a second. Cheap: never waits on the device.
  OutputHold OutputHeldBy() const;
  // Whether the device held vanished (USB adapter pulled, other side of a pseudo-terminal closed): true from
  // the moment the reader saw it go until Close. Cheap: never waits on the device.
  bool DeviceGone() const;

  bool IsOpen() const;
  // Releases the device (no effect when none is held). Reports a failure of the system's close.
  PortResult Close();

 private:
  struct State;
  std::unique_ptr<State> m_state;
};

// The read shared by upload and download: when bytes wait, at most kMaxReadBytes of them, with zero bytes
// dropped alone (the bytes after a zero byte are kept). `readBytes` is false when nothing waited or the port
// could not say.
struct ChunkRead {
  bool readBytes = false;
  CString chunk;
  int zeroBytes = 0;  // dropped from the chunk
};
ChunkRead ReadChunk(SerialPort& port);

}  // namespace kestrion

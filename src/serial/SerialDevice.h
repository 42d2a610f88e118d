// One open serial device as the platform offers it, for SerialPort alone: SerialPort.cpp keeps the input queue,
// the reader thread and the lock rules once for every platform, and SerialPortPosix.cpp or SerialPortWin32.cpp
// make the device calls.
//
// Threads: Open, Configure, CurrentSettings, Write and the destructor run under SerialPort's device lock. ReadSome
// and Errors run on the reader thread alone, which the port joins before the device goes. Wake may come from any
// thread at any time while the device exists.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>

#include "serial/LineErrors.h"
#include "serial/SerialPort.h"

namespace kestrion::detail {

// The line settings that Configure offers at all, the same on every platform: 4800, 9600, 19200 or 38400 baud, 7
// or 8 data bits, no, odd or even parity, one or two stop bits. Anything else is refused before the device is
// touched.
bool IsOffered(const LineSettings& settings);

// Whether a failure came while opening (a device that cannot be reached was never there) or while the device
// was held (the same errors mean that it went away): each platform's one mapping from a system error to a reason
// tells the two apart.
enum class Step { Opening, Holding };

class SerialDevice {
 public:
  using Clock = std::chrono::steady_clock;

  // Opens the device that `portName` names for reading and writing, exclusively, without changing its
  // settings. Null and `result` set when it cannot.
  static std::unique_ptr<SerialDevice> Open(const std::string& portName, PortResult& result);
  // Discards what has not been sent yet, so that releasing the device never waits on a stalled line.
  ~SerialDevice();
  SerialDevice(const SerialDevice&) = delete;
  SerialDevice& operator=(const SerialDevice&) = delete;

  PortResult Configure(const LineSettings& settings);
  std::optional<LineSettings> CurrentSettings() const;

  enum class Wait {
    Input,  // bytes were appended (possibly none, when all that came was an error mark)
    Idle,   // nothing within the time
    Woken,  // Wake was called: the reader lets go
    Gone,   // the device vanished
  };
  // Waits up to `idle` for input and appends what arrived to `bytes`, as it arrived: the platform's error marks
  // taken out and counted.
  Wait ReadSome(std::string& bytes, std::chrono::milliseconds idle);
  // The line errors since Open: the driver's counts where it keeps them, else those the reads found.
  LineErrorCounts Errors() const;
  // Ends a waiting ReadSome and any later one, and a waiting Write, for good.
  void Wake();

  // Sends all of `bytes` by `deadline`: TimedOut after it, Stopped as soon as `stop` is requested, NotOpen
  // after Wake, DeviceGone when the device vanished.
  PortResult Write(std::string_view bytes, Clock::time_point deadline, const std::stop_token& stop);

  // Bytes written that the device has not sent yet; nullopt when it cannot say.
  std::optional<std::size_t> BytesToSend() const;

  // Releases the device now, giving up what it has not sent, and reports the system's close failure; the
  // destructor does the same silently.
  PortResult Close();

  struct Platform;

 private:
  explicit SerialDevice(std::unique_ptr<Platform> platform);
  std::unique_ptr<Platform> m_platform;
};

}  // namespace kestrion::detail

// One open serial device as the platform offers it, for SerialPort alone: SerialPort.cpp keeps the input
// queue, the reader thread and the lock rules once for every platform, and SerialPortPosix.cpp or
// SerialPortWin32.cpp make the device calls.
//
// Threads: Open, Configure, CurrentSettings, Write, BytesToSend, Close and the destructor run under
// SerialPort's device lock. ReadSome, Errors and Lines run on the reader thread alone, which the port joins
// before the device goes. Wake may come from any thread at any time while the device exists.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
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

using Clock = std::chrono::steady_clock;

// The drain at close: what the device still has to send goes out while the line takes it (the last line of an
// upload, the end of a download the station sends). A line that took nothing for the stall window (flow
// control holding, the instrument switched off) has the rest given up, and no drain lasts beyond kDrainLimit.
inline constexpr std::chrono::milliseconds kDrainLimit{3000};

// The stall window at the line's rate: a USB adapter's count moves in blocks of up to 256 bytes, so at least
// one block's time, and a margin for the adapter's own polling. Unknown settings count as the slowest offered
// line.
std::chrono::milliseconds DrainStallWindow(const std::optional<LineSettings>& settings);

class OutputDrain {
 public:
  enum class State { Going, Drained, GivenUp };
  // `left` is the device's count of bytes still to send at `start`; nullopt when it cannot say.
  OutputDrain(Clock::time_point start, std::chrono::milliseconds stallWindow,
              std::optional<std::size_t> left);
  // The device's count at `now`.
  State Update(Clock::time_point now, std::optional<std::size_t> left);
  State Current() const { return m_state; }

 private:
  State StateFor(std::optional<std::size_t> left) const;
  Clock::time_point m_start;
  Clock::time_point m_lastProgress;
  std::chrono::milliseconds m_stallWindow;
  std::optional<std::size_t> m_left;
  State m_state;
};

// What Write tells the reader thread about the output: written by Write under the device lock, read by the
// reader without it.
struct WriteWatch {
  std::atomic<bool> waiting{false};         // a write is under way
  std::atomic<std::uint64_t> moved{0};      // counts every time the device took bytes
  std::atomic<std::uint64_t> completed{0};  // writes that sent all their bytes
};

// The output's flow control and its lines, as the device tells them.
struct OutputLines {
  bool ctsFlow = false;     // output waits while CTS is off
  bool dsrFlow = false;     // output waits while DSR is off
  std::optional<bool> cts;  // nullopt when the device cannot say (a pseudo-terminal has no modem lines)
  std::optional<bool> dsr;
  std::optional<std::size_t> queued;  // bytes written that the device has not sent, where it can say cheaply
};

// Which line holds the output, from the reader thread's looks at it: a write that waited at two looks with
// nothing moved in between, while flow control is on and its line is not seen on (a line the device cannot
// report is not seen on: the port waits for it and nothing shows that it may send), is held by that line. The
// hold ends when a write got all its bytes out, the line is seen on, or flow control is off.
class OutputHoldWatch {
 public:
  OutputHold Look(const WriteWatch& watch, const OutputLines& lines);

 private:
  bool m_looked = false;
  bool m_waiting = false;
  std::uint64_t m_moved = 0;
  std::uint64_t m_completed = 0;
  std::optional<std::size_t> m_queued;
  OutputHold m_hold = OutputHold::None;
};

class SerialDevice {
 public:
  using Clock = detail::Clock;

  // Opens the device that `portName` names for reading and writing, exclusively, without changing its
  // settings. Null and `result` set when it cannot.
  static std::unique_ptr<SerialDevice> Open(const std::string& portName, PortResult& result);
  // Discards what has not been sent yet, so that releasing the device never waits on a stalled line.
  ~SerialDevice();
  SerialDevice(const SerialDevice&) = delete;
  SerialDevice& operator=(const SerialDevice&) = delete;

  // Applies `settings`. Bytes that arrived before the change are read as the terminal handled them then, and
  // every byte that can be read after it is read under the new settings: the reader never decodes one under
  // the other's rule.
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
  // The line errors since Open: per kind the larger of the driver's count, where it keeps one, and what the
  // reads found.
  LineErrorCounts Errors() const;
  // The output's flow control and lines now.
  OutputLines Lines() const;
  // Ends a waiting ReadSome and any later one, and a waiting Write, for good.
  void Wake();

  // Sends all of `bytes` by `deadline`: TimedOut after it, Stopped as soon as `stop` is requested, NotOpen
  // after Wake, DeviceGone when the device vanished. Counts in Watch().moved whenever the device takes bytes.
  PortResult Write(std::string_view bytes, Clock::time_point deadline, const std::stop_token& stop);
  WriteWatch& Watch() { return m_watch; }
  const WriteWatch& Watch() const { return m_watch; }

  // Bytes written that the device has not sent yet; nullopt when it cannot say.
  std::optional<std::size_t> BytesToSend() const;

  // Releases the device now and reports the system's close failure. With `discardOutput` what it has not sent
  // is given up first (a stalled line would hold up the release); without, a device that has sent all it was
  // counted to is not told to flush, which would cut off what an adapter still holds. The destructor
  // discards.
  PortResult Close(bool discardOutput);

  struct Platform;

 private:
  explicit SerialDevice(std::unique_ptr<Platform> platform);
  std::unique_ptr<Platform> m_platform;
  WriteWatch m_watch;
};

}  // namespace kestrion::detail

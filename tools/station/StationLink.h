// The station's end of the line: its own pseudo-terminal (the master side, PtyLink.h) or a serial device through
// SerialPort. The exchanges only ever see this interface.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "Stop.h"
#include "serial/SerialPort.h"

namespace kestrion::station {

enum class LinkStatus {
  Ok,
  TimedOut,
  PeerGone,  // the other side closed the pseudo-terminal, or the device vanished
  Stopped,   // a stop signal came
  Failed,    // any other failure of the system
};

struct LinkResult {
  LinkStatus status = LinkStatus::Ok;
  std::size_t count = 0;  // bytes read or written
  std::string detail;     // for a failure: what the system said
};

class StationLink {
 public:
  virtual ~StationLink() = default;
  // Waits until bytes have arrived and takes at most `max` of them; or until `deadline`, the other side going
  // away or a stop.
  virtual LinkResult Read(char* buffer, std::size_t max, Clock::time_point deadline) = 0;
  // Takes what has arrived already, without waiting.
  LinkResult ReadNow(char* buffer, std::size_t max) { return Read(buffer, max, Clock::now()); }
  // Writes all bytes.
  virtual LinkResult Write(std::string_view bytes) = 0;
  // Whether this link can tell that the other side opened the port (a pseudo-terminal can, a device cannot).
  virtual bool SeesPeer() const = 0;
  // Waits until the other side has opened the port and kept it open for `settle`. Returns at once on a link
  // that cannot see the other side.
  virtual LinkResult WaitForPeer(std::chrono::milliseconds settle) = 0;
  // After the last byte: keeps the line until the other side lets go of it or `linger` passed. Fails when the
  // other side never opened the port, so that bytes nobody could read are not reported as sent.
  virtual LinkResult Linger(std::chrono::milliseconds linger) = 0;
  // The line settings the line has now (on the station's own pseudo-terminal, those the other side set), as
  // far as the system tells them; nullopt when it tells nothing.
  virtual std::optional<LineSettings> LineSettingsNow() const = 0;
};

// A serial device held through SerialPort.
class PortLink final : public StationLink {
 public:
  // Opens and configures the device. Null and `error` set on failure.
  static std::unique_ptr<PortLink> Open(const std::string& portName, const LineSettings& settings,
                                        std::string& error);

  LinkResult Read(char* buffer, std::size_t max, Clock::time_point deadline) override;
  LinkResult Write(std::string_view bytes) override;
  bool SeesPeer() const override { return false; }
  LinkResult WaitForPeer(std::chrono::milliseconds) override { return {}; }
  LinkResult Linger(std::chrono::milliseconds) override { return {}; }
  std::optional<LineSettings> LineSettingsNow() const override { return m_port.CurrentSettings(); }

 private:
  PortLink() = default;
  SerialPort m_port;
};

// A system error number in words.
std::string ErrnoText(int errorNumber);
// The system's words for a port's error (PortResult::systemError): errno on POSIX, the Win32 error code on
// Windows.
std::string PortErrorText(int systemError);
// What a port failure means, for a message.
std::string PortFailureText(const PortResult& result);

}  // namespace kestrion::station

#include "StationLink.h"

#include <algorithm>

namespace kestrion::station {
namespace {

// How often a SerialPort wait comes back to look at a stop.
constexpr std::chrono::milliseconds kPortPollPeriod{50};

}  // namespace

std::string PortFailureText(const PortResult& result) {
  std::string text;
  switch (result.failure) {
    case PortFailure::None:
      return "no failure";
    case PortFailure::NoSuchDevice:
      text = "no such device";
      break;
    case PortFailure::InUse:
      text = "the device is in use by another program";
      break;
    case PortFailure::PermissionDenied:
      text = "permission denied (is the user in the dialout group?)";
      break;
    case PortFailure::SettingsRefused:
      text = "the device refused the line settings";
      break;
    case PortFailure::NotOpen:
      text = "the device is not open";
      break;
    case PortFailure::DeviceGone:
      text = "the device is gone";
      break;
    case PortFailure::TimedOut:
      text = "a write timed out";
      break;
    case PortFailure::Stopped:
      text = "a write was stopped";
      break;
    case PortFailure::Other:
      text = "the port failed";
      break;
  }
  if (result.systemError != 0) text += " (" + PortErrorText(result.systemError) + ")";
  return text;
}

std::unique_ptr<PortLink> PortLink::Open(const std::string& portName, const LineSettings& settings,
                                         std::string& error) {
  std::unique_ptr<PortLink> link(new PortLink());
  if (const PortResult opened = link->m_port.Open(portName); !opened) {
    error = "cannot open " + portName + ": " + PortFailureText(opened);
    return nullptr;
  }
  if (const PortResult configured = link->m_port.Configure(settings); !configured) {
    error = "cannot configure " + portName + ": " + PortFailureText(configured);
    return nullptr;
  }
  return link;
}

LinkResult PortLink::Read(char* buffer, std::size_t max, Clock::time_point deadline) {
  for (;;) {
    if (StopRequested()) return {LinkStatus::Stopped, 0, {}};
    const std::optional<std::size_t> waiting = m_port.BytesWaiting();
    if (!waiting) return {LinkStatus::PeerGone, 0, "the device is gone"};
    if (*waiting > 0) return {LinkStatus::Ok, m_port.Read(buffer, max), {}};
    const Clock::time_point now = Clock::now();
    if (now >= deadline) return {LinkStatus::TimedOut, 0, {}};
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now) + std::chrono::milliseconds(1);
    m_port.WaitForBytes(std::min(left, kPortPollPeriod));
  }
}

LinkResult PortLink::Write(std::string_view bytes) {
  if (StopRequested()) return {LinkStatus::Stopped, 0, {}};
  const PortResult written = m_port.Write(bytes);
  if (written) return {LinkStatus::Ok, bytes.size(), {}};
  const LinkStatus status = written.failure == PortFailure::DeviceGone ? LinkStatus::PeerGone
                            : written.failure == PortFailure::TimedOut ? LinkStatus::TimedOut
                                                                       : LinkStatus::Failed;
  return {status, 0, PortFailureText(written)};
}

}  // namespace kestrion::station

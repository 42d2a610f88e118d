#include "PtyLink.h"
#include "StopPosix.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <utility>

namespace kestrion::station {
namespace {

// How often the station looks whether the other side opened the pseudo-terminal: the kernel signals the
// closing of the last slave descriptor, but not an opening.
constexpr std::chrono::milliseconds kPeerPollPeriod{10};
// A write that makes no progress for this long means the other side does not read.
constexpr std::chrono::milliseconds kWriteStallLimit{10'000};
std::optional<speed_t> SpeedOf(int baudRate) {
  switch (baudRate) {
    case 4800:
      return B4800;
    case 9600:
      return B9600;
    case 19200:
      return B19200;
    case 38400:
      return B38400;
    default:
      return std::nullopt;
  }
}

std::optional<int> RateOf(speed_t speed) {
  for (const int rate : {4800, 9600, 19200, 38400}) {
    if (SpeedOf(rate) == speed) return rate;
  }
  return std::nullopt;
}

}  // namespace

std::unique_ptr<PtyLink> PtyLink::Create(const LineSettings& settings, std::string& error) {
  const auto speed = SpeedOf(settings.baudRate);
  if (!speed) {
    error = "unsupported baud rate " + std::to_string(settings.baudRate);
    return nullptr;
  }
  int masterFd = -1;
  int slaveFd = -1;
  if (::openpty(&masterFd, &slaveFd, nullptr, nullptr, nullptr) != 0) {
    error = "cannot make a pseudo-terminal: " + ErrnoText(errno);
    return nullptr;
  }
  FileDescriptor master(masterFd);
  FileDescriptor slave(slaveFd);

  // Raw, so that no byte is translated or echoed back to the station; the line settings only describe the
  // line, since a pseudo-terminal does not pace, but Kestrion reads them back like a real device's.
  termios tio{};
  if (::tcgetattr(slave.Get(), &tio) != 0) {
    error = "cannot read the pseudo-terminal's settings: " + ErrnoText(errno);
    return nullptr;
  }
  ::cfmakeraw(&tio);
  tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CRTSCTS);
  tio.c_cflag |= static_cast<tcflag_t>(CLOCAL | CREAD | CSTOPB | (settings.dataBits == 7 ? CS7 : CS8));
  if (settings.parity != Parity::None) tio.c_cflag |= PARENB;
  if (settings.parity == Parity::Odd) tio.c_cflag |= PARODD;
  tio.c_cc[VMIN] = 1;
  tio.c_cc[VTIME] = 0;
  ::cfsetispeed(&tio, *speed);
  ::cfsetospeed(&tio, *speed);
  if (::tcsetattr(slave.Get(), TCSANOW, &tio) != 0) {
    error = "cannot set the pseudo-terminal's line settings: " + ErrnoText(errno);
    return nullptr;
  }

  std::array<char, 128> name{};
  if (::ptsname_r(master.Get(), name.data(), name.size()) != 0) {
    error = "cannot name the pseudo-terminal: " + ErrnoText(errno);
    return nullptr;
  }
  const int flags = ::fcntl(master.Get(), F_GETFL);
  if (flags < 0 || ::fcntl(master.Get(), F_SETFL, flags | O_NONBLOCK) != 0 ||
      ::fcntl(master.Get(), F_SETFD, FD_CLOEXEC) != 0) {
    error = "cannot set up the pseudo-terminal: " + ErrnoText(errno);
    return nullptr;
  }
  slave.Close();
  return std::unique_ptr<PtyLink>(new PtyLink(std::move(master), std::string(name.data()), settings));
}

bool PtyLink::PeerOpen() const {
  pollfd fd{m_master.Get(), 0, 0};
  if (::poll(&fd, 1, 0) < 0) return false;
  return (fd.revents & POLLHUP) == 0;
}

LinkResult PtyLink::Read(char* buffer, std::size_t max, Clock::time_point deadline) {
  for (;;) {
    const ssize_t got = ::read(m_master.Get(), buffer, max);
    if (got > 0) {
      m_bPeerSeen = true;
      return {LinkStatus::Ok, static_cast<std::size_t>(got), {}};
    }
    if (got < 0 && errno == EINTR) continue;
    // EIO: nobody holds the slave open and nothing is left to read.
    if (got == 0 || errno == EIO) {
      if (m_bPeerSeen) return {LinkStatus::PeerGone, 0, "the other side closed the port"};
    } else if (errno != EAGAIN) {
      return {LinkStatus::Failed, 0, "read failed: " + ErrnoText(errno)};
    }
    if (Clock::now() >= deadline) return {LinkStatus::TimedOut, 0, {}};

    const bool peerOpen = PeerOpen();
    if (peerOpen) m_bPeerSeen = true;
    short revents = 0;
    WaitResult waited = WaitResult::Ready;
    if (peerOpen) {
      waited = WaitForFd(m_master.Get(), POLLIN, deadline, &revents);
    } else {
      // Before the first open the master reports a hang-up without pause; look again a little later.
      waited = WaitForFd(-1, 0, std::min(deadline, Clock::now() + kPeerPollPeriod));
      if (waited == WaitResult::TimedOut) waited = WaitResult::Ready;
    }
    if (waited == WaitResult::Stopped) return {LinkStatus::Stopped, 0, {}};
    if (waited == WaitResult::TimedOut) return {LinkStatus::TimedOut, 0, {}};
  }
}

LinkResult PtyLink::Write(std::string_view bytes) {
  std::size_t written = 0;
  Clock::time_point lastProgress = Clock::now();
  while (written < bytes.size()) {
    if (StopRequested()) return {LinkStatus::Stopped, written, {}};
    const bool peerOpen = PeerOpen();
    if (peerOpen) {
      m_bPeerSeen = true;
    } else if (m_bPeerSeen) {
      return {LinkStatus::PeerGone, written, "the other side closed the port"};
    }
    const ssize_t done = ::write(m_master.Get(), bytes.data() + written, bytes.size() - written);
    if (done > 0) {
      written += static_cast<std::size_t>(done);
      lastProgress = Clock::now();
      continue;
    }
    if (done < 0 && errno == EINTR) continue;
    if (done < 0 && errno != EAGAIN) {
      if (errno == EIO) return {LinkStatus::PeerGone, written, "the other side closed the port"};
      return {LinkStatus::Failed, written, "write failed: " + ErrnoText(errno)};
    }
    // The pseudo-terminal is full: the other side does not read (yet).
    if (Clock::now() - lastProgress > kWriteStallLimit) {
      return {LinkStatus::TimedOut, written, "the other side reads nothing; the pseudo-terminal is full"};
    }
    const auto until = Clock::now() + kPeerPollPeriod;
    const WaitResult waited = peerOpen ? WaitForFd(m_master.Get(), POLLOUT, until) : WaitForFd(-1, 0, until);
    if (waited == WaitResult::Stopped) return {LinkStatus::Stopped, written, {}};
  }
  return {LinkStatus::Ok, written, {}};
}

LinkResult PtyLink::WaitForPeer(std::chrono::milliseconds settle) {
  for (;;) {
    while (!PeerOpen()) {
      if (!SleepUntil(Clock::now() + kPeerPollPeriod)) return {LinkStatus::Stopped, 0, {}};
    }
    m_bPeerSeen = true;
    // A program that only glances at the device (a port scan) closes it again at once: wait for one that
    // stays, and give it time to apply its settings before the first byte.
    const Clock::time_point settled = Clock::now() + settle;
    bool stayed = true;
    while (stayed && Clock::now() < settled) {
      if (!SleepUntil(std::min(settled, Clock::now() + kPeerPollPeriod))) return {LinkStatus::Stopped, 0, {}};
      stayed = PeerOpen();
    }
    if (stayed) return {};
    m_bPeerSeen = false;
  }
}

LinkResult PtyLink::Linger(std::chrono::milliseconds linger) {
  // A pseudo-terminal drops what its reader has not taken when the master closes: keep it while the other
  // side is there (or may still come), until it lets go.
  const Clock::time_point until = Clock::now() + linger;
  for (;;) {
    if (PeerOpen()) {
      m_bPeerSeen = true;
    } else if (m_bPeerSeen) {
      return {};
    }
    if (Clock::now() >= until) break;
    if (!SleepUntil(std::min(until, Clock::now() + kPeerPollPeriod))) return {LinkStatus::Stopped, 0, {}};
  }
  if (!m_bPeerSeen)
    return {LinkStatus::PeerGone, 0, "nobody opened the port, so nobody could read the bytes"};
  return {};
}

// The other side's settings live on the slave. The station reads them there where the system lets it open the
// slave beside the other side (an exclusive hold refuses others than the administrator); otherwise it takes
// the rate, which the master mirrors, and the format the line was made with.
std::optional<LineSettings> PtyLink::LineSettingsNow() const {
  termios tio{};
  const int slave = ::open(m_strSlavePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (slave >= 0) {
    const bool read = ::tcgetattr(slave, &tio) == 0;
    ::close(slave);
    if (read) {
      const std::optional<int> rate = RateOf(::cfgetispeed(&tio));
      if (!rate) return std::nullopt;
      LineSettings settings;
      settings.baudRate = *rate;
      settings.dataBits = (tio.c_cflag & CSIZE) == CS7 ? 7 : 8;
      settings.parity = (tio.c_cflag & PARENB) == 0   ? Parity::None
                        : (tio.c_cflag & PARODD) != 0 ? Parity::Odd
                                                      : Parity::Even;
      settings.parityCheck = (tio.c_iflag & INPCK) != 0;
      settings.stopBits = (tio.c_cflag & CSTOPB) != 0 ? 2 : 1;
      return settings;
    }
  }
  if (::tcgetattr(m_master.Get(), &tio) != 0) return std::nullopt;
  const std::optional<int> rate = RateOf(::cfgetispeed(&tio));
  if (!rate) return std::nullopt;
  LineSettings settings = m_settings;
  settings.baudRate = *rate;
  return settings;
}

}  // namespace kestrion::station

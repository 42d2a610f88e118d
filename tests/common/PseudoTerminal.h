// A pseudo-terminal that stands in for the instrument's end of a serial line: the test keeps the master side
// and the code under test opens the slave by its path.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <string>
#include <string_view>

namespace kestrion::testing_support {

class PseudoTerminal {
 public:
  PseudoTerminal() {
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) return;
    std::array<char, 128> name{};
    if (::ptsname_r(m_master, name.data(), name.size()) != 0) return;
    m_slavePath = name.data();
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    // Kept open so that the terminal stays up while the port under test is closed and opened again, as a
    // real serial device does.
    m_slave = ::open(m_slavePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  }
  ~PseudoTerminal() {
    CloseMaster();
    if (m_slave >= 0) ::close(m_slave);
  }
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  bool IsValid() const { return m_master >= 0 && m_slave >= 0; }
  const std::string& SlavePath() const { return m_slavePath; }

  // The line settings as the terminal holds them, seen from outside the code under test.
  termios SlaveSettings() const {
    termios t{};
    ::tcgetattr(m_slave, &t);
    return t;
  }

  // The instrument sends: all of `bytes`, or false when the port side took none for `timeout`.
  bool Send(std::string_view bytes, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    while (!bytes.empty()) {
      const ssize_t count = ::write(m_master, bytes.data(), bytes.size());
      if (count > 0) {
        bytes.remove_prefix(static_cast<std::size_t>(count));
        continue;
      }
      pollfd fd{m_master, POLLOUT, 0};
      if (::poll(&fd, 1, static_cast<int>(timeout.count())) <= 0) return false;
    }
    return true;
  }

  // The instrument receives: bytes until `count` have come or nothing came for `quiet`.
  std::string Receive(std::size_t count, std::chrono::milliseconds quiet = std::chrono::seconds(5)) {
    std::string received;
    std::array<char, 4096> buffer{};
    while (received.size() < count) {
      pollfd fd{m_master, POLLIN, 0};
      if (::poll(&fd, 1, static_cast<int>(quiet.count())) <= 0) break;
      const ssize_t n = ::read(m_master, buffer.data(), std::min(buffer.size(), count - received.size()));
      if (n <= 0) break;
      received.append(buffer.data(), static_cast<std::size_t>(n));
    }
    return received;
  }

  // Everything that arrives within `quiet` of the last byte.
  std::string ReceiveAll(std::chrono::milliseconds quiet) {
    return Receive(static_cast<std::size_t>(-1), quiet);
  }

  // Holds back what the port side writes, as an instrument that takes no more does through flow control.
  bool SuspendOutput() { return ::tcflow(m_slave, TCOOFF) == 0; }
  bool ResumeOutput() { return ::tcflow(m_slave, TCOON) == 0; }

  void CloseMaster() {
    if (m_master >= 0) ::close(m_master);
    m_master = -1;
  }

 private:
  int m_master = -1;
  int m_slave = -1;
  std::string m_slavePath;
};

}  // namespace kestrion::testing_support

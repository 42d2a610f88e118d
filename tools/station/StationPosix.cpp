#include <poll.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

#include "PtyLink.h"
#include "StationPlatform.h"
#include "StopPosix.h"
#include "VirtualPort.h"

namespace kestrion::station {

std::string ErrnoText(int errorNumber) {
  std::array<char, 256> buffer{};
  // The GNU strerror_r returns the text, which need not be in the buffer.
  return strerror_r(errorNumber, buffer.data(), buffer.size());
}

std::string PortErrorText(int systemError) {
  return ErrnoText(systemError);
}

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>{};
}

std::filesystem::path PathFromArgument(const std::string& argument) {
  return argument;
}

std::uint64_t ProcessId() {
  return static_cast<std::uint64_t>(::getpid());
}

bool WaitForEnter() {
  for (;;) {
    if (WaitForFd(STDIN_FILENO, POLLIN, kNoDeadline) == WaitResult::Stopped) return false;
    char c = 0;
    const ssize_t got = ::read(STDIN_FILENO, &c, 1);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0 || c == '\n') return true;
  }
}

OwnLine MakeOwnLine(const StationOptions& options, std::string& error) {
  OwnLine own;
  std::unique_ptr<PtyLink> pty = PtyLink::Create(options.settings, error);
  if (!pty) return own;
  std::shared_ptr<VirtualPortRegistration> registration =
      VirtualPortRegistration::Register(options.name, pty->SlavePath(), error);
  if (!registration) return own;
  own.description = "virtual port " + registration->LinkPath().string() + " -> " + pty->SlavePath();
  own.registration = std::move(registration);
  own.link = std::move(pty);
  return own;
}

std::string_view PortUsage() {
  return "  --port PATH        play the instrument on this serial device (COM1..COM9 name /dev/ttyS0..8)\n"
         "  --name NAME        otherwise: make a pseudo-terminal and register it as the virtual port NAME\n"
         "                     (default 'station'), a link in $XDG_RUNTIME_DIR/kestrion/ports/ that Kestrion\n"
         "                     lists (/tmp/runtime-$USER/kestrion/ports/ when that variable names no private\n"
         "                     folder; a folder that others may write is refused); the link goes away when the\n"
         "                     station ends\n";
}

}  // namespace kestrion::station

#include "StopPosix.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/signalfd.h>
#endif

#include <cerrno>
#include <csignal>
#include <ctime>

namespace kestrion::station {
namespace {

// The stop signals are taken as data where the system offers it: blocked, and read from a descriptor that
// every wait polls, so that none is missed between a look at the flag and the wait that follows, whoever
// stands between the kernel and a handler. Elsewhere the self-pipe: the handler writes one byte, every wait
// polls the read end.
int g_stopPipe[2] = {-1, -1};
int g_signalFd = -1;
volatile std::sig_atomic_t g_stopSignal = 0;
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

// The descriptor a wait polls for a stop.
int StopFd() {
  return g_signalFd >= 0 ? g_signalFd : g_stopPipe[0];
}

// Takes a stop signal that waits on the signal descriptor, without waiting.
void TakeQueuedSignal() {
#ifdef __linux__
  if (g_signalFd < 0 || g_stopSignal != 0) return;
  signalfd_siginfo info{};
  if (::read(g_signalFd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
    g_stopSignal = static_cast<int>(info.ssi_signo);
  }
#endif
}

#ifdef __linux__
bool TakeSignalsAsData() {
  sigset_t stops;
  sigemptyset(&stops);
  for (const int signalNumber : kStopSignals) sigaddset(&stops, signalNumber);
  if (::pthread_sigmask(SIG_BLOCK, &stops, nullptr) != 0) return false;
  g_signalFd = ::signalfd(-1, &stops, SFD_NONBLOCK | SFD_CLOEXEC);
  if (g_signalFd >= 0) return true;
  ::pthread_sigmask(SIG_UNBLOCK, &stops, nullptr);
  return false;
}
#endif

void OnStopSignal(int signalNumber) {
  const int savedErrno = errno;
  g_stopSignal = signalNumber;
  if (g_stopPipe[1] >= 0) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_stopPipe[1], &byte, 1);
  }
  errno = savedErrno;
}

timespec ToTimespec(Clock::duration left) {
  if (left < Clock::duration::zero()) left = Clock::duration::zero();
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(left);
  const auto nanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(left - seconds);
  timespec when{};
  when.tv_sec = static_cast<time_t>(seconds.count());
  when.tv_nsec = static_cast<long>(nanoseconds.count());
  return when;
}

}  // namespace

void InstallStopHandlers() {
  if (g_stopPipe[0] >= 0 || g_signalFd >= 0) return;
  // A vanished reader must show up as a failed write, not end the station before it removes its link.
  std::signal(SIGPIPE, SIG_IGN);
#ifdef __linux__
  if (TakeSignalsAsData()) return;
#endif
  if (::pipe2(g_stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    g_stopPipe[0] = g_stopPipe[1] = -1;
  }
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: a blocking call returns EINTR and the caller looks at the stop
  for (const int signalNumber : kStopSignals) ::sigaction(signalNumber, &action, nullptr);
}

bool StopRequested() {
  TakeQueuedSignal();
  return g_stopSignal != 0;
}

int StopSignalNumber() {
  return static_cast<int>(g_stopSignal);
}

WaitResult WaitForFd(int fd, short events, Clock::time_point deadline, short* revents) {
  if (revents != nullptr) *revents = 0;
  for (;;) {
    if (StopRequested()) return WaitResult::Stopped;
    pollfd fds[2] = {{fd, events, 0}, {StopFd(), POLLIN, 0}};
    const Clock::time_point now = Clock::now();
    if (now >= deadline && deadline != kNoDeadline) {
      // One last look without waiting, so that a deadline already passed still sees what is there.
      const int ready = ::poll(fds, 1, 0);
      if (ready > 0 && fd >= 0) {
        if (revents != nullptr) *revents = fds[0].revents;
        return WaitResult::Ready;
      }
      return WaitResult::TimedOut;
    }
    timespec when{};
    timespec* timeout = nullptr;
    if (deadline != kNoDeadline) {
      when = ToTimespec(deadline - now);
      timeout = &when;
    }
    const int ready = ::ppoll(fds, 2, timeout, nullptr);
    if (ready < 0) {
      if (errno == EINTR) continue;
      return WaitResult::TimedOut;
    }
    if (StopRequested()) return WaitResult::Stopped;
    if (ready > 0 && fd >= 0 && fds[0].revents != 0) {
      if (revents != nullptr) *revents = fds[0].revents;
      return WaitResult::Ready;
    }
    if (ready == 0 && Clock::now() >= deadline) return WaitResult::TimedOut;
  }
}

bool SleepUntil(Clock::time_point until) {
  return WaitForFd(-1, 0, until) != WaitResult::Stopped;
}

}  // namespace kestrion::station

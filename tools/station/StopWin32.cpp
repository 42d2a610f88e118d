#include "StopWin32.h"

#include <algorithm>
#include <atomic>
#include <csignal>

namespace kestrion::station {
namespace {

// The console runs the handler on a thread of its own, so the stop is an atomic and an event, not a flag.
std::atomic<int> g_stopSignal{0};
HANDLE g_stopEvent = nullptr;

BOOL WINAPI OnConsoleEvent(DWORD event) {
  int signalNumber = 0;
  switch (event) {
    case CTRL_C_EVENT:
      signalNumber = SIGINT;
      break;
    case CTRL_BREAK_EVENT:
      signalNumber = SIGBREAK;
      break;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      signalNumber = SIGTERM;
      break;
    default:
      return FALSE;
  }
  int none = 0;
  g_stopSignal.compare_exchange_strong(none, signalNumber);
  ::SetEvent(g_stopEvent);
  // Handled: the process is not ended here but leaves through its normal exit path. (Windows ends it anyway a
  // few seconds after a close event.)
  return TRUE;
}

}  // namespace

void InstallStopHandlers() {
  if (g_stopEvent != nullptr) return;
  g_stopEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (g_stopEvent != nullptr) ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

HANDLE StopEvent() {
  return g_stopEvent;
}

bool StopRequested() {
  return g_stopSignal.load() != 0;
}

int StopSignalNumber() {
  return g_stopSignal.load();
}

bool SleepUntil(Clock::time_point until) {
  for (;;) {
    if (StopRequested()) return false;
    const Clock::time_point now = Clock::now();
    if (now >= until) return true;
    DWORD wait = INFINITE;
    if (until != kNoDeadline) {
      // Rounded up, so that a wait never ends before `until`; long waits come back round the loop.
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - now).count();
      wait = static_cast<DWORD>(std::min<long long>(left, 0x7FFFFFFF));
    }
    if (g_stopEvent == nullptr) {
      ::Sleep(wait);
    } else {
      ::WaitForSingleObject(g_stopEvent, wait);
    }
  }
}

}  // namespace kestrion::station

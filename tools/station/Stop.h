// Stopping the station: SIGINT, SIGTERM and SIGHUP ask it to stop, and every wait of the station wakes up for
// that, so that it always leaves through its normal exit path and takes its virtual port link away.
#pragma once

#include <chrono>

namespace kestrion::station {

using Clock = std::chrono::steady_clock;

// Installs the handlers (once). Without them no stop can be asked and the waits below only time out.
void InstallStopHandlers();
bool StopRequested();
// The signal that asked for the stop, 0 when none did.
int StopSignalNumber();

enum class WaitResult { Ready, TimedOut, Stopped };

// Waits until `fd` reports one of `events` (poll flags; hang-up and errors count as ready), `deadline` passes
// or a stop is asked. `revents` receives what the fd reported. A negative fd waits for the deadline or a stop
// only.
WaitResult WaitForFd(int fd, short events, Clock::time_point deadline, short* revents = nullptr);

// Sleeps until `until`; false when a stop was asked first.
bool SleepUntil(Clock::time_point until);

// A deadline that never comes.
inline constexpr Clock::time_point kNoDeadline = Clock::time_point::max();

}  // namespace kestrion::station

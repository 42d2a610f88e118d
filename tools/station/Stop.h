// Stopping the station: SIGINT, SIGTERM and SIGHUP ask it to stop (on Windows Ctrl+C, Ctrl+Break and closing
// the console), and every wait of the station wakes up for that, so that it always leaves through its normal exit
// path and takes its virtual port link away. One file per platform: StopPosix.cpp, StopWin32.cpp.
#pragma once

#include <chrono>

namespace kestrion::station {

using Clock = std::chrono::steady_clock;

// Installs the handlers (once). Without them no stop can be asked and the waits below only time out.
void InstallStopHandlers();
bool StopRequested();
// The signal that asked for the stop, 0 when none did. On Windows: SIGINT for Ctrl+C, SIGBREAK for Ctrl+Break,
// SIGTERM for the console closing.
int StopSignalNumber();

enum class WaitResult { Ready, TimedOut, Stopped };

// Sleeps until `until`; false when a stop was asked first.
bool SleepUntil(Clock::time_point until);

// A deadline that never comes.
inline constexpr Clock::time_point kNoDeadline = Clock::time_point::max();

}  // namespace kestrion::station

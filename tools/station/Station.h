// One run of the station: open the line, play one exchange, report, clean up.
#pragma once

#include <ostream>

#include "StationOptions.h"

namespace kestrion::station {

// Exit statuses.
inline constexpr int kExitCompleted = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitStalled = 3;
inline constexpr int kExitSignalBase = 128;

// Runs the command of `options`; received lines go to --out or `data`, messages to `log`. Returns the exit
// status.
int RunStation(const StationOptions& options, std::ostream& data, std::ostream& log);

}  // namespace kestrion::station

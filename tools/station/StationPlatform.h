// What differs per platform in running the station, one file each: StationPosix.cpp, StationWin32.cpp.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "StationLink.h"
#include "StationOptions.h"

namespace kestrion::station {

// The line the station makes itself when no --port names one.
struct OwnLine {
  std::unique_ptr<StationLink> link;   // null when it could not be made
  std::shared_ptr<void> registration;  // declared after the link, so that it goes first: a port is never listed
                                       // after its line is gone
  std::string description;             // for the log: what was made and where
};

// A pseudo-terminal registered as the virtual port --name. Windows has neither: the link is null and `error`
// says to name a port.
OwnLine MakeOwnLine(const StationOptions& options, std::string& error);

// Waits for a line (or the end) on standard input. False on a stop.
bool WaitForEnter();

// The --port and --name lines of the usage text.
std::string_view PortUsage();

}  // namespace kestrion::station

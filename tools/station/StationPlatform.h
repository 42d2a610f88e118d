// What differs per platform in running the station, one file each: StationPosix.cpp, StationWin32.cpp.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

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

// The command line's arguments after the program's name, in UTF-8 on Windows (taken from the system's wide
// command line, so that names outside the code page pass), as they stand elsewhere.
std::vector<std::string> CommandLineArguments(int argc, char** argv);
// The file an argument names: UTF-8 on Windows, the bytes as they stand elsewhere.
std::filesystem::path PathFromArgument(const std::string& argument);
std::uint64_t ProcessId();

// Waits for a line (or the end) on standard input. False on a stop.
bool WaitForEnter();

// The --port and --name lines of the usage text.
std::string_view PortUsage();

}  // namespace kestrion::station

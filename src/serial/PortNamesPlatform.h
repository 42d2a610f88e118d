// What the per-platform port name files (PortNamesPosix.cpp, PortNamesWin32.cpp) give the shared PortNames.cpp,
// and the helpers they share.
#pragma once

#include <string>
#include <vector>

namespace kestrion::port_names {

// "COM1" to "COM9" are always listed first, whether or not a port answers there.
inline constexpr int kComPortCount = 9;

// The number n of "COMn" (1..9), or 0 for any other name.
int ComNumber(const std::string& portName);

// Order in which numbered devices read naturally: ttyUSB2 before ttyUSB10.
bool NaturalLess(const std::string& a, const std::string& b);

// The port names a system reported (in any order, perhaps twice) as they follow COM1..COM9 in the list: in
// natural order, once each, without COM1..COM9 themselves.
std::vector<std::string> ReportedPortsInOrder(std::vector<std::string> reported);

// Per platform: the other serial ports the system reports, in list order; and the registered virtual ports.
std::vector<std::string> SystemSerialPorts();
std::vector<std::string> VirtualPorts();

}  // namespace kestrion::port_names

// Port names as the window lists them, and the devices they stand for.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace kestrion {

// "COM1" to "COM9" (always, in that order), then the other serial devices the system reports (USB adapters such
// as /dev/ttyUSB0) by path, then the virtual ports registered in VirtualPortDirectory(), by link path.
std::vector<std::string> ListPortNames();
// The device a listed name stands for: "COM1".."COM9" are /dev/ttyS0../dev/ttyS8; anything else is a path.
std::string DevicePathForPortName(const std::string& portName);
// Where a simulator registers its pseudo-terminal as a link: $XDG_RUNTIME_DIR/kestrion/ports, or
// /tmp/runtime-$USER/kestrion/ports when that variable is unset.
std::filesystem::path VirtualPortDirectory();

}  // namespace kestrion

// Stand-in until the port list lands: the nine COM names only.
#include "serial/PortNames.h"

namespace kestrion {

std::vector<std::string> ListPortNames() {
  std::vector<std::string> names;
  for (int i = 1; i < 10; ++i) names.push_back("COM" + std::to_string(i));
  return names;
}

std::string DevicePathForPortName(const std::string& portName) { return portName; }

std::filesystem::path VirtualPortDirectory() { return "/tmp/kestrion/ports"; }

}  // namespace kestrion

// The station's pseudo-terminal registered as a virtual port: a link named after the station in
// VirtualPortDirectory(), which Kestrion lists among its ports.
//
// A lock file per name (in a sibling folder "stations", which Kestrion does not list) tells a live station
// from a dead one: the lock is the kernel's, so it goes with the process however it ends, and a link left
// behind by a killed station can be replaced while a live station's link is refused.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "serial/FileDescriptor.h"

namespace kestrion::station {

class VirtualPortRegistration {
 public:
  // Makes the folders (0700) and the link `name` -> `devicePath`. Null and `error` set on failure.
  static std::unique_ptr<VirtualPortRegistration> Register(const std::string& name,
                                                           const std::string& devicePath, std::string& error);
  // Removes the link, if it still points at this station's device, and the lock file.
  ~VirtualPortRegistration();
  VirtualPortRegistration(const VirtualPortRegistration&) = delete;
  VirtualPortRegistration& operator=(const VirtualPortRegistration&) = delete;

  const std::filesystem::path& LinkPath() const { return m_linkPath; }

 private:
  VirtualPortRegistration() = default;
  std::filesystem::path m_linkPath;
  std::filesystem::path m_lockPath;
  std::string m_strDevicePath;
  FileDescriptor m_lock;
};

// The folder of the lock files beside the virtual port folder.
std::filesystem::path StationLockDirectory();

}  // namespace kestrion::station

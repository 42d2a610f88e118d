#include "serial/PortNames.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <system_error>
#include <vector>

#include "serial/PortNamesPlatform.h"

namespace kestrion {
namespace {

using port_names::kComPortCount;
using port_names::NaturalLess;

const std::filesystem::path kVirtualPortFolder = std::filesystem::path("kestrion") / "ports";
constexpr const char* kComDevicePrefix = "/dev/ttyS";

// The first line of a small attribute file, or "" when it cannot be read.
std::string FirstLine(const std::filesystem::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  return line;
}

bool IsComDevice(const std::string& ttyName) {
  for (int i = 0; i < kComPortCount; ++i) {
    if (ttyName == "ttyS" + std::to_string(i)) return true;
  }
  return false;
}

// Serial devices that the kernel reports with a device behind them. The legacy ttyS ports are registered
// whether or not a UART sits there; those without one report type 0 and are left out.
std::vector<std::string> SystemSerialDevices() {
  std::vector<std::string> devices;
  const std::filesystem::path classDir = "/sys/class/tty";
  std::error_code error;
  std::filesystem::directory_iterator it(classDir, error);
  if (error) return devices;
  for (const std::filesystem::directory_entry& entry : it) {
    const std::string name = entry.path().filename().string();
    if (IsComDevice(name)) continue;
    if (!std::filesystem::exists(entry.path() / "device", error)) continue;
    if (name.compare(0, 4, "ttyS") == 0 && FirstLine(entry.path() / "type") == "0") continue;
    const std::filesystem::path node = std::filesystem::path("/dev") / name;
    if (!std::filesystem::exists(node, error)) continue;
    devices.push_back(node.string());
  }
  std::sort(devices.begin(), devices.end(), NaturalLess);
  return devices;
}

// The links that simulators registered; a link whose pseudo-terminal has gone is left out, and so is every link
// of a folder that others could have written to.
std::vector<std::string> RegisteredLinks() {
  std::vector<std::string> links;
  const FolderCheck folder = PrivateRuntimeFolder(kVirtualPortFolder, false);
  if (!folder) return links;
  std::error_code error;
  std::filesystem::directory_iterator it(folder.folder, error);
  if (error) return links;
  for (const std::filesystem::directory_entry& entry : it) {
    if (!entry.is_symlink(error)) continue;
    if (!std::filesystem::exists(entry.path(), error)) continue;
    links.push_back(entry.path().string());
  }
  std::sort(links.begin(), links.end(), NaturalLess);
  return links;
}

std::string UserName() {
  const char* user = std::getenv("USER");
  if (user != nullptr && *user != '\0') return user;
  const uid_t uid = ::getuid();
  std::array<char, 4096> buffer{};
  passwd entry{};
  passwd* found = nullptr;
  if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
      found->pw_name != nullptr && *found->pw_name != '\0') {
    return found->pw_name;
  }
  return std::to_string(uid);
}

std::filesystem::path TmpRuntimeFolder() {
  return std::filesystem::path("/tmp") / ("runtime-" + UserName());
}

// The runtime folder as the desktop sets it, when it is fit for the purpose.
std::filesystem::path RuntimeFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && *runtime != '\0' && CheckPrivateFolder(runtime)) return runtime;
  return TmpRuntimeFolder();
}

}  // namespace

FolderCheck CheckPrivateFolder(const std::filesystem::path& folder) {
  FolderCheck check;
  check.folder = folder;
  struct stat info {};
  // lstat: a link in place of the folder could be pointed anywhere by whoever made it.
  if (::lstat(folder.c_str(), &info) != 0) {
    check.systemError = errno;
    check.kind = errno == ENOENT ? FolderCheck::Missing : FolderCheck::CannotCheck;
  } else if (!S_ISDIR(info.st_mode)) {
    check.kind = FolderCheck::NotAFolder;
  } else if (info.st_uid != ::geteuid()) {
    check.kind = FolderCheck::OtherOwner;
  } else if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    check.kind = FolderCheck::OthersMayWrite;
  }
  return check;
}

FolderCheck PrivateRuntimeFolder(const std::filesystem::path& relative, bool create) {
  std::filesystem::path folder = RuntimeFolder();
  const bool mayMakeRuntime = folder == TmpRuntimeFolder();
  // The runtime folder first, then each level below it: a level is only as private as the one above it.
  bool first = true;
  for (auto part = relative.begin();; ++part) {
    if (create && (!first || mayMakeRuntime) && ::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
      return FolderCheck{FolderCheck::CannotCheck, folder, errno};
    }
    const FolderCheck check = CheckPrivateFolder(folder);
    if (!check || part == relative.end()) return check;
    folder /= *part;
    first = false;
  }
}

std::vector<std::string> port_names::SystemSerialPorts() {
  return SystemSerialDevices();
}

std::vector<std::string> port_names::VirtualPorts() {
  return RegisteredLinks();
}

std::string DevicePathForPortName(const std::string& portName) {
  const int number = port_names::ComNumber(portName);
  if (number == 0) return portName;
  return kComDevicePrefix + std::to_string(number - 1);
}

std::filesystem::path VirtualPortDirectory() {
  return RuntimeFolder() / kVirtualPortFolder;
}

std::filesystem::path VirtualPortFolderInRuntime() {
  return kVirtualPortFolder;
}

}  // namespace kestrion

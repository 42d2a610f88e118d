// Port names as the window lists them, and the devices they stand for.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace kestrion {

// "COM1" to "COM9" (always, in that order), then the other serial devices the system reports (USB adapters such
// as /dev/ttyUSB0) by path, then the virtual ports registered in VirtualPortDirectory(), by link path. On Windows
// the other ports are those of the registry's SERIALCOMM list ("COM10", "COM3" of a USB adapter), by name, and
// there are no virtual ports.
std::vector<std::string> ListPortNames();
// The device a listed name stands for: "COM1".."COM9" are /dev/ttyS0../dev/ttyS8; anything else is a path. On
// Windows "COM1".."COM9" open as they are and every other name in the device namespace: "COM10" as
// "\\.\COM10", "CNCA0" as "\\.\CNCA0" (a name already in a namespace stays as it is). Names are UTF-8.
std::string DevicePathForPortName(const std::string& portName);
// Where a simulator registers its pseudo-terminal as a link: kestrion/ports in the user's runtime folder. That is
// $XDG_RUNTIME_DIR when it names a private folder (see CheckPrivateFolder), else /tmp/runtime-$USER. A link there
// is opened like a device, so the folder and every folder above it up to the runtime folder must be private:
// anyone who could write there could plant a port that captures an upload.
std::filesystem::path VirtualPortDirectory();
// The same folder relative to the runtime folder.
std::filesystem::path VirtualPortFolderInRuntime();

// Whether a folder may be trusted with the user's ports: a folder itself (not a link to one), owned by this
// user, that nobody else may write to.
struct FolderCheck {
  enum Kind { Private, Missing, NotAFolder, OtherOwner, OthersMayWrite, CannotCheck };
  Kind kind = Private;
  std::filesystem::path folder;  // the folder that failed, or the one checked
  int systemError = 0;
  explicit operator bool() const { return kind == Private; }
  // One line for a person, naming the folder.
  std::string Reason() const;
};
// On Windows every folder counts as missing, so that nothing is ever taken from one.
FolderCheck CheckPrivateFolder(const std::filesystem::path& folder);

// The folder `relative` below the runtime folder, checked level by level from the runtime folder down. With
// `create`, missing levels are made with mode 0700 (the runtime folder itself only when it is the /tmp one). Windows
// has no such folder: the result is Missing and VirtualPortDirectory() is empty.
FolderCheck PrivateRuntimeFolder(const std::filesystem::path& relative, bool create);

}  // namespace kestrion

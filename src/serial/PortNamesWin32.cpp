#include <windows.h>

#include <string>
#include <vector>

#include "serial/PortNames.h"
#include "serial/PortNamesPlatform.h"

namespace kestrion {
namespace {

// Where Windows lists the serial ports that drivers have made, USB adapters included: one value per port,
// whose data is the port's name ("COM3").
constexpr const wchar_t* kSerialCommKey = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";

std::string Utf8(const wchar_t* text, int length) {
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return {};
  std::string out(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), size, nullptr, nullptr);
  return out;
}

std::vector<std::string> SerialCommValues() {
  std::vector<std::string> names;
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSerialCommKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return names;
  for (DWORD index = 0;; ++index) {
    wchar_t valueName[256];
    DWORD valueNameLength = 256;
    wchar_t data[256];
    DWORD dataSize = sizeof data - sizeof(wchar_t);  // room for a terminator the registry may not have stored
    DWORD type = 0;
    const LSTATUS status = ::RegEnumValueW(key, index, valueName, &valueNameLength, nullptr, &type,
                                           reinterpret_cast<BYTE*>(data), &dataSize);
    if (status == ERROR_MORE_DATA) continue;  // not a port name of any sensible length
    if (status != ERROR_SUCCESS) break;
    if (type != REG_SZ) continue;
    int length = static_cast<int>(dataSize / sizeof(wchar_t));
    while (length > 0 && data[length - 1] == L'\0') --length;
    names.push_back(Utf8(data, length));
  }
  ::RegCloseKey(key);
  return names;
}

}  // namespace

std::vector<std::string> port_names::SystemSerialPorts() {
  return ReportedPortsInOrder(SerialCommValues());
}

// Windows has no runtime folder of the user's for a simulator to register a port in.
std::vector<std::string> port_names::VirtualPorts() {
  return {};
}

std::string DevicePathForPortName(const std::string& portName) {
  // Only COM1 to COM9 are reserved names that open as they stand anywhere; every other port (COM10, a virtual
  // null-modem end such as CNCA0) is a device that only its namespace names. A name given in a namespace
  // already stays as it is.
  if (portName.empty() || port_names::ComNumber(portName) != 0) return portName;
  if (portName.starts_with("\\\\.\\") || portName.starts_with("\\\\?\\")) return portName;
  return "\\\\.\\" + portName;
}

FolderCheck CheckPrivateFolder(const std::filesystem::path& folder) {
  return FolderCheck{FolderCheck::Missing, folder, 0};
}

FolderCheck PrivateRuntimeFolder(const std::filesystem::path& relative, bool) {
  return FolderCheck{FolderCheck::Missing, relative, 0};
}

std::filesystem::path VirtualPortDirectory() {
  return {};
}

std::filesystem::path VirtualPortFolderInRuntime() {
  return {};
}

}  // namespace kestrion

// The form in which a data file's path is handed to the system, one for reading (Browse) and writing
// (Output), so that whatever Output can write, Browse can read back.
#pragma once

#include <filesystem>
#include <string>

namespace kestrion {

#ifdef _WIN32
// The full path in the form that passes MAX_PATH and is taken as written: "\\?\C:\..." or
// "\\?\UNC\server\share\...". A relative path is made full first, "." and ".." are resolved and "/" becomes
// "\", which the system no longer does for such a path. A path already in a device form ("\\?\", "\\.\") and
// one that cannot be made full stay as they are.
std::wstring SystemPath(const std::filesystem::path& path);
#endif

}  // namespace kestrion

// File paths and port names between the system and the window: a path as the window shows it, and a path or
// port name as the bytes of a field. Where the system's names are bytes (Linux) the bytes are its own; where
// they are UTF-16 (Windows) the bytes are UTF-8.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "text/CString.h"

namespace kestrion {

std::u16string PathText(const std::filesystem::path& path);
CString PathBytes(const std::filesystem::path& path);
std::filesystem::path PathOfBytes(const CString& bytes);

// A path or port name typed or listed in the window, as the bytes of its field, and back.
CString NameBytes(std::u16string_view text);
std::u16string NameText(const CString& bytes);

}  // namespace kestrion

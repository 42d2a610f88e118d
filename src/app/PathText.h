// File paths and port names between the platform and the window: a chooser's answer as a path, a path as the
// window shows it, and a path or port name as the bytes of a field. On Linux the bytes are the file system's own;
// on Windows, where names are UTF-16, they are UTF-8.
#pragma once

#include <QString>
#include <filesystem>

#include "text/CString.h"

namespace kestrion {

// The chooser's answer, made absolute.
std::filesystem::path PathOfChosen(const QString& chosen);
QString PathText(const std::filesystem::path& path);
CString PathBytes(const std::filesystem::path& path);

// A path or port name typed or listed in the window, as the bytes of its field, and back.
CString NameBytes(const QString& text);
QString NameText(const CString& bytes);

}  // namespace kestrion

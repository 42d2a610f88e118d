// The text of the window's status line, made from the transfer report: the latest of the upload, the download
// and the output, then the line's health while a connection is open; or, alone, a warning when the line
// settings look wrong.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "transfer/TransferReport.h"

namespace kestrion {

// `health` is given while a connection is open.
std::u16string StatusLineText(const TransferReport& report, const UploadFigures& upload,
                              const std::optional<LineHealth>& health);

// m:ss, or h:mm:ss from an hour on.
std::u16string DurationText(std::chrono::milliseconds duration);

}  // namespace kestrion

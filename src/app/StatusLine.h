// The text of the window's status line, made from the transfer report: the latest of the upload, the download
// and the output, then the line's health while a connection is open; or, alone, a warning when the line
// settings look wrong.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "serial/SerialPort.h"
#include "transfer/TransferReport.h"

namespace kestrion {

// What the window knows of its port beside the report.
struct PortState {
  bool gone = false;                      // the device vanished, and the port was closed for it
  OutputHold held = OutputHold::None;     // the port's output waits for a signal of the instrument
};

// `health` is given while a connection is open. A settings warning comes first (with the line's counts beside
// it), then a vanished device or held output, then the latest transfer with the line's counts once one is not
// zero.
std::u16string StatusLineText(const TransferReport& report, const UploadFigures& upload,
                              const std::optional<LineHealth>& health, const PortState& port = {});

// m:ss, or h:mm:ss from an hour on.
std::u16string DurationText(std::chrono::milliseconds duration);

}  // namespace kestrion

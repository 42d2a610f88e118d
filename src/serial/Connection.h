// Opening the port as the Open port command does: the line settings come from the texts of the settings boxes
// and the index of the parity box, the device is opened and configured, and a device that refuses its settings
// is released again.
#pragma once

#include <optional>
#include <string>

#include "serial/SerialPort.h"
#include "text/CString.h"

namespace kestrion {

// The settings that the boxes ask for: the decimal values of the baud and data-bits texts (the data bits stored
// in one byte), the parity by its entry's index (0 none, 1 odd, 2 even), parity checking on and two stop bits
// in every case. Nullopt when no known parity entry is selected.
std::optional<LineSettings> SettingsFromFields(const CString& baud, const CString& dataBits, int parityIndex);

// Opens `portName` with `settings` (as SettingsFromFields gave them). On failure nothing is held and the result
// tells why: SettingsRefused when the device refused the settings or there were none.
PortResult OpenConnection(SerialPort& port, const std::string& portName,
                          const std::optional<LineSettings>& settings);

}  // namespace kestrion

#include "serial/Connection.h"

#include "text/Decimal.h"

namespace kestrion {

std::optional<LineSettings> SettingsFromFields(const CString& baud, const CString& dataBits, int parityIndex) {
  if (parityIndex < 0 || parityIndex > static_cast<int>(Parity::Even)) return std::nullopt;
  LineSettings settings;
  settings.baudRate = DecimalValue(baud);
  settings.dataBits = static_cast<unsigned char>(DecimalValue(dataBits));  // the setting is one byte
  settings.parity = static_cast<Parity>(parityIndex);
  return settings;
}

PortResult OpenConnection(SerialPort& port, const std::string& portName,
                          const std::optional<LineSettings>& settings) {
  const PortResult opened = port.Open(portName);
  if (!opened) return opened;
  const PortResult configured = settings ? port.Configure(*settings) : PortResult{PortFailure::SettingsRefused, 0};
  if (!configured) port.Close();
  return configured;
}

}  // namespace kestrion

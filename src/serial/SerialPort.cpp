// Stand-in until the termios implementation lands: every operation fails as on a port that is not open.
#include "serial/SerialPort.h"

namespace kestrion {

struct SerialPort::State {};

SerialPort::SerialPort() : m_state(std::make_unique<State>()) {}
SerialPort::~SerialPort() = default;
PortResult SerialPort::Open(const std::string&) { return {PortFailure::NoSuchDevice, 0}; }
PortResult SerialPort::Configure(const LineSettings&) { return {PortFailure::NotOpen, 0}; }
std::optional<LineSettings> SerialPort::CurrentSettings() const { return std::nullopt; }
std::optional<std::size_t> SerialPort::BytesWaiting() const { return std::nullopt; }
std::size_t SerialPort::Read(char*, std::size_t) { return 0; }
bool SerialPort::WaitForBytes(std::chrono::milliseconds) const { return false; }
PortResult SerialPort::Write(std::string_view) { return {PortFailure::NotOpen, 0}; }
bool SerialPort::IsOpen() const { return false; }
PortResult SerialPort::Close() { return {}; }
ChunkRead ReadChunk(SerialPort&) { return {}; }

}  // namespace kestrion

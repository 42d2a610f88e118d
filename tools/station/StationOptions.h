// The command line of kestrion-station.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "serial/SerialPort.h"

namespace kestrion::station {

using Milliseconds = std::chrono::milliseconds;

// What --noise-around puts before the start word (CR LF follows it).
inline constexpr std::string_view kNoisePrefix = "OK ";
// How many bytes of the start word go in the first write of --split-start.
inline constexpr std::size_t kSplitStartAt = 3;

// The instrument during an upload: it asks for every line with the start word.
struct ReceiveOptions {
  std::string outPath;  // empty: standard output
  Milliseconds delay{0};
  bool splitStart = false;
  Milliseconds splitPause{150};  // longer than the tool's 50 ms poll, so the halves land in two reads
  bool doubleStart = false;
  bool noiseAround = false;
  std::optional<int> stallAfter;
  Milliseconds stallWait{2000};
  std::optional<Milliseconds> timeout;
};

// The instrument during a download: it sends its records unasked.
struct SendOptions {
  std::optional<char> marker;  // exactly one of marker and raw
  bool raw = false;
  std::string filePath;
  std::uint32_t seed = 1;
  int zeroBytes = 0;
  bool mixedMarker = false;
  bool finishRecord = false;
  bool noFinish = false;
  Milliseconds linger{2000};
  // --as-if: send what a receiver at the line's own settings reads from an instrument at these (a wrong rate
  // or format as Kestrion meets it).
  std::optional<LineSettings> sentAs;
};

enum class Command { Receive, Send };

struct StationOptions {
  std::string portPath;          // empty: make a pseudo-terminal and register it
  std::string name = "station";  // the virtual port's link name
  LineSettings settings;         // Kestrion's defaults: 19200 baud, 8 data bits, no parity, 2 stop bits
  bool waitOpen = false;
  bool waitEnter = false;
  Milliseconds settle{200};
  bool verbose = false;
  Command command = Command::Receive;
  ReceiveOptions receive;
  SendOptions send;
};

struct ParsedCommandLine {
  enum class Kind { Run, Help, Error };
  Kind kind = Kind::Error;
  StationOptions options;
  std::string error;  // one line, for Kind::Error
};

// `args` without the program name.
ParsedCommandLine ParseCommandLine(const std::vector<std::string_view>& args);
std::string UsageText();

// Baud rates the station can set on a line.
bool IsSupportedBaudRate(int baudRate);
// A link name: letters, digits, '.', '_' and '-', not starting with '.', at most 64 bytes.
bool IsValidPortName(std::string_view name);

}  // namespace kestrion::station

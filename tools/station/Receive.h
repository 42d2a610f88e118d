// The instrument's side of an upload: ask with the start word, take one line, ask again, until the closing
// line.
#pragma once

#include <chrono>
#include <ostream>
#include <string>
#include <vector>

#include "StationLink.h"
#include "StationOptions.h"

namespace kestrion::station {

// The writes of one request, in order, with the pause of --split-start between them.
std::vector<std::string> RequestWrites(const ReceiveOptions& options);

// Whether a received line (line end included) is the tool's closing line.
bool IsClosingLine(std::string_view line);

enum class ReceiveEnd {
  Completed,     // the closing line arrived
  Stalled,       // stopped asking after --stall-after lines, as asked
  TimedOut,      // a line did not come within --timeout
  PeerGone,      // the other side closed the port or the device vanished
  UnaskedBytes,  // bytes came that no request asked for
  LineTooLong,   // no line end within kMaxLineBytes
  OutputFailed,  // the received lines could not be written out
  LinkFailed,    // a write or read failed otherwise
  Stopped,       // a stop signal
};

struct ReceiveReport {
  ReceiveEnd end = ReceiveEnd::Completed;
  int lines = 0;            // complete lines received, the closing line included
  std::size_t bytes = 0;    // bytes received and written out
  int waitedLine = 0;       // the line number (from 1) the station asked for last
  std::size_t unasked = 0;  // bytes that came without a request
  Clock::duration elapsed{};
  std::string detail;
};

// A line longer than this without its line end is a runaway sender, not a record.
inline constexpr std::size_t kMaxLineBytes = 1 << 20;

// Runs the exchange on `link`, writing every received byte to `out` as it completes a line (and the bytes of
// an unfinished line or unasked bytes before a failure), flushed line by line. `log` receives progress lines
// when `verbose`.
ReceiveReport RunReceive(StationLink& link, const ReceiveOptions& options, std::ostream& out, bool verbose,
                         std::ostream& log);

// One line for standard error that says how the exchange ended.
std::string DescribeReceive(const ReceiveReport& report, const ReceiveOptions& options);

}  // namespace kestrion::station

// What a receiver set to one line format reads from bytes that a sender set to another sent: a model of an
// asynchronous serial line at the level of its bits. The sender puts out a start bit, the data bits (lowest
// first), the parity bit and its stop bits; the receiver, like a 16550, waits for a falling edge, checks the
// start bit in its middle, samples every later bit in its middle at its own rate, and after a stop bit that
// it found low takes that low for the next start bit (the resynchronisation after a framing error). A frame
// that is low throughout is a break, after which the receiver waits for the line to go high again.
//
// The probe of the line settings learns from it what each wrong setting makes of survey text, and the
// simulated station uses it to send as if set to other settings.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "serial/SerialPort.h"

namespace kestrion {

// What a receiver tells about a byte besides its value. A terminal's marks do not tell parity from framing
// errors: it marks both as damaged.
enum class LineMark : std::uint8_t { None, Parity, Framing, Break };

struct ReadByte {
  unsigned char value = 0;
  LineMark mark = LineMark::None;
  friend bool operator==(const ReadByte&, const ReadByte&) = default;
};

// How the sender spaces its bytes within one burst. Before and after a burst the line is idle for longer than
// any frame.
struct LineTiming {
  int idleBitsBetweenBytes = 0;  // beyond the stop bits, in the sender's bit times
  // How far the sender's clock is off its nominal rate, as a fraction (0.01: one per cent fast). Real pairs
  // of clocks differ by up to a few per cent, which moves the receiver's samples along a frame.
  double rateDeviation = 0;
};

// The bytes that a receiver at `readAs` makes of `sent`, sent in one burst at `sentAs`. Any positive baud
// rate, 5 to 8 data bits and 1 or 2 stop bits are modelled; the receiver checks parity only when
// `readAs.parityCheck` is set (a frame's stop bit is always checked, and only its first). A sender of fewer
// than 8 data bits sends the low bits of each byte.
std::vector<ReadByte> ReadAs(std::string_view sent, const LineSettings& sentAs, const LineSettings& readAs,
                             const LineTiming& timing = {});
// The same, appended to `read`.
void ReadAs(std::string_view sent, const LineSettings& sentAs, const LineSettings& readAs,
            const LineTiming& timing, std::vector<ReadByte>& read);

// The values alone, as a port without error marks hands them over (a break reads as a zero byte).
std::string ValuesOf(const std::vector<ReadByte>& read);

}  // namespace kestrion

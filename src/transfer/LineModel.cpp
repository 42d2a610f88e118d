#include "transfer/LineModel.h"

#include <bit>
#include <cmath>

namespace kestrion {
namespace {

// The line before the first start bit, in the sender's bit times.
constexpr std::size_t kLeadingIdle = 2;
// A receiver sees a falling edge at its next tick of sixteen per bit: half a tick late on average.
constexpr double kDetectionDelay = 1.0 / 32.0;

bool ParityBit(unsigned data, Parity parity) {
  const bool odd = (std::popcount(data) & 1) != 0;
  return parity == Parity::Even ? odd : !odd;
}

// The levels of the line, one per sender bit time: 1 is idle (mark), 0 is space.
std::vector<std::uint8_t> LineLevels(std::string_view sent, const LineSettings& sentAs,
                                     const LineTiming& timing) {
  const int dataBits = sentAs.dataBits;
  const bool parity = sentAs.parity != Parity::None;
  const std::size_t frame = 1 + static_cast<std::size_t>(dataBits) + (parity ? 1 : 0) +
                            static_cast<std::size_t>(sentAs.stopBits + timing.idleBitsBetweenBytes);
  std::vector<std::uint8_t> levels;
  levels.reserve(kLeadingIdle + sent.size() * frame);
  levels.assign(kLeadingIdle, 1);
  const unsigned mask = (1u << dataBits) - 1;
  for (const char ch : sent) {
    const unsigned data = static_cast<unsigned char>(ch) & mask;
    levels.push_back(0);
    for (int i = 0; i < dataBits; ++i) levels.push_back(static_cast<std::uint8_t>((data >> i) & 1u));
    if (parity) levels.push_back(ParityBit(data, sentAs.parity) ? 1 : 0);
    for (int i = 0; i < sentAs.stopBits + timing.idleBitsBetweenBytes; ++i) levels.push_back(1);
  }
  return levels;
}

class Line {
 public:
  explicit Line(std::vector<std::uint8_t> levels) : m_levels(std::move(levels)) {}

  bool High(double t) const {
    const double index = std::floor(t);
    if (index < 0 || index >= static_cast<double>(m_levels.size())) return true;
    return m_levels[static_cast<std::size_t>(index)] != 0;
  }
  // The time of the first fall to space after `t`, where the line is high; negative when it stays idle.
  double NextFall(double t) const {
    for (std::size_t i = static_cast<std::size_t>(std::max(0.0, std::floor(t))) + 1; i < m_levels.size();
         ++i) {
      if (m_levels[i] == 0) return static_cast<double>(i);
    }
    return -1;
  }
  // The time the line is next high at or after `t`.
  double NextRise(double t) const {
    for (std::size_t i = static_cast<std::size_t>(std::max(0.0, std::floor(t))); i < m_levels.size(); ++i) {
      if (m_levels[i] != 0) return static_cast<double>(i);
    }
    return static_cast<double>(m_levels.size());
  }

 private:
  std::vector<std::uint8_t> m_levels;
};

}  // namespace

std::vector<ReadByte> ReadAs(std::string_view sent, const LineSettings& sentAs, const LineSettings& readAs,
                             const LineTiming& timing) {
  std::vector<ReadByte> read;
  if (sent.empty() || sentAs.baudRate <= 0 || readAs.baudRate <= 0) return read;
  const Line line(LineLevels(sent, sentAs, timing));
  // Time runs in the sender's bit times.
  const double bit = static_cast<double>(sentAs.baudRate) * (1 + timing.rateDeviation) / readAs.baudRate;
  const bool hasParity = readAs.parity != Parity::None;
  const int dataBits = readAs.dataBits;

  double ready = 0;   // the receiver looks for a start bit from here, where the line is high
  double start = -1;  // the middle of the start bit of the frame to read, when it is known to be low
  for (;;) {
    if (start < 0) {
      const double fall = line.NextFall(ready);
      if (fall < 0) break;
      start = fall + bit * (0.5 + kDetectionDelay);
      if (line.High(start)) {  // a glitch, not a start bit
        ready = start;
        start = -1;
        continue;
      }
    }
    unsigned value = 0;
    bool allLow = true;
    for (int i = 0; i < dataBits; ++i) {
      if (line.High(start + bit * (1 + i))) {
        value |= 1u << i;
        allLow = false;
      }
    }
    double next = start + bit * (1 + dataBits);
    bool parityWrong = false;
    if (hasParity) {
      const bool parityBit = line.High(next);
      allLow = allLow && !parityBit;
      parityWrong = readAs.parityCheck && parityBit != ParityBit(value, readAs.parity);
      next += bit;
    }
    const double stop = next;
    ReadByte byte{static_cast<unsigned char>(value), LineMark::None};
    if (line.High(stop)) {
      if (parityWrong) byte.mark = LineMark::Parity;
      ready = stop;
      start = -1;
    } else if (allLow) {
      byte.mark = LineMark::Break;
      ready = line.NextRise(stop);
      start = -1;
    } else {
      // The low stop bit is taken for the next start bit.
      byte.mark = LineMark::Framing;
      start = stop;
    }
    read.push_back(byte);
  }
  return read;
}

std::string ValuesOf(const std::vector<ReadByte>& read) {
  std::string values;
  values.reserve(read.size());
  for (const ReadByte& byte : read) values += static_cast<char>(byte.value);
  return values;
}

}  // namespace kestrion

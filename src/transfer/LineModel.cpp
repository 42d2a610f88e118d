#include "transfer/LineModel.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace kestrion {
namespace {

// The line before the first start bit, in the sender's bit times.
constexpr std::size_t kLeadingIdle = 2;
// Time runs in fractions of the sender's bit time: a sample's bit is its time shifted right.
constexpr int kFractionBits = 16;
constexpr std::int64_t kSenderBit = std::int64_t{1} << kFractionBits;

bool ParityBit(unsigned data, Parity parity) {
  const bool odd = (std::popcount(data) & 1) != 0;
  return parity == Parity::Even ? odd : !odd;
}

// The line's levels, one per sender bit time (1 is idle, mark; 0 is space), with the next space and the next
// mark from every bit on, so that the receiver finds an edge at once.
class Line {
 public:
  Line(std::string_view sent, const LineSettings& sentAs, const LineTiming& timing) {
    const int dataBits = sentAs.dataBits;
    const bool parity = sentAs.parity != Parity::None;
    const std::size_t frame = 1 + static_cast<std::size_t>(dataBits) + (parity ? 1 : 0) +
                              static_cast<std::size_t>(sentAs.stopBits + timing.idleBitsBetweenBytes);
    m_levels.reserve(kLeadingIdle + sent.size() * frame);
    m_levels.assign(kLeadingIdle, 1);
    const unsigned mask = (1u << dataBits) - 1;
    for (const char ch : sent) {
      const unsigned data = static_cast<unsigned char>(ch) & mask;
      m_levels.push_back(0);
      for (int i = 0; i < dataBits; ++i) m_levels.push_back(static_cast<std::uint8_t>((data >> i) & 1u));
      if (parity) m_levels.push_back(ParityBit(data, sentAs.parity) ? 1 : 0);
      for (int i = 0; i < sentAs.stopBits + timing.idleBitsBetweenBytes; ++i) m_levels.push_back(1);
    }
    const std::size_t n = m_levels.size();
    m_nextSpace.resize(n + 1);
    m_nextMark.resize(n + 1);
    m_nextSpace[n] = n;
    m_nextMark[n] = n;
    for (std::size_t i = n; i-- > 0;) {
      m_nextSpace[i] = m_levels[i] == 0 ? i : m_nextSpace[i + 1];
      m_nextMark[i] = m_levels[i] != 0 ? i : m_nextMark[i + 1];
    }
  }

  bool High(std::int64_t t) const {
    const std::int64_t bit = t >> kFractionBits;
    if (bit < 0 || bit >= static_cast<std::int64_t>(m_levels.size())) return true;
    return m_levels[static_cast<std::size_t>(bit)] != 0;
  }
  // The time of the first fall to space after `t`, where the line is high; negative when it stays idle.
  std::int64_t NextFall(std::int64_t t) const {
    const std::size_t from = std::min(Bit(t) + 1, m_levels.size());
    const std::size_t fall = m_nextSpace[from];
    return fall == m_levels.size() ? -1 : static_cast<std::int64_t>(fall) * kSenderBit;
  }
  // The time the line is next high at or after `t`.
  std::int64_t NextRise(std::int64_t t) const {
    return static_cast<std::int64_t>(m_nextMark[std::min(Bit(t), m_levels.size())]) * kSenderBit;
  }

 private:
  static std::size_t Bit(std::int64_t t) { return t < 0 ? 0 : static_cast<std::size_t>(t >> kFractionBits); }

  std::vector<std::uint8_t> m_levels;
  std::vector<std::size_t> m_nextSpace;
  std::vector<std::size_t> m_nextMark;
};

}  // namespace

void ReadAs(std::string_view sent, const LineSettings& sentAs, const LineSettings& readAs,
            const LineTiming& timing, std::vector<ReadByte>& read) {
  if (sent.empty() || sentAs.baudRate <= 0 || readAs.baudRate <= 0) return;
  const Line line(sent, sentAs, timing);
  const auto bit = static_cast<std::int64_t>(std::llround(static_cast<double>(kSenderBit) * sentAs.baudRate *
                                                          (1 + timing.rateDeviation) / readAs.baudRate));
  // A receiver sees a falling edge at its next tick of sixteen per bit: half a tick late on average.
  const std::int64_t toMiddle = bit / 2 + bit / 32;
  const bool hasParity = readAs.parity != Parity::None;
  const int dataBits = readAs.dataBits;

  std::int64_t ready = 0;   // the receiver looks for a start bit from here, where the line is high
  std::int64_t start = -1;  // the middle of the start bit of the frame to read, when it is known to be low
  for (;;) {
    if (start < 0) {
      const std::int64_t fall = line.NextFall(ready);
      if (fall < 0) break;
      start = fall + toMiddle;
      if (line.High(start)) {  // a glitch, not a start bit
        ready = start;
        start = -1;
        continue;
      }
    }
    unsigned value = 0;
    bool allLow = true;
    std::int64_t t = start;
    for (int i = 0; i < dataBits; ++i) {
      t += bit;
      if (line.High(t)) {
        value |= 1u << i;
        allLow = false;
      }
    }
    bool parityWrong = false;
    if (hasParity) {
      t += bit;
      const bool parityBit = line.High(t);
      allLow = allLow && !parityBit;
      parityWrong = readAs.parityCheck && parityBit != ParityBit(value, readAs.parity);
    }
    const std::int64_t stop = t + bit;
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
}

std::vector<ReadByte> ReadAs(std::string_view sent, const LineSettings& sentAs, const LineSettings& readAs,
                             const LineTiming& timing) {
  std::vector<ReadByte> read;
  ReadAs(sent, sentAs, readAs, timing, read);
  return read;
}

std::string ValuesOf(const std::vector<ReadByte>& read) {
  std::string values;
  values.reserve(read.size());
  for (const ReadByte& byte : read) values += static_cast<char>(byte.value);
  return values;
}

}  // namespace kestrion

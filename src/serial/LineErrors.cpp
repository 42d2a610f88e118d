#include "serial/LineErrors.h"

#include <algorithm>

namespace kestrion {

LineErrorCounts& LineErrorCounts::operator+=(const LineErrorCounts& other) {
  parity += other.parity;
  framing += other.framing;
  parityOrFraming += other.parityOrFraming;
  breaks += other.breaks;
  overruns += other.overruns;
  queueOverruns += other.queueOverruns;
  return *this;
}

LineErrorCounts CombineCounts(const std::optional<LineErrorCounts>& driver, const LineErrorCounts& marked) {
  if (!driver) return marked;
  const LineErrorCounts& d = *driver;
  LineErrorCounts counts;
  counts.parity = std::max(d.parity, marked.parity);
  counts.framing = std::max(d.framing, marked.framing);
  counts.breaks = std::max(d.breaks, marked.breaks);
  counts.overruns = std::max(d.overruns, marked.overruns);
  counts.queueOverruns = std::max(d.queueOverruns, marked.queueOverruns);
  const std::uint64_t damagedSplit = counts.parity + counts.framing + d.parityOrFraming;
  const std::uint64_t damagedMarked = marked.parity + marked.framing + marked.parityOrFraming;
  counts.parityOrFraming =
      d.parityOrFraming + (damagedMarked > damagedSplit ? damagedMarked - damagedSplit : 0);
  return counts;
}

void MarkedInputDecoder::Decode(std::string_view marked, std::string& out, LineErrorCounts& errors) {
  constexpr char kMark = '\xFF';
  for (const char byte : marked) {
    switch (m_state) {
      case State::Plain:
        if (byte == kMark) {
          m_state = State::AfterFF;
        } else {
          out += byte;
        }
        break;
      case State::AfterFF:
        if (byte == '\0') {
          m_state = State::AfterFF00;
        } else if (byte == kMark) {
          out += kMark;
          m_state = State::Plain;
        } else {
          out += kMark;
          out += byte;
          m_state = State::Plain;
        }
        break;
      case State::AfterFF00:
        // A damaged zero byte reads like a break; either way there is no byte to pass on.
        if (byte == '\0') {
          ++errors.breaks;
        } else {
          out += byte;
          ++errors.parityOrFraming;
        }
        m_state = State::Plain;
        break;
    }
  }
}

}  // namespace kestrion

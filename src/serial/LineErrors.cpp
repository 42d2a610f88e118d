#include "serial/LineErrors.h"

namespace kestrion {

LineErrorCounts& LineErrorCounts::operator+=(const LineErrorCounts& other) {
  parity += other.parity;
  framing += other.framing;
  parityOrFraming += other.parityOrFraming;
  breaks += other.breaks;
  overruns += other.overruns;
  return *this;
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

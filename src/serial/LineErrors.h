// Line errors of one connection: bytes that arrived damaged (parity, framing), breaks, and bytes lost before
// anyone could take them (overruns). They are counted, never acted on: a damaged byte is used as it arrived.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kestrion {

struct LineErrorCounts {
  std::uint64_t parity = 0;
  std::uint64_t framing = 0;
  // Damaged bytes whose kind the system does not tell (a terminal's error marks say only that a byte was bad).
  std::uint64_t parityOrFraming = 0;
  std::uint64_t breaks = 0;
  std::uint64_t overruns = 0;  // in the device or its driver: bytes came faster than they were taken
  // Times the port's own input queue was full, so that the reader left bytes in the device for a while. Not a
  // fault of the line or of its settings: nobody read the queue for a long time.
  std::uint64_t queueOverruns = 0;

  std::uint64_t Total() const {
    return parity + framing + parityOrFraming + breaks + overruns + queueOverruns;
  }
  LineErrorCounts& operator+=(const LineErrorCounts& other);
  friend bool operator==(const LineErrorCounts&, const LineErrorCounts&) = default;
};

// The counts of one connection from its two sources: the driver's counters, where it keeps them, and the
// error marks that the reads took out. Each kind takes the larger of the two, so that a driver that answers
// with zeros (common USB adapters mark the damaged bytes but never count them) does not hide what the marks
// showed. The marks do not tell parity from framing: what they show beyond the driver's damaged bytes stays
// unsplit.
LineErrorCounts CombineCounts(const std::optional<LineErrorCounts>& driver, const LineErrorCounts& marked);

// Turns a terminal's marked input back into the bytes that arrived. With error marking on, a damaged byte X
// comes as 0xFF 0x00 X, a break as 0xFF 0x00 0x00 and a good 0xFF as 0xFF 0xFF; a mark may be cut over two
// reads. A byte after 0xFF that no mark starts with is kept with the 0xFF, so that nothing is ever lost.
class MarkedInputDecoder {
 public:
  // Appends the bytes that `marked` stands for to `out` and counts the marks in `errors`.
  void Decode(std::string_view marked, std::string& out, LineErrorCounts& errors);
  // Forgets a mark cut short (a new connection starts clean).
  void Reset() { m_state = State::Plain; }

 private:
  enum class State { Plain, AfterFF, AfterFF00 };
  State m_state = State::Plain;
};

}  // namespace kestrion

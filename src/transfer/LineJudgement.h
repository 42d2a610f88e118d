// The judgement on what arrives over the line: does it look like the instrument and the port disagree on the
// line settings? One rule for downloads and for what the instrument sends during an upload.
//
// Survey records are mostly ASCII digits, letters, signs, commas and dots with now and then a Chinese name in
// code page 936, and their line ends. A receiver at the wrong rate or format reads something else: bytes that
// such text never holds (zero bytes, control bytes, 0x7F, 0x80, 0xFF, lead bytes without a trail, damaged
// bytes), or, when most of what arrives are high bytes, pairs far from the common Chinese characters, or,
// where a port of 7 data bits reads only ASCII, signs that survey text seldom holds by the dozen. A sender of
// 7 data bits read as 8 leaves a cleaner trace: its parity bit, or its first stop bit, becomes bit 7, so that
// every byte has an even (odd) number of bits set, or every byte has bit 7 set.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "serial/LineErrors.h"
#include "transfer/LineModel.h"

namespace kestrion {

enum class LineVerdict {
  Fine,
  Noise,          // what arrives is not survey text
  ErrorsGrowing,  // parity or framing errors or breaks come at a rate
  SevenBitEven,   // the instrument seems to send 7 data bits with even parity, read here as 8 data bits
  SevenBitOdd,    // the same with odd parity
  SevenBitNone,   // 7 data bits without parity, read as 8
};

// Whether a verdict says the settings look wrong.
constexpr bool WarnsOfSettings(LineVerdict verdict) {
  return verdict != LineVerdict::Fine;
}

// The counts the judgement looks at, over the bytes as the port gave them.
struct StreamSurvey {
  std::uint64_t bytes = 0;          // zero bytes and breaks included
  std::uint64_t zeroBytes = 0;      // without a break mark
  std::uint64_t markedBreaks = 0;   // breaks, where the marks are in place
  std::uint64_t controlBytes = 0;   // control bytes other than CR, LF and tab, and 0x7F
  std::uint64_t edgeHighBytes = 0;  // 0x80 and 0xFF, which make no character
  std::uint64_t loneLeads = 0;      // lead bytes without a trail that can follow them
  std::uint64_t markedBytes = 0;    // bytes with a parity or framing mark, where the marks are in place
  std::uint64_t highBytes = 0;      // 0x80 and above
  std::uint64_t evenHighBytes = 0;  // high bytes with an even number of bits set
  std::uint64_t evenBytes = 0;      // bytes other than zero with an even number of bits set
  std::uint64_t pairs = 0;          // two-byte characters
  std::uint64_t uncommonPairs = 0;  // of them, outside the common Chinese characters and full-width signs
  std::uint64_t highLineEnds = 0;   // CR and LF with bit 7 set (0x8D, 0x8A)
  std::uint64_t surveyAsciiBelowHigh = 0;  // high bytes whose low 7 bits are a digit, letter, sign, marker...
  std::uint64_t foreignSigns = 0;  // signs that survey text seldom holds: " % ' ; < > ? [ \ ] ` { | } ~

  std::uint64_t NonZero() const { return bytes - zeroBytes - markedBreaks; }
  friend bool operator==(const StreamSurvey&, const StreamSurvey&) = default;
};

// Counts a stream read by read; a pair cut over two reads counts as one.
class StreamScanner {
 public:
  // `marks` is empty, or holds one mark per byte of `bytes`.
  void Scan(std::string_view bytes, std::span<const LineMark> marks = {});
  // Zero bytes that a read took out of its bytes (where they stood is not known any more).
  void AddDroppedZeros(std::uint64_t count);
  const StreamSurvey& Survey() const { return m_survey; }
  void Reset() { *this = StreamScanner{}; }

 private:
  void EndPendingLead();
  StreamSurvey m_survey;
  int m_nPendingLead = -1;
};

// Line errors that arrived with the bytes judged: since the start of a download or an upload.
struct ErrorsSince {
  std::uint64_t damaged = 0;  // parity and framing errors
  std::uint64_t breaks = 0;
  std::uint64_t overruns = 0;  // shown apart: bytes lost on this side say nothing about the settings
};
ErrorsSince ErrorsBetween(const LineErrorCounts& before, const LineErrorCounts& now);

// The judgement needs this many bytes before it calls them noise or names a 7-bit format.
inline constexpr std::uint64_t kJudgementSample = 32;

// The one rule: the 7-bit formats first (their bytes also look like noise), then noise, then errors at a rate
// (at least 3, and at least one in a hundred bytes). Marks in place and counted errors are the same damage
// seen twice, so the larger of the two counts.
LineVerdict Judge(const StreamSurvey& survey, const ErrorsSince& errors);

}  // namespace kestrion

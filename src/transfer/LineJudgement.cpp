#include "transfer/LineJudgement.h"

#include <algorithm>
#include <bit>
#include <optional>

#include "text/Cp936Check.h"

namespace kestrion {
namespace {

// Noise: at least this many bytes that clean text never holds, and at least one in kNoiseShare of the bytes.
// Clean text holds none, and a few zero bytes of a noisy cable stay far below; a receiver at the wrong rate
// reads from two to dozens in every hundred.
constexpr std::uint64_t kNoiseMinimum = 3;
constexpr std::uint64_t kNoiseShare = 50;
// Errors: at least this many, and at least one in a hundred bytes.
constexpr std::uint64_t kErrorMinimum = 3;
constexpr std::uint64_t kErrorShare = 100;
// Signs that survey text seldom holds: noise when they make at least one in kForeignShare bytes (and at least
// kForeignMinimum), as the ASCII that a port of 7 data bits reads at a wrong rate does.
constexpr std::uint64_t kForeignMinimum = 8;
constexpr std::uint64_t kForeignShare = 10;
// The 7-bit formats: at least this many high bytes, and nine in ten bytes showing the trace.
constexpr std::uint64_t kSevenBitHighMinimum = 8;

bool IsControl(unsigned char b) {
  return (b < 0x20 && b != '\r' && b != '\n' && b != '\t') || b == 0x7F;
}

// GB2312's Chinese characters and its full-width signs, which names use; code page 936 holds many rarer
// characters beside them, and random high bytes fall there half of the time.
bool IsCommonPair(unsigned char lead, unsigned char trail) {
  return ((lead >= 0xA1 && lead <= 0xA9) || (lead >= 0xB0 && lead <= 0xF7)) && trail >= 0xA1 && trail <= 0xFE;
}

bool NineInTen(std::uint64_t part, std::uint64_t whole) {
  return part * 10 >= whole * 9;
}

bool IsNoise(std::uint64_t unlikeText, std::uint64_t bytes) {
  return unlikeText >= kNoiseMinimum && unlikeText * kNoiseShare >= bytes;
}

// What survey text is made of, besides its names: digits, letters, signs, separators, markers, line ends.
bool IsSurveyAscii(unsigned char b) {
  return (b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') ||
         std::string_view(",.+- \r\n&$@^()#!").find(static_cast<char>(b)) != std::string_view::npos;
}

bool IsForeignSign(unsigned char b) {
  return std::string_view("\"%';<>?[\\]`{|}~").find(static_cast<char>(b)) != std::string_view::npos;
}

// A 7-bit sender read as 8 brings no zero bytes, control bytes, 0x80 or 0xFF (`unlikeText`) that its text did
// not hold, where a receiver far too fast reads little else.
std::optional<LineVerdict> SevenBitFormat(const StreamSurvey& s, std::uint64_t unlikeText) {
  if (s.highBytes < kSevenBitHighMinimum || unlikeText * kNoiseShare >= s.bytes) return std::nullopt;
  const std::uint64_t nonZero = s.NonZero();
  if (NineInTen(s.evenHighBytes, s.highBytes) && NineInTen(s.evenBytes, nonZero))
    return LineVerdict::SevenBitEven;
  if (NineInTen(s.highBytes - s.evenHighBytes, s.highBytes) && NineInTen(nonZero - s.evenBytes, nonZero)) {
    return LineVerdict::SevenBitOdd;
  }
  // Every byte with bit 7 set, and below it survey text with its line ends: text is never all two-byte
  // characters.
  if (NineInTen(s.highBytes, nonZero) && NineInTen(s.surveyAsciiBelowHigh, s.highBytes) &&
      s.highLineEnds >= 2 && s.highLineEnds * 100 >= nonZero) {
    return LineVerdict::SevenBitNone;
  }
  return std::nullopt;
}

// Names are a small part of survey text, and their characters are common ones; high bytes read at a wrong
// rate pair up anywhere in the code page.
bool PairsAreNoise(const StreamSurvey& s) {
  if (s.pairs < kSevenBitHighMinimum) return false;
  const std::uint64_t nonZero = s.NonZero();
  const bool mostlyHigh = s.highBytes * 2 >= nonZero;
  const bool manyHigh = s.highBytes * 4 >= nonZero;
  return (mostlyHigh && s.uncommonPairs * 4 >= s.pairs) || (manyHigh && s.uncommonPairs * 2 >= s.pairs);
}

}  // namespace

void StreamScanner::EndPendingLead() {
  if (m_nPendingLead >= 0) ++m_survey.loneLeads;
  m_nPendingLead = -1;
}

void StreamScanner::Scan(std::string_view bytes, std::span<const LineMark> marks) {
  const bool marked = marks.size() == bytes.size();
  StreamSurvey& s = m_survey;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    const LineMark mark = marked ? marks[i] : LineMark::None;
    ++s.bytes;
    if (mark == LineMark::Break) {
      ++s.markedBreaks;
      EndPendingLead();
      continue;
    }
    if (b == 0) {
      ++s.zeroBytes;
      EndPendingLead();
      continue;
    }
    if (mark != LineMark::None) ++s.markedBytes;
    const bool even = (std::popcount(static_cast<unsigned>(b)) & 1) == 0;
    if (even) ++s.evenBytes;
    if (b >= 0x80) {
      ++s.highBytes;
      if (even) ++s.evenHighBytes;
    }
    if (b == 0x8D || b == 0x8A) ++s.highLineEnds;
    if (b >= 0x80 && IsSurveyAscii(b & 0x7F)) ++s.surveyAsciiBelowHigh;
    if (IsForeignSign(b)) ++s.foreignSigns;
    if (IsControl(b)) ++s.controlBytes;
    if (b == 0x80 || b == 0xFF) ++s.edgeHighBytes;

    if (m_nPendingLead >= 0) {
      const auto lead = static_cast<unsigned char>(m_nPendingLead);
      m_nPendingLead = -1;
      if (IsCp936Pair(lead, b)) {
        ++s.pairs;
        if (!IsCommonPair(lead, b)) ++s.uncommonPairs;
        continue;
      }
      ++s.loneLeads;  // this byte starts afresh
    }
    if (IsLeadByte(b)) m_nPendingLead = b;
  }
}

void StreamScanner::AddDroppedZeros(std::uint64_t count) {
  m_survey.bytes += count;
  m_survey.zeroBytes += count;
}

ErrorsSince ErrorsBetween(const LineErrorCounts& before, const LineErrorCounts& now) {
  const auto grown = [](std::uint64_t a, std::uint64_t b) { return b > a ? b - a : 0; };
  ErrorsSince errors;
  errors.damaged = grown(before.parity + before.framing + before.parityOrFraming,
                         now.parity + now.framing + now.parityOrFraming);
  errors.breaks = grown(before.breaks, now.breaks);
  errors.overruns = grown(before.overruns, now.overruns);
  return errors;
}

LineVerdict Judge(const StreamSurvey& s, const ErrorsSince& errors) {
  const std::uint64_t damaged = std::max(s.markedBytes, errors.damaged);
  const std::uint64_t breaks = std::max(s.markedBreaks, errors.breaks);
  const std::uint64_t errorCount = damaged + breaks;
  const bool errorsAtRate = errorCount >= kErrorMinimum && errorCount * kErrorShare >= s.bytes;
  if (s.bytes < kJudgementSample) return errorsAtRate ? LineVerdict::ErrorsGrowing : LineVerdict::Fine;

  // Bytes that survey text never holds, damaged ones and lone lead bytes apart.
  const std::uint64_t unlikeText = s.zeroBytes + breaks + s.controlBytes + s.edgeHighBytes;
  if (const std::optional<LineVerdict> format = SevenBitFormat(s, unlikeText)) return *format;
  if (IsNoise(unlikeText + s.loneLeads, s.bytes) || PairsAreNoise(s)) return LineVerdict::Noise;
  if (s.foreignSigns >= kForeignMinimum && s.foreignSigns * kForeignShare >= s.NonZero())
    return LineVerdict::Noise;
  // Text that is clean but for its damaged bytes is better told as line errors.
  if (errorsAtRate) return LineVerdict::ErrorsGrowing;
  if (IsNoise(unlikeText + s.loneLeads + damaged, s.bytes)) return LineVerdict::Noise;
  return LineVerdict::Fine;
}

}  // namespace kestrion

#include "dialog/DisplayCodec.h"

#include <map>
#include <memory>
#include <mutex>

namespace kestrion {
namespace {

constexpr char16_t kLineFeed = u'\n';
constexpr char16_t kCarriageReturn = u'\r';
constexpr char16_t kParagraphSeparator = 0x2029;
constexpr char16_t kLineSeparator = 0x2028;

constexpr bool IsLead(unsigned char b) {
  return b >= 0x81 && b <= 0xFE;
}

// Characters a shown text keeps for itself or that the text boxes do not keep as they are: such a character
// coming out of the converter is escaped instead of shown.
constexpr bool IsReserved(char16_t c) {
  return c < 0x20 || (c >= 0x7F && c < 0xA0) || (c >= DisplayCodec::kStandInBase && c <= 0x28FF) ||
         c == kLineSeparator || c == kParagraphSeparator || (c >= 0xD800 && c <= 0xDFFF) || c == 0xFDD0 ||
         c == 0xFDD1 || c == 0xFFFC || c == 0xFFFD || c == 0xFEFF;
}

constexpr char16_t StandIn(unsigned char b) {
  return static_cast<char16_t>(DisplayCodec::kStandInBase + b);
}

}  // namespace

const DisplayCodec& DisplayCodec::Of(const Cp936Converter& converter) {
  static std::mutex lock;
  static std::map<const Cp936Converter*, std::unique_ptr<DisplayCodec>> codecs;
  std::lock_guard guard(lock);
  std::unique_ptr<DisplayCodec>& codec = codecs[&converter];
  if (!codec) codec = std::make_unique<DisplayCodec>(converter);
  return *codec;
}

DisplayCodec::DisplayCodec(const Cp936Converter& converter) : m_converter(converter), m_bytesOf(0x10000, 0) {
  for (int b = 0; b < 256; ++b) {
    const auto byte = static_cast<unsigned char>(b);
    if (byte == '\t' || (byte >= 0x20 && byte < 0x7F)) {
      m_singles[byte] = byte;
      m_bytesOf[byte] = byte;
    } else if (byte != '\r' && byte != '\n') {
      m_singles[byte] = StandIn(byte);
    }
  }
  BuildFromConverter();
  // A byte starts a unit whatever precedes it unless it can end a CR LF or a pair.
  for (int b = 0; b < 256; ++b) m_alwaysStartsUnit[static_cast<std::size_t>(b)] = b != '\n';
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0; trail < 256; ++trail) {
      if (m_pairs[PairIndex(static_cast<unsigned char>(lead), static_cast<unsigned char>(trail))] != 0) {
        m_alwaysStartsUnit[static_cast<std::size_t>(trail)] = false;
      }
    }
  }
}

// Asks the converter once about every byte above 0x7F and every lead/trail pair, and keeps only the answers
// that come back to the same bytes; the conversion stays the platform's, this only remembers it.
void DisplayCodec::BuildFromConverter() {
  m_hasConverter = m_converter.IsAvailable();
  if (!m_hasConverter) return;

  // The character that `bytes` decode to, when it is exactly one UTF-16 unit, not reserved, and encodes back
  // to `bytes`.
  auto roundTrip = [&](std::string_view bytes) -> char16_t {
    const std::u16string text = m_converter.DecodeOne(bytes);
    if (text.size() != 1 || IsReserved(text[0])) return 0;
    return m_converter.EncodeOne(text) == bytes ? text[0] : char16_t{0};
  };

  for (int b = 0x80; b < 256; ++b) {
    const char byte = static_cast<char>(b);
    const char16_t c = roundTrip(std::string_view(&byte, 1));
    if (c != 0 && m_bytesOf[c] == 0) {
      m_singles[static_cast<std::size_t>(b)] = c;
      m_bytesOf[c] = static_cast<std::uint16_t>(b);
    }
  }
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0; trail < 256; ++trail) {
      const char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
      const char16_t c = roundTrip(std::string_view(pair, 2));
      // Two byte sequences must never show as the same character; the converter's own encoding decides.
      if (c != 0 && m_bytesOf[c] == 0) {
        m_pairs[PairIndex(static_cast<unsigned char>(lead), static_cast<unsigned char>(trail))] = c;
        m_bytesOf[c] = static_cast<std::uint16_t>(lead << 8 | trail);
      }
    }
  }
}

std::size_t DisplayCodec::UnitLength(std::string_view bytes, std::size_t pos) const {
  const auto b = static_cast<unsigned char>(bytes[pos]);
  if (pos + 1 >= bytes.size()) return 1;
  const auto next = static_cast<unsigned char>(bytes[pos + 1]);
  if (b == '\r') return next == '\n' ? 2 : 1;
  if (IsLead(b) && m_pairs[PairIndex(b, next)] != 0) return 2;
  return 1;
}

std::size_t DisplayCodec::CountUnits(std::string_view bytes) const {
  std::size_t units = 0;
  for (std::size_t pos = 0; pos < bytes.size(); pos += UnitLength(bytes, pos)) ++units;
  return units;
}

std::size_t DisplayCodec::ShownLength(std::string_view bytes, LineBreak lineBreak) const {
  std::size_t units = 0;
  for (std::size_t pos = 0; pos < bytes.size();) {
    const std::size_t length = UnitLength(bytes, pos);
    // A two-byte unit that starts with CR is a line break, two units in a box that holds "\r\n".
    units += (lineBreak == LineBreak::CrLf && length == 2 && bytes[pos] == '\r') ? std::size_t{2} : std::size_t{1};
    pos += length;
  }
  return units;
}

std::size_t DisplayCodec::UnitStartAtOrBefore(std::string_view bytes, std::size_t pos) const {
  std::size_t start = pos;
  while (start > 0 && !AlwaysStartsUnit(static_cast<unsigned char>(bytes[start]))) --start;
  for (;;) {
    const std::size_t next = start + UnitLength(bytes, start);
    if (next > pos) return start;
    start = next;
  }
}

std::u16string DisplayCodec::Decode(std::string_view bytes, LineBreak lineBreak) const {
  std::u16string text;
  text.resize(bytes.size());
  std::size_t shown = 0;
  for (std::size_t pos = 0; pos < bytes.size();) {
    const auto b = static_cast<unsigned char>(bytes[pos]);
    const bool hasNext = pos + 1 < bytes.size();
    const unsigned char next =
        hasNext ? static_cast<unsigned char>(bytes[pos + 1]) : static_cast<unsigned char>(0);
    if (b == '\r' && hasNext && next == '\n') {
      // Never longer than its bytes: CR LF is at most two units.
      if (lineBreak == LineBreak::CrLf) text[shown++] = kCarriageReturn;
      text[shown++] = kLineFeed;
      pos += 2;
      continue;
    }
    char16_t c = 0;
    std::size_t length = 1;
    if (b == '\r' || b == '\n') {
      c = StandIn(b);
    } else if (IsLead(b) && hasNext && m_pairs[PairIndex(b, next)] != 0) {
      c = m_pairs[PairIndex(b, next)];
      length = 2;
    } else {
      c = m_singles[b];
    }
    text[shown++] = c;
    pos += length;
  }
  text.resize(shown);
  return text;
}

std::string DisplayCodec::Encode(std::u16string_view text) const {
  std::string bytes;
  bytes.reserve(text.size() * 2);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c == kCarriageReturn && i + 1 < text.size() && text[i + 1] == kLineFeed) {
      bytes += "\r\n";
      ++i;
    } else if (c == kLineFeed || c == kParagraphSeparator || c == kLineSeparator) {
      bytes += "\r\n";
    } else if (c >= kStandInBase && c <= kStandInBase + 0xFF) {
      bytes += static_cast<char>(c - kStandInBase);
    } else if (c < 0x80 && c != 0) {
      bytes += static_cast<char>(c);
    } else if (const std::uint16_t known = m_bytesOf[c]; known != 0) {
      if (known >= 0x100) bytes += static_cast<char>(known >> 8);
      bytes += static_cast<char>(known & 0xFF);
    } else {
      // Something typed that no shown text holds: the converter's own answer, or '?' when it has none.
      std::size_t length = 1;
      if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
        length = 2;
      }
      // A zero byte would end the data text, so U+0000 is never passed on.
      std::string converted = "?";
      if (c != 0 && m_hasConverter) {
        const std::string answer = m_converter.EncodeOne(text.substr(i, length));
        if (!answer.empty() && answer.find('\0') == std::string::npos) converted = answer;
      }
      bytes += converted;
      i += length - 1;
    }
  }
  return bytes;
}

}  // namespace kestrion

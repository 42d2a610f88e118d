#include "app/DisplayCodec.h"

#include <QByteArray>
#include <QStringDecoder>
#include <QStringEncoder>
#include <optional>

namespace kestrion {
namespace {

constexpr char16_t kLineBreak = u'\n';
constexpr char16_t kParagraphSeparator = 0x2029;
constexpr char16_t kLineSeparator = 0x2028;

constexpr bool IsLead(unsigned char b) {
  return b >= 0x81 && b <= 0xFE;
}

// Characters a shown text keeps for itself or that the text widgets do not keep as they are: such a character
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

const DisplayCodec& DisplayCodec::Instance() {
  static const DisplayCodec codec;
  return codec;
}

DisplayCodec::DisplayCodec() : m_bytesOf(0x10000, 0) {
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
  QStringDecoder decoder("GBK", QStringDecoder::Flag::Stateless);
  QStringEncoder encoder("GBK", QStringEncoder::Flag::Stateless);
  m_hasConverter = decoder.isValid() && encoder.isValid();
  if (!m_hasConverter) return;

  // The character that `bytes` decode to, when it is exactly one, not reserved, and encodes back to `bytes`.
  // A blank follows the bytes so that the converter never holds a byte back for the next call, and a
  // converter that reported an error is replaced, since resetting it does not always clear what it holds.
  auto roundTrip = [&](QByteArrayView bytes) -> char16_t {
    QByteArray probe = bytes.toByteArray();
    probe.append(' ');
    const QString text = decoder.decode(probe);
    const bool decoded = !decoder.hasError() && text.size() == 2 && text.at(1) == QLatin1Char(' ');
    if (decoder.hasError()) decoder = QStringDecoder("GBK", QStringDecoder::Flag::Stateless);
    if (!decoded || IsReserved(text.at(0).unicode())) return 0;
    const QByteArray back = encoder.encode(text.first(1));
    const bool encoded = !encoder.hasError() && back == bytes;
    if (encoder.hasError()) encoder = QStringEncoder("GBK", QStringEncoder::Flag::Stateless);
    return encoded ? text.at(0).unicode() : char16_t{0};
  };

  for (int b = 0x80; b < 256; ++b) {
    const char byte = static_cast<char>(b);
    const char16_t c = roundTrip(QByteArrayView(&byte, 1));
    if (c != 0 && m_bytesOf[c] == 0) {
      m_singles[static_cast<std::size_t>(b)] = c;
      m_bytesOf[c] = static_cast<std::uint16_t>(b);
    }
  }
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0; trail < 256; ++trail) {
      const char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
      const char16_t c = roundTrip(QByteArrayView(pair, 2));
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

std::size_t DisplayCodec::UnitStartAtOrBefore(std::string_view bytes, std::size_t pos) const {
  std::size_t start = pos;
  while (start > 0 && !AlwaysStartsUnit(static_cast<unsigned char>(bytes[start]))) --start;
  for (;;) {
    const std::size_t next = start + UnitLength(bytes, start);
    if (next > pos) return start;
    start = next;
  }
}

QString DisplayCodec::Decode(std::string_view bytes) const {
  QString text;
  text.resize(static_cast<qsizetype>(bytes.size()));
  char16_t* out = reinterpret_cast<char16_t*>(text.data());
  std::size_t shown = 0;
  for (std::size_t pos = 0; pos < bytes.size();) {
    const auto b = static_cast<unsigned char>(bytes[pos]);
    const bool hasNext = pos + 1 < bytes.size();
    const unsigned char next =
        hasNext ? static_cast<unsigned char>(bytes[pos + 1]) : static_cast<unsigned char>(0);
    char16_t c = 0;
    std::size_t length = 1;
    if (b == '\r' || b == '\n') {
      if (b == '\r' && hasNext && next == '\n') {
        c = kLineBreak;
        length = 2;
      } else {
        c = StandIn(b);
      }
    } else if (IsLead(b) && hasNext && m_pairs[PairIndex(b, next)] != 0) {
      c = m_pairs[PairIndex(b, next)];
      length = 2;
    } else {
      c = m_singles[b];
    }
    out[shown++] = c;
    pos += length;
  }
  text.truncate(static_cast<qsizetype>(shown));
  return text;
}

std::string DisplayCodec::Encode(QStringView text) const {
  std::string bytes;
  bytes.reserve(static_cast<std::size_t>(text.size()) * 2);
  std::optional<QStringEncoder> fallback;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char16_t c = text[i].unicode();
    if (c == kLineBreak || c == kParagraphSeparator || c == kLineSeparator) {
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
      qsizetype length = 1;
      if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) length = 2;
      // A zero byte would end the data text, so U+0000 is never passed on.
      QByteArray converted = "?";
      if (c != 0) {
        if (!fallback) fallback.emplace("GBK", QStringEncoder::Flag::Stateless);
        if (fallback->isValid()) {
          const QByteArray answer = fallback->encode(text.mid(i, length));
          if (!fallback->hasError() && !answer.isEmpty() && !answer.contains('\0')) converted = answer;
          fallback->resetState();
        }
      }
      bytes.append(converted.constData(), static_cast<std::size_t>(converted.size()));
      i += length - 1;
    }
  }
  return bytes;
}

}  // namespace kestrion

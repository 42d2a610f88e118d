// Code page 936 bytes shown as text in a widget, and back, without losing or changing a byte.
#pragma once

#include <QString>
#include <QStringView>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kestrion {

// How a byte string is shown, one shown character per unit of one or two bytes:
// - CR LF is a line break ('\n' in the shown text);
// - TAB and the printable ASCII bytes are themselves;
// - a byte or a lead/trail pair that the platform's GBK converter decodes to one character, which
//   encodes back to the very same bytes, is that character;
// - every other byte (a lone CR or LF, another control byte, a lead byte without a fitting trail, a byte that
//   does not decode) is shown as the Braille pattern U+2800 + byte, whose dots are the byte's bits.
// A decoded character that the shown text reserves (a Braille pattern, a line or paragraph separator, a
// control character) is never shown as itself: its bytes are escaped instead. So Encode(Decode(b)) == b for
// every byte string b, and Decode(Encode(t)) == t for every text t that Decode produces.
class DisplayCodec {
 public:
  static constexpr char16_t kStandInBase = 0x2800;

  // Built once from the platform's converter, on first use.
  static const DisplayCodec& Instance();

  // False when the platform offers no GBK converter: then every byte above 0x7F is shown as its stand-in.
  bool HasConverter() const { return m_hasConverter; }

  QString Decode(std::string_view bytes) const;
  // The inverse of Decode. Line breaks typed in a widget (LF, U+2029, U+2028) become CR LF; a character that
  // code page 936 cannot hold becomes '?'.
  std::string Encode(QStringView text) const;

  // Unit stepping, for editing a shown text in place: every unit is one UTF-16 code unit of the shown text.
  // Length in bytes (1 or 2) of the unit that starts at `pos` < bytes.size().
  std::size_t UnitLength(std::string_view bytes, std::size_t pos) const;
  // Number of units of `bytes`, read from its start.
  std::size_t CountUnits(std::string_view bytes) const;
  // True when a byte of this value starts a unit whatever bytes come before it (it is never the second byte
  // of a unit).
  bool AlwaysStartsUnit(unsigned char b) const { return m_alwaysStartsUnit[b]; }
  // The last unit start at or before `pos` < bytes.size(), reading back only to a byte that always starts a
  // unit.
  std::size_t UnitStartAtOrBefore(std::string_view bytes, std::size_t pos) const;

 private:
  DisplayCodec();
  void BuildFromConverter();

  static constexpr std::size_t PairIndex(unsigned char lead, unsigned char trail) {
    return static_cast<std::size_t>(lead - 0x81) * 256 + trail;
  }

  bool m_hasConverter = false;
  // The shown character of each lead (0x81..0xFE) / trail pair, or 0 when the pair is not one unit.
  std::array<char16_t, std::size_t{126} * 256> m_pairs{};
  // The shown character of each byte standing alone (0 for CR and LF, which depend on what follows).
  std::array<char16_t, 256> m_singles{};
  // For each UTF-16 code unit the bytes it stands for: 0 none, below 0x100 one byte, else lead << 8 | trail.
  std::vector<std::uint16_t> m_bytesOf;
  std::array<bool, 256> m_alwaysStartsUnit{};
};

}  // namespace kestrion

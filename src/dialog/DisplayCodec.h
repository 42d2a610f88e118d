// Code page 936 bytes shown as text in a window, and back, without losing or changing a byte.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "dialog/Converter.h"

namespace kestrion {

// How a text box holds a line break: one '\n' (the Qt box) or the two units "\r\n" (a Win32 edit).
enum class LineBreak { Lf, CrLf };

// How a byte string is shown, one shown unit per one or two bytes:
// - CR LF is a line break ('\n', or "\r\n" for a box that holds its breaks so);
// - TAB and the printable ASCII bytes are themselves;
// - a byte or a lead/trail pair that the platform's converter decodes to one character, which encodes back to
//   the very same bytes, is that character;
// - every other byte (a lone CR or LF, another control byte, a lead byte without a fitting trail, a byte that
//   does not decode) is shown as the Braille pattern U+2800 + byte, whose dots are the byte's bits.
// A decoded character that the shown text reserves (a Braille pattern, a line or paragraph separator, a
// control character) is never shown as itself: its bytes are escaped instead. So Encode(Decode(b)) == b for
// every byte string b, and Decode(Encode(t)) == t for every text t that Decode produces.
class DisplayCodec {
 public:
  static constexpr char16_t kStandInBase = 0x2800;

  // Built from `converter`, which must outlive it.
  explicit DisplayCodec(const Cp936Converter& converter);
  // The codec of `converter`, built once on first use and kept for the program's life.
  static const DisplayCodec& Of(const Cp936Converter& converter);

  // False when the converter is not available: then every byte above 0x7F is shown as its stand-in.
  bool HasConverter() const { return m_hasConverter; }

  std::u16string Decode(std::string_view bytes, LineBreak lineBreak = LineBreak::Lf) const;
  // The inverse of Decode, for either line break. Line breaks typed in a box ("\r\n", LF, U+2029, U+2028)
  // become CR LF; a character that code page 936 cannot hold becomes '?'.
  std::string Encode(std::u16string_view text) const;

  // Unit stepping, for editing a shown text in place.
  // Length in bytes (1 or 2) of the unit that starts at `pos` < bytes.size().
  std::size_t UnitLength(std::string_view bytes, std::size_t pos) const;
  // Number of units of `bytes`, read from its start.
  std::size_t CountUnits(std::string_view bytes) const;
  // Length of Decode(bytes, lineBreak) in UTF-16 units, without decoding.
  std::size_t ShownLength(std::string_view bytes, LineBreak lineBreak) const;
  // True when a byte of this value starts a unit whatever bytes come before it (it is never the second byte
  // of a unit).
  bool AlwaysStartsUnit(unsigned char b) const { return m_alwaysStartsUnit[b]; }
  // The last unit start at or before `pos` < bytes.size(), reading back only to a byte that always starts a
  // unit.
  std::size_t UnitStartAtOrBefore(std::string_view bytes, std::size_t pos) const;

 private:
  void BuildFromConverter();

  static constexpr std::size_t PairIndex(unsigned char lead, unsigned char trail) {
    return static_cast<std::size_t>(lead - 0x81) * 256 + trail;
  }

  const Cp936Converter& m_converter;
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

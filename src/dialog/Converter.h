// The platform's converter between code page 936 and Unicode, one character at a time. The display codec asks
// it once about every byte and byte pair and remembers the answers, so that the conversion stays the
// platform's own without a hand-made table.
#pragma once

#include <string>
#include <string_view>

namespace kestrion {

class Cp936Converter {
 public:
  virtual ~Cp936Converter() = default;

  // False when the platform has no such converter; then nothing decodes.
  virtual bool IsAvailable() const = 0;
  // The character (one UTF-16 unit, or a surrogate pair) that `bytes` (one or two bytes) decode to; empty when
  // they are not exactly one valid character.
  virtual std::u16string DecodeOne(std::string_view bytes) const = 0;
  // The bytes of `character` (one UTF-16 unit, or a surrogate pair); empty when code page 936 has no exact byte
  // sequence for it (no best-fit substitutes).
  virtual std::string EncodeOne(std::u16string_view character) const = 0;
};

// The converter of the system the program runs on, without a toolkit: iconv's on Linux, the Windows code page
// functions on Windows. It lives as long as the program.
const Cp936Converter& SystemConverter();

}  // namespace kestrion

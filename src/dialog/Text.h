// Text for the windows: UTF-16, as every window system here takes it, with the few conversions and the
// formatting that the dialogs need.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace kestrion {

// UTF-8 to UTF-16; a byte that starts no valid sequence becomes U+FFFD.
std::u16string Utf8ToUtf16(std::string_view utf8);
// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view utf16);
// ASCII text, as it stands.
std::u16string AsciiToUtf16(std::string_view ascii);

// `pattern` with each %1 to %9 replaced by the argument of that number, in one pass, so that an argument that
// holds a "%2" (a path may) is never taken for a place of its own. A number without an argument stays.
std::u16string FormatText(std::u16string_view pattern, std::initializer_list<std::u16string_view> args);

// Decimal digits; `width` pads with zeros on the left.
std::u16string Number(std::uint64_t n, int width = 0);
std::u16string Number(int n);

}  // namespace kestrion

#include "dialog/Text.h"

#include <vector>

namespace kestrion {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

void PutUtf16(std::u16string& out, char32_t c) {
  if (c < 0x10000) {
    out += static_cast<char16_t>(c);
  } else {
    c -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (c >> 10));
    out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
  }
}

void PutUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

std::u16string Utf8ToUtf16(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    const auto b = static_cast<unsigned char>(utf8[i]);
    int length = 0;
    char32_t c = 0;
    char32_t least = 0;
    if (b < 0x80) {
      length = 1;
      c = b;
    } else if (b >= 0xC2 && b <= 0xDF) {
      length = 2;
      c = b & 0x1F;
      least = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
      length = 3;
      c = b & 0x0F;
      least = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
      length = 4;
      c = b & 0x07;
      least = 0x10000;
    }
    bool valid = length > 0 && i + static_cast<std::size_t>(length) <= utf8.size();
    for (int k = 1; valid && k < length; ++k) {
      const auto next = static_cast<unsigned char>(utf8[i + static_cast<std::size_t>(k)]);
      if ((next & 0xC0) != 0x80) {
        valid = false;
      } else {
        c = (c << 6) | (next & 0x3F);
      }
    }
    if (valid && (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))) valid = false;
    if (!valid) {
      out += static_cast<char16_t>(kReplacement);
      ++i;
      continue;
    }
    PutUtf16(out, c);
    i += static_cast<std::size_t>(length);
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
  std::string out;
  out.reserve(utf16.size());
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    char32_t c = utf16[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 && utf16[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = kReplacement;
    }
    PutUtf8(out, c);
  }
  return out;
}

std::u16string AsciiToUtf16(std::string_view ascii) {
  return std::u16string(ascii.begin(), ascii.end());
}

std::u16string FormatText(std::u16string_view pattern, std::initializer_list<std::u16string_view> args) {
  const std::vector<std::u16string_view> given(args);
  std::u16string out;
  out.reserve(pattern.size());
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == u'%' && i + 1 < pattern.size() && pattern[i + 1] >= u'1' && pattern[i + 1] <= u'9') {
      const auto n = static_cast<std::size_t>(pattern[i + 1] - u'1');
      if (n < given.size()) {
        out += given[n];
        ++i;
        continue;
      }
    }
    out += pattern[i];
  }
  return out;
}

std::u16string Number(std::uint64_t n, int width) {
  std::u16string digits;
  do {
    digits.insert(digits.begin(), static_cast<char16_t>(u'0' + n % 10));
    n /= 10;
  } while (n != 0);
  while (static_cast<int>(digits.size()) < width) digits.insert(digits.begin(), u'0');
  return digits;
}

std::u16string Number(int n) {
  if (n >= 0) return Number(static_cast<std::uint64_t>(n));
  // Built piece by piece: GCC 12 at -O3 takes u"-" + std::u16string&& for an overlapping copy (-Wrestrict).
  std::u16string text(1, u'-');
  text += Number(static_cast<std::uint64_t>(-static_cast<long long>(n)));
  return text;
}

}  // namespace kestrion

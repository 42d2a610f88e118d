// The Windows code page functions for code page 936, whatever code page the system itself uses.
#include <windows.h>

#include "dialog/Converter.h"

namespace kestrion {
namespace {

constexpr UINT kCodePage = 936;

class Win32Converter : public Cp936Converter {
 public:
  bool IsAvailable() const override { return IsValidCodePage(kCodePage) != 0; }

  std::u16string DecodeOne(std::string_view bytes) const override {
    if (bytes.empty() || bytes.size() > 2) return {};
    wchar_t out[4];
    const int produced = MultiByteToWideChar(kCodePage, MB_ERR_INVALID_CHARS, bytes.data(),
                                             static_cast<int>(bytes.size()), out, 4);
    if (produced <= 0) return {};
    std::u16string text(reinterpret_cast<const char16_t*>(out), static_cast<std::size_t>(produced));
    const bool one = text.size() == 1 || (text.size() == 2 && text[0] >= 0xD800 && text[0] <= 0xDBFF);
    return one ? text : std::u16string();
  }

  std::string EncodeOne(std::u16string_view character) const override {
    if (character.empty() || character.size() > 2) return {};
    char out[8];
    BOOL usedDefault = FALSE;
    const int produced =
        WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, reinterpret_cast<const wchar_t*>(character.data()),
                            static_cast<int>(character.size()), out, sizeof out, nullptr, &usedDefault);
    if (produced <= 0 || usedDefault) return {};
    return std::string(out, static_cast<std::size_t>(produced));
  }
};

}  // namespace

const Cp936Converter& SystemConverter() {
  static const Win32Converter converter;
  return converter;
}

}  // namespace kestrion

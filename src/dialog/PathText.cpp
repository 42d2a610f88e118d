#include "dialog/PathText.h"

#include <type_traits>

#include "dialog/Text.h"

namespace kestrion {
namespace {

constexpr bool kWideNames = std::is_same_v<std::filesystem::path::value_type, wchar_t>;

}  // namespace

std::u16string PathText(const std::filesystem::path& path) {
  if constexpr (kWideNames) {
    const auto& native = path.native();
    return std::u16string(native.begin(), native.end());
  } else {
    return Utf8ToUtf16(path.native());
  }
}

CString PathBytes(const std::filesystem::path& path) {
  if constexpr (kWideNames) {
    return NameBytes(PathText(path));
  } else {
    return CString(path.native());
  }
}

std::filesystem::path PathOfBytes(const CString& bytes) {
  if constexpr (kWideNames) {
    const std::u16string text = NameText(bytes);
    return std::filesystem::path(std::wstring(text.begin(), text.end()));
  } else {
    return std::filesystem::path(bytes.Bytes());
  }
}

CString NameBytes(std::u16string_view text) {
  return CString(Utf16ToUtf8(text));
}

std::u16string NameText(const CString& bytes) {
  return Utf8ToUtf16(bytes.View());
}

}  // namespace kestrion

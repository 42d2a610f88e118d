#include "dialog/PathText.h"

#include "dialog/Text.h"

namespace kestrion {

#ifdef _WIN32

// Windows names are UTF-16 already.
std::u16string PathText(const std::filesystem::path& path) {
  const std::wstring& native = path.native();
  return std::u16string(native.begin(), native.end());
}

CString PathBytes(const std::filesystem::path& path) {
  return NameBytes(PathText(path));
}

std::filesystem::path PathOfBytes(const CString& bytes) {
  const std::u16string text = NameText(bytes);
  return std::filesystem::path(std::wstring(text.begin(), text.end()));
}

#else

// POSIX names are the file system's bytes, shown as UTF-8.
std::u16string PathText(const std::filesystem::path& path) {
  return Utf8ToUtf16(path.native());
}

CString PathBytes(const std::filesystem::path& path) {
  return CString(path.native());
}

std::filesystem::path PathOfBytes(const CString& bytes) {
  return std::filesystem::path(bytes.Bytes());
}

#endif

CString NameBytes(std::u16string_view text) {
  return CString(Utf16ToUtf8(text));
}

std::u16string NameText(const CString& bytes) {
  return Utf8ToUtf16(bytes.View());
}

}  // namespace kestrion

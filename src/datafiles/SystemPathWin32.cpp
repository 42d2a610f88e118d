#include <algorithm>
#include <system_error>
#include <utility>

#include "datafiles/SystemPath.h"

namespace kestrion {
namespace {

bool IsSeparator(const std::wstring& text, std::size_t at) {
  return at < text.size() && (text[at] == L'\\' || text[at] == L'/');
}

bool IsDeviceForm(const std::wstring& text) {
  return IsSeparator(text, 0) && IsSeparator(text, 1) && text.size() > 2 &&
         (text[2] == L'?' || text[2] == L'.') && IsSeparator(text, 3);
}

std::wstring Backslashed(const std::filesystem::path& path) {
  std::wstring text = path.native();
  std::replace(text.begin(), text.end(), L'/', L'\\');
  return text;
}

}  // namespace

std::wstring SystemPath(const std::filesystem::path& path) {
  if (IsDeviceForm(path.native())) return path.native();
  // A share's path ("\\host\share\...") has no root that the standard library knows: it would make the path
  // full on the current drive and fold the two leading separators into one. What follows them is normalised
  // alone.
  if (IsSeparator(path.native(), 0) && IsSeparator(path.native(), 1)) {
    return L"\\\\?\\UNC\\" + Backslashed(std::filesystem::path(path.native().substr(2)).lexically_normal());
  }
  std::filesystem::path full = path;
  std::error_code error;
  std::filesystem::path made = std::filesystem::absolute(path, error);
  if (!error) full = std::move(made);
  const std::wstring text = Backslashed(full.lexically_normal());
  if (text.size() >= 3 && text[1] == L':' && text[2] == L'\\') return L"\\\\?\\" + text;
  return text;
}

}  // namespace kestrion

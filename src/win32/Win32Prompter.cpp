#include "win32/Win32Prompter.h"

#include <commdlg.h>

#include <cwchar>
#include <string>

#include "app/Messages.h"
#include "win32/Win32DialogWindow.h"

namespace kestrion {
namespace {

std::wstring Wide(std::u16string_view text) {
  return std::wstring(text.begin(), text.end());
}

UINT IconStyle(Prompter::Icon icon) {
  switch (icon) {
    case Prompter::Icon::Information:
      return MB_ICONINFORMATION;
    case Prompter::Icon::Exclamation:
      return MB_ICONEXCLAMATION;
    case Prompter::Icon::Stop:
      return MB_ICONSTOP;
    case Prompter::Icon::Question:
      return MB_ICONQUESTION;
  }
  return 0;
}

// The longest path the wide functions take.
constexpr std::size_t kPathUnits = 32768;

}  // namespace

Prompter::Answer Win32Prompter::MessageBox(std::u16string_view text, Icon icon, Buttons buttons) {
  const UINT type = IconStyle(icon) | (buttons == Buttons::YesNo ? MB_YESNO : MB_OK);
  const int pressed =
      MessageBoxW(m_hOwner, Wide(text).c_str(), Wide(messages::kApplicationName).c_str(), type);
  if (pressed == IDYES) return Answer::Yes;
  if (pressed == IDNO) return Answer::No;
  return buttons == Buttons::YesNo ? Answer::No : Answer::Ok;
}

std::optional<std::filesystem::path> Win32Prompter::ChooseOpenFile(std::span<const FileFilter> filters,
                                                                   bool mayNotExist) {
  // Label and pattern of each filter, each ended by a null, and one more null at the end.
  std::wstring filterText;
  for (const FileFilter& filter : filters) {
    filterText += Wide(filter.label);
    filterText += L'\0';
    filterText += Wide(filter.pattern);
    filterText += L'\0';
  }
  filterText += L'\0';
  std::wstring file(kPathUnits, L'\0');

  OPENFILENAMEW chooser{};
  chooser.lStructSize = sizeof chooser;
  chooser.hwndOwner = m_hOwner;
  chooser.lpstrFilter = filters.empty() ? nullptr : filterText.c_str();
  chooser.nFilterIndex = 1;
  chooser.lpstrFile = file.data();
  chooser.nMaxFile = static_cast<DWORD>(file.size());
  // The program's working folder stays where it was, whatever folder the operator goes to.
  chooser.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
  if (!mayNotExist) chooser.Flags |= OFN_FILEMUSTEXIST;
  if (GetOpenFileNameW(&chooser) == FALSE) return std::nullopt;
  file.resize(std::wcslen(file.c_str()));
  if (file.empty()) return std::nullopt;
  return std::filesystem::path(file);
}

int Win32Prompter::RunModal(CDialog& dialog) {
  Win32DialogWindow window(dialog, m_hOwner);
  return static_cast<int>(window.DoModal());
}

}  // namespace kestrion

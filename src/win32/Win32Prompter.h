// The Win32 host's message boxes, file chooser and modal sub-windows.
#pragma once

#include "dialog/Prompter.h"
#include "win32/Win32Api.h"

namespace kestrion {

// MessageBoxW, GetOpenFileNameW, and a Win32DialogWindow for each dialog run modally, all modal to `owner`.
class Win32Prompter : public Prompter {
 public:
  explicit Win32Prompter(HWND owner = nullptr) : m_hOwner(owner) {}
  void SetOwner(HWND owner) { m_hOwner = owner; }

  Answer MessageBox(std::u16string_view text, Icon icon, Buttons buttons = Buttons::Ok) override;
  std::optional<std::filesystem::path> ChooseOpenFile(std::span<const FileFilter> filters,
                                                      bool mayNotExist = false) override;
  int RunModal(CDialog& dialog) override;

 private:
  HWND m_hOwner;
};

}  // namespace kestrion

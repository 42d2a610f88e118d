// The Win32 host of a dialog: a native dialog box made from the dialog's template, whose dialog procedure
// turns the window's messages into the dialog's entry points and which carries out what the dialog asks of
// its view. It holds no rule of the window.
#pragma once

#include <map>

#include "dialog/Dialog.h"
#include "dialog/DialogView.h"
#include "win32/Win32Api.h"
#include "win32/Win32Prompter.h"

namespace kestrion {

class Win32DialogWindow : public DialogView {
 public:
  // `dialog` must outlive the window; `owner` is the window it is modal to (none for the main window).
  Win32DialogWindow(CDialog& dialog, HWND owner);
  ~Win32DialogWindow() override;
  Win32DialogWindow(const Win32DialogWindow&) = delete;
  Win32DialogWindow& operator=(const Win32DialogWindow&) = delete;

  // Runs the window modally and returns the dialog's result (-1 when the window could not be made).
  INT_PTR DoModal();

  HWND Handle() const { return m_hWnd; }

  // DialogView.
  std::u16string GetText(int id) const override;
  std::size_t GetTextLength(int id) const override;
  void SetText(int id, std::u16string_view text) override;
  void ReplaceText(int id, std::size_t start, std::size_t end, std::u16string_view text) override;
  bool GetModify(int id) const override;
  void SetModify(int id, bool modified) override;
  void EnableWindow(int id, bool enable) override;
  bool IsWindowEnabled(int id) const override;
  void CheckButton(int id, bool checked) override;
  bool IsButtonChecked(int id) const override;
  void SetToolTip(int id, std::u16string_view text) override;
  void SetDescription(int id, std::u16string_view text) override;
  void ResetContent(int id) override;
  void AddString(int id, std::u16string_view text) override;
  int GetCount(int id) const override;
  int GetCurSel(int id) const override;
  void SetCurSel(int id, int index) override;
  std::u16string GetItemText(int id, int index) const override;
  void SetFocus(int id) override;
  int GetFocus() const override;
  void AppendSystemMenu(unsigned command, std::u16string_view text) override;
  void SetIcon(int resource) override;
  void StartTimer(int id, std::chrono::milliseconds period) override;
  void StopTimer(int id) override;
  void EndDialog(int result) override;
  void Minimize() override;
  LineBreak TextLineBreak() const override { return LineBreak::CrLf; }
  const Cp936Converter& Converter() const override;

 private:
  static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
  // What the dialog makes of a message; FALSE leaves it to the dialog manager.
  INT_PTR OnMessage(UINT message, WPARAM wParam);
  BOOL OnInitDialog();
  void OnCommand(WPARAM wParam);
  void OnPaintMinimized();
  void OnDestroy();

  HWND Item(int id) const;
  ControlKind KindOf(int id) const;
  bool IsList(int id) const { return KindOf(id) == ControlKind::ListBox; }

  CDialog& m_dialog;
  HWND m_hOwner;
  HWND m_hWnd = nullptr;
  Win32Prompter m_prompter;
  HWND m_hToolTip = nullptr;
  HICON m_hBigIcon = nullptr;
  HICON m_hSmallIcon = nullptr;
  std::map<int, ControlKind> m_kinds;
  std::map<int, bool> m_tools;  // the controls that have a tool in the tooltip control
};

}  // namespace kestrion

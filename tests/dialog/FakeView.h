// A stand-in for a window, for tests of a dialog's behaviour without a toolkit: it keeps each control's state
// as the template creates it, carries out what the dialog asks, and plays the operator (clicks, typing,
// selections) and the passing of time (the dialog's timers).
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "dialog/Dialog.h"
#include "dialog/DialogView.h"

namespace kestrion::testing_support {

class FakeView : public DialogView {
 public:
  struct Control {
    ControlKind kind = ControlKind::Label;
    std::u16string text;
    bool enabled = true;
    bool checked = false;
    bool modified = false;
    std::u16string toolTip;
    std::u16string description;
    std::vector<std::u16string> items;
    int selected = -1;
  };
  // One ReplaceText, as the dialog asked it.
  struct Replacement {
    int id = 0;
    std::size_t start = 0;
    std::size_t end = 0;
    std::size_t inserted = 0;
  };
  struct MenuEntry {
    unsigned command = 0;  // 0: a separator
    std::u16string text;
  };

  // Builds the controls of `dialog`'s template, attaches itself and initialises the dialog, whose prompter (or,
  // without one, `prompter`) answers. The dialog must outlive the view.
  FakeView(CDialog& dialog, Prompter& prompter, LineBreak lineBreak = LineBreak::Lf);
  ~FakeView() override;
  FakeView(const FakeView&) = delete;
  FakeView& operator=(const FakeView&) = delete;

  // The operator. A click on an enabled button or radio notifies the dialog; a radio checks itself first and
  // unchecks the others of its group, as an automatic radio does.
  void Click(int id);
  // Replaces an edit's text as typing would, setting its modified flag.
  void Type(int id, std::u16string_view text);
  // Picks an entry of a combo box or list box.
  void Select(int id, int index);
  // Drops a combo box's list down.
  void DropDown(int id);
  // The close box: cancel.
  void Close();
  // A system-menu command: the dialog's, else the window's own (close as the close box, minimise).
  void SysCommand(unsigned command);

  // Time: runs every timer that falls due within `span`, on this thread, sleeping in between.
  void Pump(std::chrono::milliseconds span);
  // Runs the timers until `done` holds or `limit` has passed; true when it held.
  bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit);

  const Control& Item(int id) const;
  Control& Item(int id);
  bool Ended() const { return m_bEnded; }
  int Result() const { return m_nResult; }
  bool Minimized() const { return m_bMinimized; }
  int Icon() const { return m_nIcon; }
  const std::vector<MenuEntry>& SystemMenu() const { return m_arrMenu; }
  bool TimerRunning(int id) const { return m_timers.contains(id); }
  // Every ReplaceText so far.
  std::vector<Replacement> replacements;

  // DialogView.
  std::u16string GetText(int id) const override { return Item(id).text; }
  std::size_t GetTextLength(int id) const override { return Item(id).text.size(); }
  void SetText(int id, std::u16string_view text) override;
  void ReplaceText(int id, std::size_t start, std::size_t end, std::u16string_view text) override;
  bool GetModify(int id) const override { return Item(id).modified; }
  void SetModify(int id, bool modified) override { Item(id).modified = modified; }
  void EnableWindow(int id, bool enable) override { Item(id).enabled = enable; }
  bool IsWindowEnabled(int id) const override { return Item(id).enabled; }
  void CheckButton(int id, bool checked) override { Item(id).checked = checked; }
  bool IsButtonChecked(int id) const override { return Item(id).checked; }
  void SetToolTip(int id, std::u16string_view text) override { Item(id).toolTip = text; }
  void SetDescription(int id, std::u16string_view text) override { Item(id).description = text; }
  void ResetContent(int id) override;
  void AddString(int id, std::u16string_view text) override { Item(id).items.emplace_back(text); }
  int GetCount(int id) const override { return static_cast<int>(Item(id).items.size()); }
  int GetCurSel(int id) const override { return Item(id).selected; }
  void SetCurSel(int id, int index) override;
  std::u16string GetItemText(int id, int index) const override;
  void SetFocus(int id) override { m_nFocus = id; }
  int GetFocus() const override { return m_nFocus; }
  void AppendSystemMenu(unsigned command, std::u16string_view text) override;
  void SetIcon(int resource) override { m_nIcon = resource; }
  void StartTimer(int id, std::chrono::milliseconds period) override;
  void StopTimer(int id) override { m_timers.erase(id); }
  void EndDialog(int result) override;
  void Minimize() override { m_bMinimized = true; }
  LineBreak TextLineBreak() const override { return m_lineBreak; }
  const Cp936Converter& Converter() const override { return SystemConverter(); }

 private:
  using Clock = std::chrono::steady_clock;
  struct Timer {
    std::chrono::milliseconds period{0};
    Clock::time_point due;
  };

  CDialog& m_dialog;
  LineBreak m_lineBreak;
  std::map<int, Control> m_controls;
  std::map<int, Timer> m_timers;
  std::vector<MenuEntry> m_arrMenu;
  int m_nFocus = 0;
  int m_nIcon = 0;
  bool m_bEnded = false;
  bool m_bMinimized = false;
  int m_nResult = 0;
};

}  // namespace kestrion::testing_support

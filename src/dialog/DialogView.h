// What a dialog asks of the window that shows it. A host (a toolkit's window, or a test's stand-in) carries
// these out on its controls, found by id; the dialog never sees a toolkit. Text crosses as UTF-16.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

#include "dialog/Converter.h"
#include "dialog/DisplayCodec.h"

namespace kestrion {

// Dialog results and the ids of the standard buttons.
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;

// What a control tells its dialog.
enum class Notification { Clicked, DropDown, SelectionChanged };

class DialogView {
 public:
  virtual ~DialogView() = default;

  // The text of a control: an edit's text, a button's or label's caption.
  virtual std::u16string GetText(int id) const = 0;
  virtual std::size_t GetTextLength(int id) const = 0;
  virtual void SetText(int id, std::u16string_view text) = 0;
  // An edit's text from `start` to `end` (UTF-16 units, line breaks as the box holds them) becomes `text`,
  // as one change that cannot be undone; the caret and the first visible line stay with the text they were at.
  virtual void ReplaceText(int id, std::size_t start, std::size_t end, std::u16string_view text) = 0;
  // An edit's modified flag: set when the operator changes its text, cleared by SetModify(false).
  virtual bool GetModify(int id) const = 0;
  virtual void SetModify(int id, bool modified) = 0;

  virtual void EnableWindow(int id, bool enable) = 0;
  virtual bool IsWindowEnabled(int id) const = 0;
  virtual void CheckButton(int id, bool checked) = 0;
  virtual bool IsButtonChecked(int id) const = 0;
  virtual void SetToolTip(int id, std::u16string_view text) = 0;
  // What a screen reader says of the control beside its text.
  virtual void SetDescription(int id, std::u16string_view text) = 0;

  // Combo boxes and list boxes.
  virtual void ResetContent(int id) = 0;
  virtual void AddString(int id, std::u16string_view text) = 0;
  virtual int GetCount(int id) const = 0;
  virtual int GetCurSel(int id) const = 0;  // -1: none
  virtual void SetCurSel(int id, int index) = 0;
  virtual std::u16string GetItemText(int id, int index) const = 0;

  virtual void SetFocus(int id) = 0;
  virtual int GetFocus() const = 0;  // the id of the focused control; 0 for none

  // Appends an entry to the window's system menu; command 0 appends a separator.
  virtual void AppendSystemMenu(unsigned command, std::u16string_view text) = 0;
  // The icon resource as the window's big and small icon.
  virtual void SetIcon(int resource) = 0;

  // Timers call back the dialog's OnTimer(id) on the window's thread every `period` until stopped; starting
  // a running timer restarts it.
  virtual void StartTimer(int id, std::chrono::milliseconds period) = 0;
  virtual void StopTimer(int id) = 0;

  // Ends the modal run with `result`.
  virtual void EndDialog(int result) = 0;
  virtual void Minimize() = 0;

  // How the host's edits hold a line break, and the converter it shows code page 936 text with.
  virtual LineBreak TextLineBreak() const = 0;
  virtual const Cp936Converter& Converter() const = 0;
};

}  // namespace kestrion

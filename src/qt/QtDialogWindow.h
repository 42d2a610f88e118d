// The Qt host of a dialog: builds the window from the dialog's template (every control named by its row, "IDC_<id>"
// for those with an id), turns clicks, drop-downs, timers and keys into the dialog's entry points, and carries
// out what the dialog asks of its view. It holds no rule of the window.
#pragma once

#include <QBasicTimer>
#include <QDialog>
#include <map>
#include <memory>

#include "dialog/Dialog.h"
#include "dialog/DialogView.h"
#include "qt/QtPrompter.h"

class QButtonGroup;
class QMenu;

namespace kestrion {

class QtDialogWindow : public QDialog, public DialogView {
  Q_OBJECT

 public:
  // Builds the window and initialises `dialog` in it; `dialog` must outlive the window.
  explicit QtDialogWindow(CDialog& dialog, QWidget* parent = nullptr);
  ~QtDialogWindow() override;

  // Runs the window modally; kIdOk or kIdCancel.
  int DoModal();

  // The control of that id, or nullptr.
  QWidget* GetDlgItem(int id) const;
  CDialog& Dialog() const { return m_dialog; }
  // The window's system menu. The window manager owns the real one, so this is offered as the window's
  // context menu; its entries send their command value to SysCommand.
  QMenu* GetSystemMenu() const { return m_pSystemMenu; }
  // A system command: the dialog's, else the window's own (close, minimise; moving and sizing belong to the
  // window manager).
  void SysCommand(unsigned command);

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
  LineBreak TextLineBreak() const override { return LineBreak::Lf; }
  const Cp936Converter& Converter() const override;

 protected:
  void timerEvent(QTimerEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void accept() override;
  void reject() override;
  void done(int result) override;

 private:
  void Build();

  CDialog& m_dialog;
  QtPrompter m_prompter;
  std::map<int, QWidget*> m_controls;
  std::map<int, QBasicTimer> m_timers;
  QMenu* m_pSystemMenu = nullptr;
};

}  // namespace kestrion

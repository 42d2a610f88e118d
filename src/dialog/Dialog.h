// The dialog framework's dialog, without a toolkit: data exchange between fields and controls, the timers,
// and the entry points through which a host hands over what happens to the window.
#pragma once

#include <chrono>
#include <map>

#include "dialog/DialogTemplate.h"
#include "dialog/DialogView.h"
#include "dialog/DisplayCodec.h"
#include "dialog/Prompter.h"

namespace kestrion {

class CDialog;

// One data exchange: true copies the controls into the fields, false the other way.
class CDataExchange {
 public:
  CDataExchange(CDialog& dialog, bool saveAndValidate) : m_pDlgWnd(&dialog), m_bSaveAndValidate(saveAndValidate) {}

  CDialog* m_pDlgWnd;
  bool m_bSaveAndValidate;
};

class CDialog {
 public:
  // System commands that a host forwards to OnSysCommand.
  static constexpr unsigned kScSize = 0xF000;
  static constexpr unsigned kScMove = 0xF010;
  static constexpr unsigned kScMinimize = 0xF020;
  static constexpr unsigned kScClose = 0xF060;

  // `prompter` answers every message box and chooser; without one, the host's is used.
  explicit CDialog(const DialogTemplate& dialogTemplate, Prompter* prompter = nullptr);
  virtual ~CDialog();
  CDialog(const CDialog&) = delete;
  CDialog& operator=(const CDialog&) = delete;

  const DialogTemplate& GetTemplate() const { return m_template; }

  // A host attaches itself when its window exists, before OnInitDialog, and detaches when the window is gone.
  // While none is attached the view's operations do nothing.
  void Attach(DialogView& view, Prompter& hostPrompter);
  void Detach();
  bool IsAttached() const { return m_pView != nullptr; }

  // The entry points. OnInitDialog runs the first exchange (fields into controls).
  virtual bool OnInitDialog();
  // A control's notification, and the standard buttons: kIdOk is OnOK, kIdCancel OnCancel.
  virtual void OnCommand(int id, Notification code);
  virtual void OnTimer(int id);
  // True when the dialog handled the command; the host then does nothing more with it.
  virtual bool OnSysCommand(unsigned command);
  // Takes the controls into the fields, then ends with kIdOk.
  virtual void OnOK();
  // Ends with kIdCancel.
  virtual void OnCancel();
  // The window is being destroyed.
  virtual void OnDestroy();

  // Exchanges every bound field with its control; true copies controls into fields. Never fails here.
  bool UpdateData(bool saveAndValidate = true);

  // Starts timer `id` (restarting it when it runs); stopping a timer that does not run does nothing.
  void SetTimer(int id, std::chrono::milliseconds period);
  void KillTimer(int id);
  bool IsTimerRunning(int id) const { return m_setTimers.contains(id); }

  void EndDialog(int result);

  DialogView& View() const;
  Prompter& GetPrompter() const;
  const DisplayCodec& Codec() const;

 protected:
  virtual void DoDataExchange(CDataExchange& dx);

 private:
  const DialogTemplate& m_template;
  Prompter* m_pOwnPrompter;
  Prompter* m_pHostPrompter = nullptr;
  DialogView* m_pView = nullptr;
  std::map<int, std::chrono::milliseconds> m_setTimers;  // the running timers and their periods
};

}  // namespace kestrion

// The main window: all of the tool's state, its controls and the commands on them.
#pragma once

#include <QBasicTimer>
#include <QDialog>
#include <QIcon>
#include <array>
#include <chrono>
#include <memory>
#include <vector>

#include "app/Prompter.h"
#include "download/Reception.h"
#include "serial/SerialPort.h"
#include "text/Arrays.h"
#include "text/CString.h"
#include "upload/UploadWorker.h"

class QComboBox;
class QListWidget;
class QMenu;
class QRadioButton;

namespace Ui {
class CTransferDlg;
}

namespace kestrion {

class DataBox;

// Every field is public, as the transfer code of the window reads and writes them directly. The window
// manager draws a minimised window and a dragged icon from the window icon, so the window paints no icon of
// its own.
class CTransferDlg : public QDialog {
  Q_OBJECT

 public:
  // Control ids; every control is also named "IDC_<id>".
  static constexpr int kIdData = 1000;
  static constexpr int kIdBrowse = 1002;
  static constexpr int kIdPort = 1004;
  static constexpr int kIdBaud = 1005;
  static constexpr int kIdDataBits = 1006;
  static constexpr int kIdParity = 1007;
  static constexpr int kIdOpenPort = 1008;
  static constexpr int kIdClosePort = 1009;
  static constexpr int kIdFilePath = 1010;
  static constexpr int kIdOutput = 1011;
  static constexpr int kIdUpload = 1012;
  static constexpr int kIdUploadMode = 1013;
  static constexpr int kIdStatus = 1014;
  static constexpr int kIdRoads = 1015;
  static constexpr int kIdClearData = 1016;
  static constexpr int kIdDownloadMode = 1018;

  // The window's two timers.
  static constexpr int kStatusTimer = 1;
  static constexpr int kDownloadPollTimer = 2;
  static constexpr std::chrono::milliseconds kTimerPeriod{50};

  // System commands: the About entry, and the standard ones that the window handles itself.
  static constexpr unsigned kIdmAboutBox = 0x0010;
  static constexpr unsigned kScMinimize = 0xF020;
  static constexpr unsigned kScClose = 0xF060;

  // With the real message boxes and file chooser.
  explicit CTransferDlg(QWidget* parent = nullptr);
  // With `prompter` answering every message box and chooser; it must outlive the window.
  explicit CTransferDlg(Prompter& prompter, QWidget* parent = nullptr);
  ~CTransferDlg() override;

  // Runs the window modally; returns its result.
  int DoModal();

  // The control of that id, or nullptr.
  QWidget* GetDlgItem(int id) const;
  // Exchanges every bound field with its control; true copies controls into fields. Never fails.
  bool UpdateData(bool saveAndValidate = true);

  // Starts timer `id` (restarting it when it runs); stopping a timer that does not run does nothing.
  void SetTimer(int id, std::chrono::milliseconds period);
  void KillTimer(int id);
  bool IsTimerRunning(int id) const;

  Prompter& GetPrompter() { return *m_prompter; }
  // The window's system menu. The window manager owns the real one, so this is offered as the window's
  // context menu; its entries send their command value to OnSysCommand.
  QMenu* GetSystemMenu() const { return m_systemMenu; }

  // Commands.
  void OnSysCommand(unsigned id);
  void OnOpenPort();
  void OnClosePort();
  void OnTimer(int id);
  void OnOutput();
  void OnDestroy();
  void OnBrowse();
  void OnUpload();
  void OnClearData();
  void OnUploadMode();
  void OnDownloadMode();
  // Enter: takes the controls into the fields, then ends the window (after the unsaved-data question).
  void OnOK();
  // Esc and the close box: ends the window (after the unsaved-data question).
  void OnCancel();

  // The work of the timers: timer 1 in upload mode, timer 2 in download mode.
  virtual void StatusEcho();
  virtual void DownloadPoll();

  // True while an upload worker runs; reception stays off the port meanwhile.
  bool UploadRunning() const { return m_uploadWorker.Running(); }

  // The fields.
  int m_bPortOpen = 0;
  SerialPort m_hComm;
  // One buffer per road of the last loaded road file, however many it has: buffer i is road list entry i.
  std::vector<CString> m_strRoadData;
  CString m_strLastMarker;
  CString m_strOutputPath;  // platform bytes of a path, like m_strFilePath
  QIcon m_hIcon;
  CString m_strData;
  QComboBox* m_cbPort = nullptr;
  QComboBox* m_cbBaud = nullptr;
  QComboBox* m_cbDataBits = nullptr;
  QComboBox* m_cbParity = nullptr;
  CString m_strPort;  // platform bytes of a port name
  CString m_strBaud;
  CString m_strDataBits;
  CString m_strParity;
  CString m_strFilePath;  // platform bytes of a path (UTF-8 on Linux), not code page 936 text
  QListWidget* m_lbRoads = nullptr;
  int m_nMode = 1;
  // Downloaded records are in the data text and have not been written to a file: reception sets it when it
  // appends; a successful Output and Clear data clear it. Closing the window asks first while it is set.
  bool m_bUnsavedDownload = false;
  // Download reception: what the polls know about the data text, so that a poll costs what it brings; and the
  // data box's revision after the last poll, by which an edit of the operator is noticed.
  Reception m_reception;
  int m_nDataRevision = -1;
  // The upload. The upload lines and the status text live in m_upload, which the worker shares: the two names
  // are references into it, and every access from either thread holds m_upload.lock, one operation at a time.
  // The port has a lock of its own. The worker comes after the port and the shared state, so that even
  // without the destructor's stop it would end before them.
  UploadShared m_upload;
  CStringArray& m_arrUploadLines = m_upload.uploadLines;
  CString& m_strStatus = m_upload.status;
  CString m_strLastShownStatus;  // what the status box was last given, by the echo or by an exchange
  UploadWorker m_uploadWorker;

 protected:
  virtual void DoDataExchange(bool saveAndValidate);
  virtual bool OnInitDialog();

  void timerEvent(QTimerEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void accept() override;
  void reject() override;
  void done(int result) override;

 private:
  CTransferDlg(Prompter* prompter, QWidget* parent);
  void EnableItem(int id, bool enable);
  // False when the operator chose to stay because downloaded records have not been output.
  bool MayLeave();
  // What Upload sends: the selected road's buffer, or the data text when no road is selected.
  CString UploadText() const;
  // Tells why the port could not be opened in the Open port button's tooltip; None clears it.
  void ShowOpenFailure(PortFailure failure);
  // Asks a running upload worker to end and waits for it; it ends within one of its cycles.
  void StopUpload();

  // The status binding of the data exchange.
  void ExchangeStatus(bool saveAndValidate, DataBox& box);

  std::unique_ptr<Ui::CTransferDlg> m_ui;
  std::unique_ptr<Prompter> m_ownPrompter;
  Prompter* m_prompter = nullptr;
  std::array<QBasicTimer, 3> m_timers;  // by timer id; slot 0 unused
  std::array<QRadioButton*, 2> m_modeRadios{};
  QMenu* m_systemMenu = nullptr;
};

}  // namespace kestrion

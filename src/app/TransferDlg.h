// The main window: all of the tool's state, its controls and the commands on them.
#pragma once

#include <QBasicTimer>
#include <QDialog>
#include <QIcon>
#include <array>
#include <chrono>
#include <memory>
#include <optional>
#include <vector>

#include "app/Prompter.h"
#include "download/Reception.h"
#include "serial/SerialPort.h"
#include "text/Arrays.h"
#include "text/CString.h"
#include "transfer/TransferReport.h"
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
  // The status line is written at most this often.
  static constexpr std::chrono::milliseconds kStatusLinePeriod{100};

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

  Prompter& GetPrompter() { return *m_pPrompter; }
  // The window's system menu. The window manager owns the real one, so this is offered as the window's
  // context menu; its entries send their command value to OnSysCommand.
  QMenu* GetSystemMenu() const { return m_pSystemMenu; }

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
  // Writes the status line afresh from the transfer report, when its text changed; its own timer calls it.
  void RefreshStatusLine();

  // True while an upload worker runs; reception stays off the port meanwhile.
  bool UploadRunning() const { return m_hUploadWorker.Running(); }

  // The upload state that the worker shares, one locked operation at a time.
  CString GetStatus() const;
  void SetStatus(const CString& status);
  CStringArray GetUploadLines() const;
  void SetUploadLines(const CStringArray& lines);
  UploadProgress GetUploadProgress() const;
  // Downloaded records are in the data text and have not been written to a file; closing asks first.
  bool HasUnsavedDownload() const { return m_stReport.HasUnsavedDownload(); }

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
  // What the transfers did, for the status line, and whether downloaded records wait to be output.
  TransferReport m_stReport;
  // Download reception: what the polls know about the data text, so that a poll costs what it brings; and the
  // data box's revision after the last poll, by which an edit of the operator is noticed.
  Reception m_stReception;
  int m_nDataRevision = -1;
  // The upload. The upload lines (m_arrUploadLines), the status text (m_strStatus) and the worker's progress
  // live in m_stUpload, which the worker shares; every access from either thread holds its lock, one
  // operation at a time (the accessors above). The port has a lock of its own. The worker comes after the port
  // and the shared state, so that even without the destructor's stop it would end before them.
  UploadShared m_stUpload;
  CString m_strLastShownStatus;  // what the status box was last given, by the echo or by an exchange
  UploadWorker m_hUploadWorker;

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
  // False when the operator chose to stay because downloaded records have not been output.
  bool MayLeave();
  // The road selected in the road list, if any.
  std::optional<int> SelectedRoad() const;
  // Tells why the port could not be opened in the Open port button's tooltip; None clears it.
  void ShowOpenFailure(PortFailure failure);
  // Asks a running upload worker to end and waits for it; it ends within one of its cycles.
  void StopUpload();

  // The status binding of the data exchange.
  void ExchangeStatus(bool saveAndValidate, DataBox& box);

  std::unique_ptr<Ui::CTransferDlg> m_pUi;
  std::unique_ptr<Prompter> m_pOwnPrompter;
  Prompter* m_pPrompter = nullptr;
  std::array<QBasicTimer, 3> m_arrTimers;  // by timer id; slot 0 unused
  QBasicTimer m_hStatusLineTimer;
  std::array<QRadioButton*, 2> m_arrModeRadios{};
  QMenu* m_pSystemMenu = nullptr;
};

}  // namespace kestrion

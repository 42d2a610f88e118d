// The main window: all of the tool's state, its controls and the commands on them, without a toolkit.
#pragma once

#include <chrono>
#include <optional>
#include <vector>

#include "app/ControlTable.h"
#include "dialog/ByteTextBox.h"
#include "dialog/Controls.h"
#include "dialog/Dialog.h"
#include "download/Reception.h"
#include "serial/SerialPort.h"
#include "text/Arrays.h"
#include "text/CString.h"
#include "transfer/TransferReport.h"
#include "upload/UploadWorker.h"

namespace kestrion {

// Every field is public, as the transfer code of the window reads and writes them directly.
class CTransferDlg : public CDialog {
 public:
  // The window's two timers, and the status line's own.
  static constexpr int kStatusTimer = 1;
  static constexpr int kDownloadPollTimer = 2;
  static constexpr int kStatusLineTimer = 100;
  static constexpr std::chrono::milliseconds kTimerPeriod{50};
  // The status line is written at most this often.
  static constexpr std::chrono::milliseconds kStatusLinePeriod{100};

  // The system-menu entry that opens the About box.
  static constexpr unsigned kIdmAboutBox = 0x0010;

  // `prompter` answers every message box and chooser (it must outlive the window); without one, the host's.
  explicit CTransferDlg(Prompter* prompter = nullptr);
  explicit CTransferDlg(Prompter& prompter) : CTransferDlg(&prompter) {}
  ~CTransferDlg() override;

  // The entry points of the host.
  bool OnInitDialog() override;
  // The routing table: which command a control's notification runs.
  void OnCommand(int id, Notification code) override;
  void OnTimer(int id) override;
  // The About entry opens the About box; every other command is the host's.
  bool OnSysCommand(unsigned id) override;
  // Enter: takes the controls into the fields, then ends the window (after the unsaved-data question).
  void OnOK() override;
  // Esc and the close box: ends the window (after the unsaved-data question).
  void OnCancel() override;
  // The window goes: the upload ends and the port is closed.
  void OnDestroy() override;

  // Commands.
  void OnOpenPort();
  void OnClosePort();
  void OnOutput();
  void OnBrowse();
  void OnUpload();
  void OnClearData();
  void OnUploadMode();
  void OnDownloadMode();
  // The port list drops down: it is read afresh from the system.
  void OnPortDropDown();
  // The device of the open port vanished and what it brought was taken: the port is closed (the status echo
  // goes on), and the status line says why until the next open.
  void OnPortGone();

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

  // Entries of the combo boxes: a code page 936 entry shown through the display codec, and a port name (the
  // platform's bytes of a device name or path) shown as a file name.
  void AddComboEntry(CComboBox& combo, const CString& entry);
  void AddPortEntry(const std::string& portName);

  // The fields.
  int m_bPortOpen = 0;
  SerialPort m_hComm;
  // One buffer per road of the last loaded road file, however many it has: buffer i is road list entry i.
  std::vector<CString> m_strRoadData;
  CString m_strLastMarker;
  CString m_strOutputPath;  // platform bytes of a path, like m_strFilePath
  int m_hIcon = kIdrMainFrame;
  CString m_strData;
  CComboBox m_cbPort;
  CComboBox m_cbBaud;
  CComboBox m_cbDataBits;
  CComboBox m_cbParity;
  CString m_strPort;  // platform bytes of a port name
  CString m_strBaud;
  CString m_strDataBits;
  CString m_strParity;
  CString m_strFilePath;  // platform bytes of a path (UTF-8 on Linux), not code page 936 text
  CListBox m_lbRoads;
  int m_nMode = 1;
  // The two multi-line boxes, which show code page 936 bytes.
  CByteTextBox m_edData;
  CByteTextBox m_edStatus;
  // What the transfers did, for the status line, and whether downloaded records wait to be output.
  TransferReport m_stReport;
  // Download reception: what the polls know about the data text, so that a poll costs what it brings.
  Reception m_stReception;
  // The upload. The upload lines (m_arrUploadLines), the status text (m_strStatus) and the worker's progress
  // live in m_stUpload, which the worker shares; every access from either thread holds its lock, one
  // operation at a time (the accessors above). The port has a lock of its own. The worker comes after the port
  // and the shared state, so that even without the destructor's stop it would end before them.
  UploadShared m_stUpload;
  CString m_strLastShownStatus;  // what the status box was last given, by the echo or by an exchange
  UploadWorker m_hUploadWorker;

 protected:
  void DoDataExchange(CDataExchange& dx) override;

 private:
  // False when the operator chose to stay, asked because an upload is running or downloaded records have not been
  // output.
  bool MayLeave();
  // The road selected in the road list, if any.
  std::optional<int> SelectedRoad() const;
  // Tells why the port could not be opened in the Open port button's tooltip; None clears it.
  void ShowOpenFailure(PortFailure failure);
  // Asks a running upload worker to end and waits for it; it ends within one of its cycles.
  void StopUpload();
  // The status binding of the data exchange.
  void ExchangeStatus(bool saveAndValidate);

  // What the running download poll changed in the data text, for the exchange that shows it.
  std::optional<TextChange> m_stDataChange;
  bool m_bPortGone = false;
  std::u16string m_strShownStatusLine;
};

}  // namespace kestrion

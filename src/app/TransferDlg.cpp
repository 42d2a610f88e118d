#include "app/TransferDlg.h"

#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

#include "app/AboutDlg.h"
#include "app/Messages.h"
#include "app/PortList.h"
#include "app/StatusLine.h"
#include "dialog/Exchange.h"
#include "dialog/PathText.h"
#include "download/Output.h"
#include "serial/Connection.h"
#include "serial/PortNames.h"
#include "upload/UploadSource.h"

namespace kestrion {
namespace {

// The chooser's answer, made absolute.
std::filesystem::path Absolute(const std::filesystem::path& chosen) {
  std::error_code error;
  std::filesystem::path absolute = std::filesystem::absolute(chosen, error);
  return error ? chosen : absolute;
}

}  // namespace

CTransferDlg::CTransferDlg(Prompter* prompter) : CDialog(TransferDialogTemplate(), prompter) {}

CTransferDlg::~CTransferDlg() {
  StopUpload();
  OnClosePort();
}

void CTransferDlg::DoDataExchange(CDataExchange& dx) {
  DDX_Control(dx, kIdData, m_edData);
  DDX_Text(dx, m_edData, m_strData, m_stDataChange ? &*m_stDataChange : nullptr);
  DDX_Control(dx, kIdPort, m_cbPort);
  DDX_Control(dx, kIdBaud, m_cbBaud);
  DDX_Control(dx, kIdDataBits, m_cbDataBits);
  DDX_Control(dx, kIdParity, m_cbParity);
  DDX_CBString(dx, m_cbPort, m_strPort);
  DDX_CBString(dx, m_cbBaud, m_strBaud);
  DDX_CBString(dx, m_cbDataBits, m_strDataBits);
  DDX_CBString(dx, m_cbParity, m_strParity);
  DDX_PathText(dx, kIdFilePath, m_strFilePath);
  DDX_Control(dx, kIdRoads, m_lbRoads);
  DDX_Control(dx, kIdStatus, m_edStatus);
  ExchangeStatus(dx.m_bSaveAndValidate);
  DDX_Radio(dx, kModeGroup, m_nMode);
}

void CTransferDlg::ExchangeStatus(bool saveAndValidate) {
  if (saveAndValidate) {
    const bool edited = m_edStatus.IsEdited();
    const CString shown = m_edStatus.Bytes();
    std::lock_guard lock(m_stUpload.lock);
    // Unless the operator edited it, the box shows an earlier state of the status text, which only grows
    // while a worker runs; taking it would drop what the worker added since the last echo.
    if (edited || !m_stUpload.status.Bytes().starts_with(shown.Bytes())) m_stUpload.status = shown;
    return;
  }
  CString status;
  {
    std::lock_guard lock(m_stUpload.lock);
    status = m_stUpload.status;
  }
  m_edStatus.SetBytes(status);
  // The echo compares with what the box shows, so that an emptied status shown here is not taken for the one
  // that an earlier upload left in the box.
  m_strLastShownStatus = std::move(status);
}

void CTransferDlg::AddComboEntry(CComboBox& combo, const CString& entry) {
  combo.AddString(entry, Codec().Decode(entry.View()));
}

void CTransferDlg::AddPortEntry(const std::string& portName) {
  m_cbPort.AddString(CString(portName), NameText(CString(portName)));
}

bool CTransferDlg::OnInitDialog() {
  CDialog::OnInitDialog();

  // The system menu gets a separator and the About entry, unless the entry's text is empty.
  if (!messages::kAboutMenuEntry.empty()) {
    View().AppendSystemMenu(0, {});
    View().AppendSystemMenu(kIdmAboutBox, messages::kAboutMenuEntry);
  }

  // One icon carries both the big and the small image.
  View().SetIcon(m_hIcon);

  View().EnableWindow(kIdOpenPort, true);
  View().EnableWindow(kIdClosePort, false);

  for (const std::string& name : ListPortNames()) AddPortEntry(name);
  m_cbPort.SetCurSel(0);
  for (const char* baud : {"4800", "9600", "19200", "38400"}) AddComboEntry(m_cbBaud, baud);
  m_cbBaud.SetCurSel(2);
  for (const char* bits : {"7", "8"}) AddComboEntry(m_cbDataBits, bits);
  m_cbDataBits.SetCurSel(1);
  // The index of a parity entry is its parity code.
  for (const std::u16string_view parity : messages::kParityEntries) AddComboEntry(m_cbParity, Codec().Encode(parity));
  m_cbParity.SetCurSel(0);

  OnDownloadMode();

  // Screen readers read the line's own text only while it has no accessible name of its own.
  View().SetDescription(kIdStatusLine, messages::kStatusLineDescription);
  RefreshStatusLine();
  SetTimer(kStatusLineTimer, kStatusLinePeriod);
  return true;
}

void CTransferDlg::OnCommand(int id, Notification code) {
  if (code == Notification::DropDown) {
    if (id == kIdPort) OnPortDropDown();
    return;
  }
  if (code != Notification::Clicked) return;
  switch (id) {
    case kIdOpenPort:
      OnOpenPort();
      break;
    case kIdClosePort:
      OnClosePort();
      break;
    case kIdOutput:
      OnOutput();
      break;
    case kIdBrowse:
      OnBrowse();
      break;
    case kIdUpload:
      OnUpload();
      break;
    case kIdClearData:
      OnClearData();
      break;
    case kIdUploadMode:
      OnUploadMode();
      break;
    case kIdDownloadMode:
      OnDownloadMode();
      break;
    default:
      CDialog::OnCommand(id, code);
      break;
  }
}

void CTransferDlg::OnTimer(int id) {
  // A tick whose mode is not in force does nothing.
  if (id == kStatusTimer && m_nMode == 0) {
    StatusEcho();
  } else if (id == kDownloadPollTimer && m_nMode == 1) {
    // Reception does not read while an upload worker runs (after a switch to download mode in the middle of
    // an upload): the worker stays the port's only reader, so neither takes the other's bytes and the
    // worker's status text never lands in the data text. Reception relies on this rule, which lives here.
    if (!m_hUploadWorker.Running()) DownloadPoll();
  } else if (id == kStatusLineTimer) {
    // A device that vanished (a USB adapter pulled) leaves the window as for a closed port, within a tick, once
    // the poll or the upload worker has taken what reached the port before it went.
    if (m_bPortOpen != 0 && m_hComm.DeviceGone() && m_hComm.BytesWaiting().value_or(0) == 0) OnPortGone();
    RefreshStatusLine();
  }
}

void CTransferDlg::OnPortGone() {
  // As Close port, but the status echo goes on: what the worker took last is still to be shown.
  const bool echoing = IsTimerRunning(kStatusTimer);
  OnClosePort();
  if (echoing) SetTimer(kStatusTimer, kTimerPeriod);
  m_bPortGone = true;
}

void CTransferDlg::StatusEcho() {
  if (m_nMode != 0) return;
  const LineErrorCounts errors = m_hComm.LineErrors();
  if (m_bPortOpen != 0) m_stReport.LinePolled(errors);
  CString status;
  {
    std::lock_guard lock(m_stUpload.lock);
    if (m_stUpload.status == m_strLastShownStatus) return;
    status = m_stUpload.status;
  }
  m_edStatus.SetBytes(status);
  // What the instrument sends while an upload waits is judged like a download: a wrong rate warns instead of
  // leaving the upload waiting for a start word that never decodes.
  if (m_bPortOpen != 0) m_stReport.UploadStatusSeen(status.View(), errors);
  m_strLastShownStatus = std::move(status);
}

// The end of a download is reported once for each "Finish" that arrives, not again at every later poll while
// the text still holds it (Reception keeps count), so a record holding the word ends a download only once.
void CTransferDlg::DownloadPoll() {
  // Idle polls count too: errors of a line that was quiet (the instrument switched on, the cable plugged in) are
  // not the next download's.
  if (m_bPortOpen != 0) m_stReport.LinePolled(m_hComm.LineErrors());
  const std::optional<std::size_t> waiting = m_hComm.BytesWaiting();
  if (!waiting || *waiting == 0) return;

  // What the operator typed becomes part of the data text below, and what reception knew about the text is
  // then stale. (A text that another command took in and showed again is no longer the one reception left,
  // which it sees for itself.)
  if (m_edData.IsEdited()) m_stReception.Restart();
  UpdateData(true);

  const ChunkRead read = ReadChunk(m_hComm);
  const std::uint64_t before = m_strData.ContentId();
  const ReceptionStep step = m_stReception.Step(m_strData, m_strLastMarker, read.chunk);
  m_stReport.ReadArrived(read, step, m_hComm.LineErrors());
  // The box is shown what changed, without looking for it through the whole text.
  m_stDataChange = TextChange{before, m_strData.ContentId(), step.changedFrom};
  UpdateData(false);
  m_stDataChange.reset();
  if (!step.finished) return;

  KillTimer(kDownloadPollTimer);
  UpdateData(false);
  GetPrompter().MessageBox(messages::kDownloadComplete, Prompter::Icon::Information);
  SetTimer(kDownloadPollTimer, kTimerPeriod);
}

void CTransferDlg::RefreshStatusLine() {
  const UploadFigures upload = FiguresOf(GetUploadProgress(), ReportClock::now());
  std::optional<LineHealth> health;
  PortState port;
  port.gone = m_bPortGone;
  if (m_bPortOpen != 0) {
    health = m_stReport.Health(m_hComm.LineErrors());
    if (UploadRunning()) port.held = m_hComm.OutputHeldBy();
  }
  std::u16string text = StatusLineText(m_stReport, upload, health, port);
  if (text == m_strShownStatusLine) return;
  View().SetText(kIdStatusLine, text);
  View().SetToolTip(kIdStatusLine, text);  // the whole text, where the line is too narrow for it
  m_strShownStatusLine = std::move(text);
}

CString CTransferDlg::GetStatus() const {
  std::lock_guard lock(m_stUpload.lock);
  return m_stUpload.status;
}

void CTransferDlg::SetStatus(const CString& status) {
  std::lock_guard lock(m_stUpload.lock);
  m_stUpload.status = status;
}

CStringArray CTransferDlg::GetUploadLines() const {
  std::lock_guard lock(m_stUpload.lock);
  return m_stUpload.uploadLines;
}

void CTransferDlg::SetUploadLines(const CStringArray& lines) {
  std::lock_guard lock(m_stUpload.lock);
  m_stUpload.uploadLines = lines;
}

UploadProgress CTransferDlg::GetUploadProgress() const {
  std::lock_guard lock(m_stUpload.lock);
  return m_stUpload.progress;
}

bool CTransferDlg::OnSysCommand(unsigned id) {
  // The low four bits of a system command are the system's own.
  if ((id & 0xFFF0) != kIdmAboutBox) return false;
  CAboutDlg about;
  GetPrompter().RunModal(about);
  return true;
}

void CTransferDlg::OnOpenPort() {
  UpdateData(true);
  if (m_bPortOpen != 0) return;
  const std::optional<LineSettings> settings =
      SettingsFromFields(m_strBaud, m_strDataBits, m_cbParity.GetCurSel());
  const PortResult opened = OpenConnection(m_hComm, m_strPort.Bytes(), settings);
  ShowOpenFailure(opened.failure);
  if (!opened) {
    m_bPortOpen = 0;
    return;
  }
  m_stReport.ConnectionOpened(*settings);
  m_bPortOpen = 1;
  m_bPortGone = false;
  View().EnableWindow(kIdOpenPort, false);
  View().EnableWindow(kIdClosePort, true);
  SetTimer(kStatusTimer, kTimerPeriod);
}

void CTransferDlg::ShowOpenFailure(PortFailure failure) {
  // A failed open stays silent; the reason waits on the button for whoever looks, until the next open.
  View().SetToolTip(kIdOpenPort, messages::PortFailureText(failure));
}

void CTransferDlg::OnClosePort() {
  if (m_bPortOpen == 0) return;
  m_hComm.Close();
  m_bPortOpen = 0;
  m_stReport.ConnectionClosed();
  View().EnableWindow(kIdOpenPort, true);
  View().EnableWindow(kIdClosePort, false);
  KillTimer(kStatusTimer);
}

void CTransferDlg::OnDestroy() {
  // The modal run is over: the window is gone as far as the worker and the port are concerned.
  StopUpload();
  OnClosePort();
}

void CTransferDlg::OnPortDropDown() {
  PortList shown;
  for (int i = 0; i < m_cbPort.GetCount(); ++i) shown.entries.push_back(m_cbPort.GetItemBytes(i).Bytes());
  shown.selected = m_cbPort.GetCurSel();
  std::optional<std::string> selected;
  if (shown.selected >= 0) selected = shown.entries[static_cast<std::size_t>(shown.selected)];

  const PortList fresh = RefreshedPortList(ListPortNames(), selected);
  if (fresh == shown) return;
  // The same port stays selected.
  m_cbPort.ResetContent();
  for (const std::string& name : fresh.entries) AddPortEntry(name);
  m_cbPort.SetCurSel(fresh.selected);
}

void CTransferDlg::OnBrowse() {
  const std::optional<std::filesystem::path> chosen = GetPrompter().ChooseOpenFile(messages::kFileFilters);
  if (!chosen) return;
  const std::filesystem::path file = Absolute(*chosen);
  // Refused before anything is given up for it: the data text and the roads stay as they are.
  if (TooBigForText(file)) {
    GetPrompter().MessageBox(FormatText(messages::kFileTooBig, {PathText(file)}), Prompter::Icon::Stop);
    return;
  }
  UpdateData(true);

  m_strData.Empty();
  m_strFilePath = PathBytes(file);
  m_lbRoads.ResetContent();
  m_stReception.Restart();

  UploadSource source;
  const LoadResult loaded = LoadUploadSource(file, source);
  m_strData = std::move(source.data);
  // Road names are code page 936 bytes like the data; entry i and buffer i always stand for the same road.
  for (const CString& name : source.roadNames) m_lbRoads.AddString(Codec().Decode(name.View()));
  m_strRoadData = std::move(source.roadData);
  if (loaded.readError || loaded.tooBig) {
    // The load ends here; the fields keep what was read, and the window shows what it showed before.
    const std::u16string_view message = loaded.tooBig ? messages::kFileTooBig : messages::kFileReadError;
    GetPrompter().MessageBox(FormatText(message, {PathText(file)}), Prompter::Icon::Stop);
    // The window still shows the download, which is no less unsaved: closing asks first.
    return;
  }

  m_stReport.DataReplaced();  // a download still in the data text is given up for the file
  UpdateData(false);
  if (m_lbRoads.GetCount() > 0) {
    View().SetFocus(kIdRoads);
    m_lbRoads.SetCurSel(0);
  }
}

void CTransferDlg::OnUpload() {
  if (m_bPortOpen == 0) {
    GetPrompter().MessageBox(messages::kPortNotOpen, Prompter::Icon::Exclamation);
    return;
  }
  // One worker at a time answers the instrument, and the lines are never rebuilt under a running one: an
  // earlier upload ends here, within one of its cycles, before anything of this one is set up. Its status
  // text is emptied only after it has stopped adding to it.
  StopUpload();
  {
    std::lock_guard lock(m_stUpload.lock);
    m_stUpload.status.Empty();
  }
  UpdateData(false);
  const CString text = TextToUpload(SelectedRoad(), m_strRoadData, m_strData);
  {
    std::lock_guard lock(m_stUpload.lock);
    PrepareUploadLines(text, m_stUpload.uploadLines);
  }
  m_stReport.UploadStarted();
  // The worker waits for the instrument's bytes up to one poll period instead of sleeping the period out, so
  // a request is answered as soon as it arrives; with nothing arriving it still polls once a period. A thread
  // that cannot be started leaves nothing running, as an instrument that never asks does.
  m_hUploadWorker.Start(m_hComm, m_stUpload);
}

std::optional<int> CTransferDlg::SelectedRoad() const {
  const int selected = m_lbRoads.GetCurSel();
  if (selected < 0) return std::nullopt;
  return selected;
}

void CTransferDlg::StopUpload() {
  m_hUploadWorker.RequestStop();
  m_hUploadWorker.Join();
}

void CTransferDlg::OnOutput() {
  UpdateData(true);
  if (m_strData.IsEmpty()) {
    GetPrompter().MessageBox(messages::kNoDataToOutput, Prompter::Icon::Exclamation);
    return;
  }
  const std::optional<std::filesystem::path> chosen = GetPrompter().ChooseOpenFile(messages::kFileFilters, true);
  if (!chosen) return;

  // Polls go on while the chooser is open, so the data text is taken as it stands now.
  const WriteResult written = OutputData(m_strData, m_strLastMarker, Absolute(*chosen));
  m_stReception.Restart();  // the closing text was cut off the data text
  m_strOutputPath = PathBytes(written.path);
  m_stReport.OutputWritten(written);
  if (!written) {
    GetPrompter().MessageBox(messages::OutputFailureText(written), Prompter::Icon::Stop);
    return;
  }
  UpdateData(false);
  GetPrompter().MessageBox(messages::kDataOutput, Prompter::Icon::Information);
}

void CTransferDlg::OnClearData() {
  m_strData.Empty();
  m_lbRoads.ResetContent();
  UpdateData(false);
  m_stReport.DataReplaced();
}

void CTransferDlg::OnUploadMode() {
  m_nMode = 0;
  View().EnableWindow(kIdUpload, true);
  KillTimer(kDownloadPollTimer);
  SetTimer(kStatusTimer, kTimerPeriod);
}

void CTransferDlg::OnDownloadMode() {
  // An upload still running would read the instrument's download into the status text, and reception waits for
  // it; choosing download mode is the operator's word that the upload is over, so it ends at its next cycle.
  StopUpload();
  m_nMode = 1;
  View().EnableWindow(kIdUpload, false);
  KillTimer(kStatusTimer);
  SetTimer(kDownloadPollTimer, kTimerPeriod);
}

void CTransferDlg::OnOK() {
  UpdateData(true);
  if (!MayLeave()) return;
  EndDialog(kIdOk);
}

void CTransferDlg::OnCancel() {
  if (!MayLeave()) return;
  EndDialog(kIdCancel);
}

bool CTransferDlg::MayLeave() {
  // One question: a running upload matters first, since leaving cuts it off in the middle of a road.
  std::u16string_view question;
  if (UploadRunning()) {
    question = messages::kUploadRunning;
  } else if (HasUnsavedDownload() && !m_edData.IsEmpty()) {
    question = messages::kUnsavedDownload;
  } else {
    return true;
  }
  return GetPrompter().MessageBox(question, Prompter::Icon::Question, Prompter::Buttons::YesNo) ==
         Prompter::Answer::Yes;
}

}  // namespace kestrion

#include "app/TransferDlg.h"

#include <QAction>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTimerEvent>
#include <filesystem>
#include <optional>
#include <string>

#include "app/AboutDlg.h"
#include "app/AppIcon.h"
#include "app/ControlExchange.h"
#include "app/DataBox.h"
#include "app/DialogUnits.h"
#include "app/DisplayCodec.h"
#include "app/Messages.h"
#include "app/PathText.h"
#include "app/StatusLine.h"
#include "download/Output.h"
#include "serial/Connection.h"
#include "serial/PortNames.h"
#include "ui_TransferDlg.h"
#include "upload/UploadSource.h"

namespace kestrion {
namespace {

CString ShownToBytes(QStringView text) {
  return CString(DisplayCodec::Instance().Encode(text));
}

}  // namespace

CTransferDlg::CTransferDlg(QWidget* parent) : CTransferDlg(nullptr, parent) {}

CTransferDlg::CTransferDlg(Prompter& prompter, QWidget* parent) : CTransferDlg(&prompter, parent) {}

CTransferDlg::CTransferDlg(Prompter* prompter, QWidget* parent)
    : QDialog(parent), m_pUi(std::make_unique<Ui::CTransferDlg>()), m_pPrompter(prompter) {
  if (m_pPrompter == nullptr) {
    m_pOwnPrompter = std::make_unique<WidgetPrompter>(this);
    m_pPrompter = m_pOwnPrompter.get();
  }
  m_hIcon = ApplicationIcon();

  m_pUi->setupUi(this);
  // A fixed dialog frame: title bar, system menu and close box, no minimise or maximise box.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);
  PlaceByDialogUnits(*this);
  m_arrModeRadios = {m_pUi->IDC_1013, m_pUi->IDC_1018};

  connect(m_pUi->IDC_1008, &QPushButton::clicked, this, &CTransferDlg::OnOpenPort);
  connect(m_pUi->IDC_1009, &QPushButton::clicked, this, &CTransferDlg::OnClosePort);
  connect(m_pUi->IDC_1011, &QPushButton::clicked, this, &CTransferDlg::OnOutput);
  connect(m_pUi->IDC_1002, &QPushButton::clicked, this, &CTransferDlg::OnBrowse);
  connect(m_pUi->IDC_1012, &QPushButton::clicked, this, &CTransferDlg::OnUpload);
  connect(m_pUi->IDC_1016, &QPushButton::clicked, this, &CTransferDlg::OnClearData);
  connect(m_pUi->IDC_1013, &QRadioButton::clicked, this, &CTransferDlg::OnUploadMode);
  connect(m_pUi->IDC_1018, &QRadioButton::clicked, this, &CTransferDlg::OnDownloadMode);

  // Screen readers read a label's own text only while it has no accessible name of its own.
  m_pUi->statusLine->setAccessibleDescription(messages::kStatusLineDescription.toString());

  // The window exists from here on, so it is initialised here rather than when it is first shown.
  OnInitDialog();
  RefreshStatusLine();
  m_hStatusLineTimer.start(static_cast<int>(kStatusLinePeriod.count()), this);
}

CTransferDlg::~CTransferDlg() {
  StopUpload();
  KillTimer(kStatusTimer);
  KillTimer(kDownloadPollTimer);
  OnDestroy();
}

int CTransferDlg::DoModal() {
  return exec();
}

QWidget* CTransferDlg::GetDlgItem(int id) const {
  return findChild<QWidget*>(QStringLiteral("IDC_%1").arg(id), Qt::FindDirectChildrenOnly);
}

bool CTransferDlg::UpdateData(bool saveAndValidate) {
  DoDataExchange(saveAndValidate);
  return true;
}

void CTransferDlg::DoDataExchange(bool saveAndValidate) {
  Ui::CTransferDlg& ui = *m_pUi;
  ExchangeText(saveAndValidate, *ui.IDC_1000, m_strData);
  // The control members are attached by the first exchange and stay attached.
  if (m_cbPort == nullptr) m_cbPort = ui.IDC_1004;
  if (m_cbBaud == nullptr) m_cbBaud = ui.IDC_1005;
  if (m_cbDataBits == nullptr) m_cbDataBits = ui.IDC_1006;
  if (m_cbParity == nullptr) m_cbParity = ui.IDC_1007;
  ExchangeComboText(saveAndValidate, *ui.IDC_1004, m_strPort);
  ExchangeComboText(saveAndValidate, *ui.IDC_1005, m_strBaud);
  ExchangeComboText(saveAndValidate, *ui.IDC_1006, m_strDataBits);
  ExchangeComboText(saveAndValidate, *ui.IDC_1007, m_strParity);
  ExchangePath(saveAndValidate, *ui.IDC_1010, m_strFilePath);
  if (m_lbRoads == nullptr) m_lbRoads = ui.IDC_1015;
  ExchangeStatus(saveAndValidate, *ui.IDC_1014);
  ExchangeRadio(saveAndValidate, m_arrModeRadios.data(), static_cast<int>(m_arrModeRadios.size()), m_nMode);
}

void CTransferDlg::ExchangeStatus(bool saveAndValidate, DataBox& box) {
  if (saveAndValidate) {
    const bool edited = box.IsEdited();
    const CString shown = box.Bytes();
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
  ExchangeText(false, box, status);
  // The echo compares with what the box shows, so that an emptied status shown here is not taken for the one
  // that an earlier upload left in the box.
  m_strLastShownStatus = std::move(status);
}

bool CTransferDlg::OnInitDialog() {
  UpdateData(false);

  // The system menu gets a separator and the About entry, unless the entry's text is empty.
  m_pSystemMenu = new QMenu(this);
  const QString aboutEntry = messages::kAboutMenuEntry.toString();
  if (!aboutEntry.isEmpty()) {
    m_pSystemMenu->addSeparator();
    QAction* about = m_pSystemMenu->addAction(aboutEntry);
    about->setData(kIdmAboutBox);
    connect(about, &QAction::triggered, this, [this] { OnSysCommand(kIdmAboutBox); });
  }

  // One icon carries both the big and the small image.
  setWindowIcon(m_hIcon);

  m_pUi->IDC_1008->setEnabled(true);
  m_pUi->IDC_1009->setEnabled(false);

  for (const std::string& name : ListPortNames()) AddPortEntry(*m_cbPort, name);
  m_cbPort->setCurrentIndex(0);
  for (const char* baud : {"4800", "9600", "19200", "38400"}) AddComboEntry(*m_cbBaud, baud);
  m_cbBaud->setCurrentIndex(2);
  for (const char* bits : {"7", "8"}) AddComboEntry(*m_cbDataBits, bits);
  m_cbDataBits->setCurrentIndex(1);
  // The index of a parity entry is its parity code.
  for (const QStringView parity : messages::kParityEntries) AddComboEntry(*m_cbParity, ShownToBytes(parity));
  m_cbParity->setCurrentIndex(0);

  OnDownloadMode();
  return true;
}

void CTransferDlg::SetTimer(int id, std::chrono::milliseconds period) {
  if (id <= 0 || id >= static_cast<int>(m_arrTimers.size())) return;
  m_arrTimers[static_cast<std::size_t>(id)].start(static_cast<int>(period.count()), this);
}

void CTransferDlg::KillTimer(int id) {
  if (id <= 0 || id >= static_cast<int>(m_arrTimers.size())) return;
  m_arrTimers[static_cast<std::size_t>(id)].stop();
}

bool CTransferDlg::IsTimerRunning(int id) const {
  if (id <= 0 || id >= static_cast<int>(m_arrTimers.size())) return false;
  return m_arrTimers[static_cast<std::size_t>(id)].isActive();
}

void CTransferDlg::timerEvent(QTimerEvent* event) {
  if (event->timerId() == m_hStatusLineTimer.timerId()) {
    RefreshStatusLine();
    return;
  }
  for (std::size_t id = 1; id < m_arrTimers.size(); ++id) {
    if (m_arrTimers[id].isActive() && m_arrTimers[id].timerId() == event->timerId()) {
      OnTimer(static_cast<int>(id));
      break;
    }
  }
  QDialog::timerEvent(event);
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
  }
}

void CTransferDlg::StatusEcho() {
  if (m_nMode != 0) return;
  CString status;
  {
    std::lock_guard lock(m_stUpload.lock);
    if (m_stUpload.status == m_strLastShownStatus) return;
    status = m_stUpload.status;
  }
  m_pUi->IDC_1014->SetBytes(status);
  m_strLastShownStatus = std::move(status);
}

// The end of a download is reported once for each "Finish" that arrives, not again at every later poll while
// the text still holds it (Reception keeps count), so a record holding the word ends a download only once.
void CTransferDlg::DownloadPoll() {
  const std::optional<std::size_t> waiting = m_hComm.BytesWaiting();
  if (!waiting || *waiting == 0) return;

  // What the operator typed becomes part of the data text below, and what reception knew about the text is
  // then stale. The revision also catches an edit that another command took in and showed again meanwhile.
  DataBox& box = *m_pUi->IDC_1000;
  if (box.IsEdited() || box.document()->revision() != m_nDataRevision) m_stReception.Restart();
  UpdateData(true);

  const ChunkRead read = ReadChunk(m_hComm);
  const ReceptionStep step = m_stReception.Step(m_strData, m_strLastMarker, read.chunk);
  m_stReport.ReadArrived(read, step, m_hComm.LineErrors());
  UpdateData(false);
  m_nDataRevision = box.document()->revision();
  if (!step.finished) return;

  KillTimer(kDownloadPollTimer);
  UpdateData(false);
  m_pPrompter->MessageBox(messages::kDownloadComplete.toString(), Prompter::Icon::Information);
  SetTimer(kDownloadPollTimer, kTimerPeriod);
}

void CTransferDlg::RefreshStatusLine() {
  const UploadFigures upload = FiguresOf(GetUploadProgress(), ReportClock::now());
  std::optional<LineHealth> health;
  if (m_bPortOpen != 0) health = m_stReport.Health(m_hComm.LineErrors());
  const QString text = StatusLineText(m_stReport, upload, health);
  QLabel& line = *m_pUi->statusLine;
  if (line.text() == text) return;
  line.setText(text);
  line.setToolTip(text);  // the whole text, where the line is too narrow for it
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

void CTransferDlg::OnSysCommand(unsigned id) {
  // The low four bits of a system command are the system's own.
  switch (id & 0xFFF0) {
    case kIdmAboutBox: {
      CAboutDlg about(this);
      m_pPrompter->RunModal(about);
      break;
    }
    case kScClose:
      close();
      break;
    case kScMinimize:
      showMinimized();
      break;
    default:
      // Moving and sizing belong to the window manager.
      break;
  }
}

void CTransferDlg::contextMenuEvent(QContextMenuEvent* event) {
  if (m_pSystemMenu != nullptr && !m_pSystemMenu->isEmpty()) {
    m_pSystemMenu->exec(event->globalPos());
    event->accept();
    return;
  }
  QDialog::contextMenuEvent(event);
}

void CTransferDlg::OnOpenPort() {
  UpdateData(true);
  if (m_bPortOpen != 0) return;
  const std::optional<LineSettings> settings =
      SettingsFromFields(m_strBaud, m_strDataBits, m_cbParity->currentIndex());
  const PortResult opened = OpenConnection(m_hComm, m_strPort.Bytes(), settings);
  ShowOpenFailure(opened.failure);
  if (!opened) {
    m_bPortOpen = 0;
    return;
  }
  m_stReport.ConnectionOpened(*settings);
  m_bPortOpen = 1;
  m_pUi->IDC_1008->setEnabled(false);
  m_pUi->IDC_1009->setEnabled(true);
  SetTimer(kStatusTimer, kTimerPeriod);
}

void CTransferDlg::ShowOpenFailure(PortFailure failure) {
  // A failed open stays silent; the reason waits on the button for whoever looks, until the next open.
  m_pUi->IDC_1008->setToolTip(messages::PortFailureText(failure).toString());
}

void CTransferDlg::OnClosePort() {
  if (m_bPortOpen == 0) return;
  m_hComm.Close();
  m_bPortOpen = 0;
  m_stReport.ConnectionClosed();
  m_pUi->IDC_1008->setEnabled(true);
  m_pUi->IDC_1009->setEnabled(false);
  KillTimer(kStatusTimer);
}

void CTransferDlg::OnDestroy() {
  OnClosePort();
}

void CTransferDlg::OnBrowse() {
  const std::optional<QString> chosen = m_pPrompter->ChooseOpenFile(messages::kFileFilters);
  if (!chosen) return;
  const std::filesystem::path file = PathOfChosen(*chosen);
  // Refused before anything is given up for it: the data text and the roads stay as they are.
  if (TooBigForText(file)) {
    m_pPrompter->MessageBox(messages::kFileTooBig.toString().arg(PathText(file)), Prompter::Icon::Stop);
    return;
  }
  UpdateData(true);

  m_strData.Empty();
  m_stReport.DataReplaced();  // a download still in the data text is given up for the file
  m_strFilePath = PathBytes(file);
  m_lbRoads->clear();
  m_stReception.Restart();

  UploadSource source;
  const LoadResult loaded = LoadUploadSource(file, source);
  m_strData = std::move(source.data);
  // Road names are code page 936 bytes like the data; entry i and buffer i always stand for the same road.
  for (const CString& name : source.roadNames)
    m_lbRoads->addItem(DisplayCodec::Instance().Decode(name.View()));
  m_strRoadData = std::move(source.roadData);
  if (loaded.readError || loaded.tooBig) {
    // The load ends here; the fields keep what was read, and the window shows what it showed before.
    const QStringView message = loaded.tooBig ? messages::kFileTooBig : messages::kFileReadError;
    m_pPrompter->MessageBox(message.toString().arg(PathText(file)), Prompter::Icon::Stop);
    return;
  }

  UpdateData(false);
  if (m_lbRoads->count() > 0) {
    m_lbRoads->setFocus();
    m_lbRoads->setCurrentRow(0);
  }
}

void CTransferDlg::OnUpload() {
  if (m_bPortOpen == 0) {
    m_pPrompter->MessageBox(messages::kPortNotOpen.toString(), Prompter::Icon::Exclamation);
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
  const QList<QListWidgetItem*> selected = m_lbRoads->selectedItems();
  if (selected.isEmpty()) return std::nullopt;
  return m_lbRoads->row(selected.front());
}

void CTransferDlg::StopUpload() {
  m_hUploadWorker.RequestStop();
  m_hUploadWorker.Join();
}

void CTransferDlg::OnOutput() {
  UpdateData(true);
  if (m_strData.IsEmpty()) {
    m_pPrompter->MessageBox(messages::kNoDataToOutput.toString(), Prompter::Icon::Exclamation);
    return;
  }
  const std::optional<QString> chosen = m_pPrompter->ChooseOpenFile(messages::kFileFilters, true);
  if (!chosen) return;

  // Polls go on while the chooser is open, so the data text is taken as it stands now.
  const WriteResult written = OutputData(m_strData, m_strLastMarker, PathOfChosen(*chosen));
  m_stReception.Restart();  // the closing text was cut off the data text
  m_strOutputPath = PathBytes(written.path);
  m_stReport.OutputWritten(written);
  if (!written) {
    m_pPrompter->MessageBox(messages::OutputFailureText(written), Prompter::Icon::Stop);
    return;
  }
  UpdateData(false);
  m_pPrompter->MessageBox(messages::kDataOutput.toString(), Prompter::Icon::Information);
}

void CTransferDlg::OnClearData() {
  m_strData.Empty();
  m_lbRoads->clear();
  UpdateData(false);
  m_stReport.DataReplaced();
}

void CTransferDlg::OnUploadMode() {
  m_nMode = 0;
  m_pUi->IDC_1012->setEnabled(true);
  KillTimer(kDownloadPollTimer);
  SetTimer(kStatusTimer, kTimerPeriod);
}

void CTransferDlg::OnDownloadMode() {
  // An upload still running would read the instrument's download into the status text, and reception waits for
  // it; choosing download mode is the operator's word that the upload is over, so it ends at its next cycle.
  StopUpload();
  m_nMode = 1;
  m_pUi->IDC_1012->setEnabled(false);
  KillTimer(kStatusTimer);
  SetTimer(kDownloadPollTimer, kTimerPeriod);
}

void CTransferDlg::OnOK() {
  UpdateData(true);
  if (!MayLeave()) return;
  QDialog::accept();
}

void CTransferDlg::OnCancel() {
  if (!MayLeave()) return;
  QDialog::reject();
}

void CTransferDlg::accept() {
  OnOK();
}

void CTransferDlg::reject() {
  OnCancel();
}

void CTransferDlg::done(int result) {
  QDialog::done(result);
  // The modal run is over: the window is gone as far as the worker and the port are concerned.
  StopUpload();
  OnDestroy();
}

bool CTransferDlg::MayLeave() {
  if (!HasUnsavedDownload() || m_pUi->IDC_1000->document()->isEmpty()) return true;
  return m_pPrompter->MessageBox(messages::kUnsavedDownload.toString(), Prompter::Icon::Question,
                                Prompter::Buttons::YesNo) == Prompter::Answer::Yes;
}

void CTransferDlg::keyPressEvent(QKeyEvent* event) {
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  const bool plain = event->modifiers() == Qt::NoModifier ||
                     (event->modifiers() == Qt::KeypadModifier && event->key() == Qt::Key_Enter);
  if (enter && plain) {
    // The multi-line boxes keep Enter for themselves; here it reaches the window from anywhere else.
    if (auto* button = qobject_cast<QPushButton*>(focusWidget())) {
      if (button->isEnabled()) button->click();
    } else {
      OnOK();
    }
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

}  // namespace kestrion

// The main window: its controls as the template lays them out, start-up, data exchange, modes and timers,
// system commands, keys, and leaving.
#include <gtest/gtest.h>

#include <QButtonGroup>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <string>
#include <vector>

#include "ScriptedPrompter.h"
#include "WindowDriving.h"
#include "app/ControlExchange.h"
#include "app/DataBox.h"
#include "app/DialogUnits.h"
#include "app/TransferDlg.h"
#include "common/TestNames.h"

namespace kestrion {
namespace {

using testing_support::ScriptedPrompter;

// GBK bytes of the parity entries and of a road name.
const std::string kNone = "\xCE\xDE";
const std::string kOdd = "\xC6\xE6\xBC\xEC\xD1\xE9";
const std::string kEven = "\xC5\xBC\xBC\xEC\xD1\xE9";

template <typename T>
T* Item(const CTransferDlg& dlg, int id) {
  return qobject_cast<T*>(dlg.GetDlgItem(id));
}

DataBox& DataBoxOf(const CTransferDlg& dlg) {
  return *Item<DataBox>(dlg, CTransferDlg::kIdData);
}

std::vector<std::string> Entries(const QComboBox& combo) {
  std::vector<std::string> entries;
  entries.reserve(static_cast<std::size_t>(combo.count()));
  for (int i = 0; i < combo.count(); ++i) entries.push_back(ComboEntry(combo, i).Bytes());
  return entries;
}

class TransferDlgTest : public testing::Test {
 protected:
  ScriptedPrompter prompter;
  CTransferDlg dlg{prompter};
};

// ---- the control table

struct ControlRow {
  const char* name;
  int id;  // 0: found by object name
  const char* objectName;
  const char* className;
  std::u16string caption;
  QRect dialogUnits;
};

class TransferDlgControls : public testing::TestWithParam<ControlRow> {
 protected:
  ScriptedPrompter prompter;
  CTransferDlg dlg{prompter};
};

TEST_P(TransferDlgControls, SitWhereTheTemplatePutsThem) {
  const ControlRow& row = GetParam();
  QWidget* control =
      row.id != 0 ? dlg.GetDlgItem(row.id) : dlg.findChild<QWidget*>(QString::fromLatin1(row.objectName));
  ASSERT_NE(control, nullptr);
  EXPECT_TRUE(control->inherits(row.className)) << control->metaObject()->className();
  const QString caption = QString::fromStdU16String(row.caption);
  QString shown;
  if (auto* button = qobject_cast<QAbstractButton*>(control)) shown = button->text();
  if (auto* label = qobject_cast<QLabel*>(control)) shown = label->text();
  if (auto* group = qobject_cast<QGroupBox*>(control)) shown = group->title();
  EXPECT_EQ(shown, caption);

  const QRect expected = DialogUnitsToPixels(row.dialogUnits, BaseUnitsOf(dlg.font()));
  EXPECT_EQ(control->pos(), expected.topLeft());
  EXPECT_EQ(control->width(), expected.width());
  if (qobject_cast<QComboBox*>(control) != nullptr) {
    EXPECT_LT(control->height(), expected.height());  // the rest is the dropped-down list
  } else {
    EXPECT_EQ(control->height(), expected.height());
  }
  EXPECT_TRUE(control->isVisibleTo(&dlg));
}

INSTANTIATE_TEST_SUITE_P(
    Template102, TransferDlgControls,
    testing::Values(
        ControlRow{"OpenPort", 1008, "", "QPushButton", u"打开端口", {233, 15, 55, 15}},
        ControlRow{"Port", 1004, "", "QComboBox", u"", {51, 17, 65, 143}},
        ControlRow{"UploadMode", 1013, "", "QRadioButton", u"上传数据至全站仪", {308, 18, 79, 10}},
        ControlRow{"DownloadMode", 1018, "", "QRadioButton", u"从全站仪下载数据", {308, 39, 80, 10}},
        ControlRow{"Data", 1000, "", "kestrion::DataBox", u"", {13, 114, 214, 129}},
        ControlRow{"DataGroup", 0, "dataGroup", "QGroupBox", u"下载 / 上传数据", {5, 102, 292, 172}},
        ControlRow{"CommGroup", 0, "commGroup", "QGroupBox", u"通讯设置", {5, 3, 292, 55}},
        ControlRow{"Baud", 1005, "", "QComboBox", u"", {51, 36, 65, 102}},
        ControlRow{"DataBits", 1006, "", "QComboBox", u"", {162, 16, 65, 70}},
        ControlRow{"PortLabel", 0, "portLabel", "QLabel", u"通讯口:", {13, 19, 28, 8}},
        ControlRow{"BaudLabel", 0, "baudLabel", "QLabel", u"波特率:", {13, 38, 28, 8}},
        ControlRow{"DataBitsLabel", 0, "dataBitsLabel", "QLabel", u"数据位:", {126, 18, 28, 8}},
        ControlRow{"Parity", 1007, "", "QComboBox", u"", {162, 36, 65, 64}},
        ControlRow{"ParityLabel", 0, "parityLabel", "QLabel", u"检校位:", {126, 38, 28, 8}},
        ControlRow{"ClosePort", 1009, "", "QPushButton", u"关闭端口", {233, 35, 55, 15}},
        ControlRow{"Output", 1011, "", "QPushButton", u"输出数据", {13, 249, 55, 15}},
        ControlRow{"Browse", 1002, "", "QPushButton", u"浏览", {292, 73, 32, 15}},
        ControlRow{"FilePath", 1010, "", "QLineEdit", u"", {13, 74, 275, 14}},
        ControlRow{"UploadGroup", 0, "uploadGroup", "QGroupBox", u"上传数据", {5, 63, 388, 34}},
        ControlRow{"Upload", 1012, "", "QPushButton", u"上传数据", {330, 73, 55, 15}},
        ControlRow{"StatusGroup", 0, "statusGroup", "QGroupBox", u"实时状态", {301, 102, 92, 172}},
        ControlRow{"Status", 1014, "", "kestrion::DataBox", u"", {309, 114, 76, 150}},
        ControlRow{"Roads", 1015, "", "QListWidget", u"", {233, 114, 55, 129}},
        ControlRow{"ClearData", 1016, "", "QPushButton", u"清空数据", {233, 249, 55, 15}},
        ControlRow{"ModeGroup", 0, "modeTypeGroup", "QGroupBox", u"操作类型", {301, 3, 92, 55}}),
    testing_support::RowName());

TEST_F(TransferDlgTest, WindowIsAFixedDialogCaptionedKestrion) {
  EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Kestrion"));
  // The dialog template's 400 x 282, and below it the status line.
  EXPECT_EQ(dlg.size(), DialogUnitsToPixels(QRect(0, 0, 400, 296), BaseUnitsOf(dlg.font())).size());
  EXPECT_EQ(dlg.minimumSize(), dlg.maximumSize());
  EXPECT_FALSE(dlg.windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(dlg.windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(dlg.windowFlags() & Qt::WindowCloseButtonHint);
  for (const int side : {16, 32, 48}) {
    EXPECT_FALSE(dlg.windowIcon().pixmap(QSize(side, side)).isNull()) << side;
    EXPECT_FALSE(dlg.m_hIcon.pixmap(QSize(side, side)).isNull()) << side;
  }
}

TEST_F(TransferDlgTest, TabOrderFollowsTheTemplate) {
  const std::vector<int> order = {1008, 1004, 1013, 1018, 1000, 1005, 1006, 1007,
                                  1009, 1011, 1002, 1010, 1012, 1014, 1015, 1016};
  std::vector<int> seen;
  QWidget* widget = dlg.GetDlgItem(order.front());
  for (int step = 0; step < 400 && seen.size() < order.size(); ++step) {
    const QString name = widget->objectName();
    if (name.startsWith(QStringLiteral("IDC_"))) seen.push_back(name.mid(4).toInt());
    widget = widget->nextInFocusChain();
  }
  EXPECT_EQ(seen, order);
}

TEST_F(TransferDlgTest, ControlsHaveTheStylesThatMatter) {
  for (QPushButton* button : dlg.findChildren<QPushButton*>()) {
    EXPECT_FALSE(button->autoDefault()) << button->objectName().toStdString();
    EXPECT_FALSE(button->isDefault()) << button->objectName().toStdString();
  }
  for (const int id : {1004, 1005, 1006, 1007}) EXPECT_FALSE(Item<QComboBox>(dlg, id)->isEditable()) << id;
  for (const int id : {1000, 1014}) {
    auto* box = Item<DataBox>(dlg, id);
    EXPECT_EQ(box->lineWrapMode(), QPlainTextEdit::NoWrap) << id;
    EXPECT_EQ(box->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn) << id;
    EXPECT_FALSE(box->isReadOnly()) << id;
  }
  EXPECT_FALSE(Item<QLineEdit>(dlg, 1010)->isReadOnly());
  EXPECT_FALSE(Item<QListWidget>(dlg, 1015)->isSortingEnabled());

  auto* upload = Item<QRadioButton>(dlg, 1013);
  auto* download = Item<QRadioButton>(dlg, 1018);
  ASSERT_NE(upload->group(), nullptr);
  EXPECT_EQ(upload->group(), download->group());
  EXPECT_TRUE(upload->group()->exclusive());
  EXPECT_EQ(upload->group()->buttons().size(), 2);
}

// ---- start-up

TEST_F(TransferDlgTest, StartsWithTheDefaultLists) {
  const std::vector<std::string> ports = Entries(*dlg.m_cbPort);
  ASSERT_GE(ports.size(), 9u);
  for (int i = 0; i < 9; ++i) EXPECT_EQ(ports[static_cast<std::size_t>(i)], "COM" + std::to_string(i + 1));
  EXPECT_EQ(dlg.m_cbPort->currentIndex(), 0);
  EXPECT_EQ(Entries(*dlg.m_cbBaud), (std::vector<std::string>{"4800", "9600", "19200", "38400"}));
  EXPECT_EQ(dlg.m_cbBaud->currentIndex(), 2);
  EXPECT_EQ(Entries(*dlg.m_cbDataBits), (std::vector<std::string>{"7", "8"}));
  EXPECT_EQ(dlg.m_cbDataBits->currentIndex(), 1);
  EXPECT_EQ(Entries(*dlg.m_cbParity), (std::vector<std::string>{kNone, kOdd, kEven}));
  EXPECT_EQ(dlg.m_cbParity->currentText(), QStringLiteral("无"));
  EXPECT_EQ(dlg.m_cbParity->currentIndex(), 0);
  EXPECT_EQ(dlg.m_lbRoads, dlg.GetDlgItem(1015));
  EXPECT_EQ(dlg.m_lbRoads->count(), 0);
}

TEST_F(TransferDlgTest, StartsInDownloadModeWithNoPortOpen) {
  EXPECT_EQ(dlg.m_nMode, 1);
  EXPECT_TRUE(Item<QRadioButton>(dlg, 1018)->isChecked());
  EXPECT_FALSE(Item<QRadioButton>(dlg, 1013)->isChecked());
  EXPECT_EQ(dlg.m_bPortOpen, 0);
  EXPECT_FALSE(dlg.m_hComm.IsOpen());
  EXPECT_TRUE(dlg.GetDlgItem(1008)->isEnabled());
  EXPECT_FALSE(dlg.GetDlgItem(1009)->isEnabled());
  EXPECT_FALSE(dlg.GetDlgItem(1012)->isEnabled());
  for (const int id : {1002, 1011, 1016}) EXPECT_TRUE(dlg.GetDlgItem(id)->isEnabled()) << id;
  EXPECT_FALSE(dlg.IsTimerRunning(CTransferDlg::kStatusTimer));
  EXPECT_TRUE(dlg.IsTimerRunning(CTransferDlg::kDownloadPollTimer));
  // The selections reach the fields only with the first exchange into them.
  EXPECT_TRUE(dlg.m_strPort.IsEmpty());
  EXPECT_TRUE(dlg.m_strBaud.IsEmpty());
  EXPECT_FALSE(dlg.HasUnsavedDownload());
}

TEST_F(TransferDlgTest, SystemMenuEndsWithSeparatorAndAboutEntry) {
  const QList<QAction*> actions = dlg.GetSystemMenu()->actions();
  ASSERT_GE(actions.size(), 2);
  EXPECT_TRUE(actions[actions.size() - 2]->isSeparator());
  EXPECT_EQ(actions.back()->text(), QStringLiteral("关于 Kestrion(&A)..."));
  EXPECT_EQ(actions.back()->data().toUInt(), 16u);
  actions.back()->trigger();
  ASSERT_EQ(prompter.modals.size(), 1u);
  EXPECT_EQ(prompter.modals[0].className, QStringLiteral("kestrion::CAboutDlg"));
}

// ---- data exchange

struct ComboRow {
  const char* name;
  int id;
  int selectedBefore;
  std::string text;
  int selectedAfter;
};

class TransferDlgComboExchange : public testing::TestWithParam<ComboRow> {
 protected:
  ScriptedPrompter prompter;
  CTransferDlg dlg{prompter};
};

TEST_P(TransferDlgComboExchange, SelectsTheFirstEntryBeginningWithTheText) {
  const ComboRow& row = GetParam();
  auto* combo = Item<QComboBox>(dlg, row.id);
  combo->setCurrentIndex(row.selectedBefore);
  CString* field = row.id == 1004   ? &dlg.m_strPort
                   : row.id == 1005 ? &dlg.m_strBaud
                   : row.id == 1006 ? &dlg.m_strDataBits
                                    : &dlg.m_strParity;
  *field = CString(row.text);
  dlg.UpdateData(false);
  EXPECT_EQ(combo->currentIndex(), row.selectedAfter);
  // The field is left as it was; the next exchange the other way takes the selected entry's full text.
  EXPECT_EQ(field->Bytes(), row.text);
}

INSTANTIATE_TEST_SUITE_P(
    Rule, TransferDlgComboExchange,
    testing::Values(ComboRow{"WholeEntry", 1005, 2, "9600", 1}, ComboRow{"Prefix", 1005, 2, "96", 1},
                    ComboRow{"FirstOfSeveral", 1005, 0, "3", 3}, ComboRow{"NoMatchKeeps", 1005, 3, "x", 3},
                    ComboRow{"EmptyKeeps", 1005, 3, "", 3},
                    ComboRow{"LongerThanEntryKeeps", 1005, 0, "96000", 0},
                    ComboRow{"IgnoresCase", 1004, 0, "com3", 2},
                    ComboRow{"PrefixOfAllTakesFirst", 1004, 4, "CO", 0},
                    ComboRow{"DataBits", 1006, 1, "7", 0}, ComboRow{"ChineseEntry", 1007, 0, kEven, 2},
                    ComboRow{"ChinesePrefix", 1007, 0, "\xC6\xE6", 1},
                    // A lead byte alone is no character of the entry.
                    ComboRow{"HalfACharacterKeeps", 1007, 2, "\xC6", 2},
                    // 0xE6 is no letter: the case of the second byte of a character is not folded.
                    ComboRow{"TrailNotFolded", 1007, 0, "\xC6\xC6", 0}),
    testing_support::RowName());

TEST_F(TransferDlgTest, ExchangeIntoFieldsTakesEveryControl) {
  dlg.m_cbPort->setCurrentIndex(2);
  dlg.m_cbBaud->setCurrentIndex(0);
  dlg.m_cbDataBits->setCurrentIndex(0);
  dlg.m_cbParity->setCurrentIndex(1);
  DataBoxOf(dlg).SetBytes(CString("&1,2\r\n\xB5\xC0"));
  Item<QLineEdit>(dlg, 1010)->setText(QStringLiteral("/tmp/\u9053\u8DEF.HLN"));
  Item<DataBox>(dlg, 1014)->SetBytes(CString("Start"));
  Item<QRadioButton>(dlg, 1013)->setChecked(true);

  dlg.UpdateData(true);
  EXPECT_EQ(dlg.m_strPort, "COM3");
  EXPECT_EQ(dlg.m_strBaud, "4800");
  EXPECT_EQ(dlg.m_strDataBits, "7");
  EXPECT_EQ(dlg.m_strParity.Bytes(), kOdd);
  EXPECT_EQ(dlg.m_strData, "&1,2\r\n\xB5\xC0");
  EXPECT_EQ(dlg.m_strFilePath, "/tmp/\xE9\x81\x93\xE8\xB7\xAF.HLN");  // a path keeps the platform's bytes
  EXPECT_EQ(dlg.GetStatus(), "Start");
  EXPECT_EQ(dlg.m_nMode, 0);
}

TEST_F(TransferDlgTest, ExchangeIntoControlsShowsEveryField) {
  dlg.m_strData = CString("a\r\nb\rc");
  dlg.m_strFilePath = CString("/data/\xE9\x81\x93.HLN");
  dlg.SetStatus(CString("Upload Finish"));
  dlg.m_nMode = 0;
  dlg.UpdateData(false);
  EXPECT_EQ(DataBoxOf(dlg).toPlainText(), QStringLiteral("a\nb\u280Dc"));
  EXPECT_EQ(Item<QLineEdit>(dlg, 1010)->text(), QStringLiteral("/data/\u9053.HLN"));
  EXPECT_EQ(Item<DataBox>(dlg, 1014)->toPlainText(), QStringLiteral("Upload Finish"));
  EXPECT_TRUE(Item<QRadioButton>(dlg, 1013)->isChecked());
  EXPECT_FALSE(Item<QRadioButton>(dlg, 1018)->isChecked());
}

TEST_F(TransferDlgTest, ModeOutOfRangeChecksNoRadioAndReadsBackAsMinusOne) {
  dlg.m_nMode = 5;
  dlg.UpdateData(false);
  EXPECT_FALSE(Item<QRadioButton>(dlg, 1013)->isChecked());
  EXPECT_FALSE(Item<QRadioButton>(dlg, 1018)->isChecked());
  dlg.UpdateData(true);
  EXPECT_EQ(dlg.m_nMode, -1);
  dlg.m_nMode = 1;
  dlg.UpdateData(false);
  EXPECT_TRUE(Item<QRadioButton>(dlg, 1018)->isChecked());
  // The group is exclusive again.
  Item<QRadioButton>(dlg, 1013)->setChecked(true);
  EXPECT_FALSE(Item<QRadioButton>(dlg, 1018)->isChecked());
}

TEST_F(TransferDlgTest, TypingIsLostByAnExchangeIntoControlsUnlessTakenFirst) {
  DataBox& box = DataBoxOf(dlg);
  dlg.m_strData = CString("abc");
  dlg.UpdateData(false);
  QTest::keyClicks(&box, QStringLiteral("x"));
  dlg.UpdateData(false);
  EXPECT_EQ(box.Bytes(), "abc");

  box.moveCursor(QTextCursor::Start);
  QTest::keyClicks(&box, QStringLiteral("y"));
  dlg.UpdateData(true);
  dlg.UpdateData(false);
  EXPECT_EQ(box.Bytes(), "yabc");
  EXPECT_EQ(dlg.m_strData, "yabc");
}

// ---- modes and timers

TEST_F(TransferDlgTest, ModeRadiosSwitchTheUploadButtonAndTheTimers) {
  Item<QRadioButton>(dlg, 1013)->click();
  EXPECT_EQ(dlg.m_nMode, 0);
  EXPECT_TRUE(dlg.GetDlgItem(1012)->isEnabled());
  EXPECT_TRUE(dlg.IsTimerRunning(CTransferDlg::kStatusTimer));
  EXPECT_FALSE(dlg.IsTimerRunning(CTransferDlg::kDownloadPollTimer));

  Item<QRadioButton>(dlg, 1018)->click();
  EXPECT_EQ(dlg.m_nMode, 1);
  EXPECT_FALSE(dlg.GetDlgItem(1012)->isEnabled());
  EXPECT_FALSE(dlg.IsTimerRunning(CTransferDlg::kStatusTimer));
  EXPECT_TRUE(dlg.IsTimerRunning(CTransferDlg::kDownloadPollTimer));

  // The radio of the mode in force runs its command again.
  Item<QRadioButton>(dlg, 1018)->click();
  EXPECT_EQ(dlg.m_nMode, 1);
  EXPECT_TRUE(dlg.IsTimerRunning(CTransferDlg::kDownloadPollTimer));
}

TEST_F(TransferDlgTest, TimersStartRestartAndStop) {
  dlg.KillTimer(CTransferDlg::kStatusTimer);  // not running: nothing happens
  EXPECT_FALSE(dlg.IsTimerRunning(CTransferDlg::kStatusTimer));
  dlg.SetTimer(CTransferDlg::kStatusTimer, CTransferDlg::kTimerPeriod);
  dlg.SetTimer(CTransferDlg::kStatusTimer, CTransferDlg::kTimerPeriod);
  EXPECT_TRUE(dlg.IsTimerRunning(CTransferDlg::kStatusTimer));
  dlg.KillTimer(CTransferDlg::kStatusTimer);
  EXPECT_FALSE(dlg.IsTimerRunning(CTransferDlg::kStatusTimer));
  EXPECT_TRUE(dlg.IsTimerRunning(CTransferDlg::kDownloadPollTimer));
}

class CountingDlg : public CTransferDlg {
 public:
  using CTransferDlg::CTransferDlg;
  int echoes = 0;
  int polls = 0;
  void StatusEcho() override { ++echoes; }
  void DownloadPoll() override { ++polls; }
};

struct TickRow {
  const char* name;
  int mode;
  int timer;
  int echoes;
  int polls;
};

class TransferDlgTick : public testing::TestWithParam<TickRow> {};

TEST_P(TransferDlgTick, ReachesOnlyTheWorkOfItsMode) {
  const TickRow& row = GetParam();
  ScriptedPrompter prompter;
  CountingDlg dlg(prompter);
  dlg.m_nMode = row.mode;
  dlg.OnTimer(row.timer);
  EXPECT_EQ(dlg.echoes, row.echoes);
  EXPECT_EQ(dlg.polls, row.polls);
}

INSTANTIATE_TEST_SUITE_P(Dispatch, TransferDlgTick,
                         testing::Values(TickRow{"StatusInUploadMode", 0, 1, 1, 0},
                                         TickRow{"StatusInDownloadMode", 1, 1, 0, 0},
                                         TickRow{"PollInDownloadMode", 1, 2, 0, 1},
                                         TickRow{"PollInUploadMode", 0, 2, 0, 0},
                                         TickRow{"OtherTimer", 0, 3, 0, 0}),
                         testing_support::RowName());

TEST(TransferDlgTicks, RunningTimersTickIntoTheirWork) {
  ScriptedPrompter prompter;
  CountingDlg dlg(prompter);
  EXPECT_TRUE(QTest::qWaitFor([&] { return dlg.polls >= 2; }, 5000));
  EXPECT_EQ(dlg.echoes, 0);
  dlg.OnUploadMode();
  const int polls = dlg.polls;
  EXPECT_TRUE(QTest::qWaitFor([&] { return dlg.echoes >= 2; }, 5000));
  EXPECT_EQ(dlg.polls, polls);
}

// ---- clear data

TEST_F(TransferDlgTest, ClearDataEmptiesTheDataAndTheRoadsOnly) {
  dlg.m_strData = CString("&1,2\r\n");
  dlg.m_strRoadData = {CString("$r$\r\n")};
  dlg.SetUploadLines(testing_support::OneLine("line"));
  dlg.SetStatus(CString("Start"));
  dlg.m_strLastMarker = CString("&");
  dlg.m_strFilePath = CString("/tmp/a.HLN");
  testing_support::MarkDownloadUnsaved(dlg);
  dlg.UpdateData(false);
  dlg.m_lbRoads->addItem(QStringLiteral("road"));
  Item<QLineEdit>(dlg, 1010)->setText(QStringLiteral("typed"));

  Item<QPushButton>(dlg, 1016)->click();
  EXPECT_TRUE(dlg.m_strData.IsEmpty());
  EXPECT_EQ(DataBoxOf(dlg).document()->characterCount(), 1);
  EXPECT_EQ(dlg.m_lbRoads->count(), 0);
  EXPECT_EQ(dlg.m_strRoadData, std::vector<CString>{CString("$r$\r\n")});
  EXPECT_EQ(dlg.GetUploadLines().GetSize(), 1);
  EXPECT_EQ(dlg.GetStatus(), "Start");
  EXPECT_EQ(dlg.m_strLastMarker, "&");
  EXPECT_EQ(Item<QLineEdit>(dlg, 1010)->text(), QStringLiteral("/tmp/a.HLN"));  // shown from its field again
  EXPECT_FALSE(dlg.HasUnsavedDownload());
}

// ---- system commands

struct SysCommandRow {
  const char* name;
  unsigned command;
  bool opensAbout;
};

class TransferDlgSysCommand : public testing::TestWithParam<SysCommandRow> {};

TEST_P(TransferDlgSysCommand, AboutOnlyForItsCommand) {
  ScriptedPrompter prompter;
  CTransferDlg dlg(prompter);
  dlg.show();
  dlg.OnSysCommand(GetParam().command);
  ASSERT_EQ(prompter.modals.size(), GetParam().opensAbout ? 1u : 0u);
  if (GetParam().opensAbout) {
    EXPECT_EQ(prompter.modals[0].className, QStringLiteral("kestrion::CAboutDlg"));
    EXPECT_EQ(prompter.modals[0].title, QStringLiteral("关于 Kestrion"));
    EXPECT_TRUE(dlg.isVisible());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Commands, TransferDlgSysCommand,
    testing::Values(SysCommandRow{"About", 0x10, true}, SysCommandRow{"AboutLowBits", 0x11, true},
                    SysCommandRow{"AboutAllLowBits", 0x1F, true}, SysCommandRow{"NextCommand", 0x20, false},
                    SysCommandRow{"Zero", 0x0F, false}, SysCommandRow{"Move", 0xF010, false},
                    SysCommandRow{"Size", 0xF000, false},
                    SysCommandRow{"MaskKeepsOnlyBits4To15", 0x10010, true}),
    testing_support::RowName());

TEST(TransferDlgSysCommands, CloseCommandClosesTheWindow) {
  ScriptedPrompter prompter;
  CTransferDlg dlg(prompter);
  dlg.show();
  dlg.OnSysCommand(CTransferDlg::kScClose);
  EXPECT_FALSE(dlg.isVisible());
  EXPECT_EQ(dlg.result(), QDialog::Rejected);
}

// ---- keys

TEST_F(TransferDlgTest, EscEndsTheWindowAsCancel) {
  dlg.show();
  dlg.m_cbPort->setFocus();
  QTest::keyClick(dlg.m_cbPort, Qt::Key_Escape);
  EXPECT_FALSE(dlg.isVisible());
  EXPECT_EQ(dlg.result(), QDialog::Rejected);
}

TEST_F(TransferDlgTest, EnterEndsTheWindowAsOkAfterTakingTheControls) {
  dlg.show();
  dlg.m_cbBaud->setCurrentIndex(1);
  dlg.m_cbBaud->setFocus();
  QTest::keyClick(dlg.m_cbBaud, Qt::Key_Return);
  EXPECT_FALSE(dlg.isVisible());
  EXPECT_EQ(dlg.result(), QDialog::Accepted);
  EXPECT_EQ(dlg.m_strBaud, "9600");
  EXPECT_EQ(dlg.m_strPort, "COM1");
}

TEST_F(TransferDlgTest, EnterOnAPushButtonClicksIt) {
  dlg.show();
  dlg.m_strData = CString("abc");
  dlg.UpdateData(false);
  auto* clear = Item<QPushButton>(dlg, 1016);
  clear->setFocus();
  QTest::keyClick(clear, Qt::Key_Return);
  EXPECT_TRUE(dlg.isVisible());
  EXPECT_TRUE(dlg.m_strData.IsEmpty());
}

TEST_F(TransferDlgTest, EnterInAMultiLineBoxMakesANewLine) {
  dlg.show();
  for (const int id : {1000, 1014}) {
    auto* box = Item<DataBox>(dlg, id);
    box->setFocus();
    QTest::keyClicks(box, QStringLiteral("a"));
    QTest::keyClick(box, Qt::Key_Return);
    QTest::keyClick(box, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_TRUE(dlg.isVisible()) << id;
    EXPECT_EQ(box->Bytes(), "a\r\n\r\n") << id;
  }
  auto* path = Item<QLineEdit>(dlg, 1010);
  path->setFocus();
  QTest::keyClick(path, Qt::Key_Return);  // a single-line box leaves Enter to the window
  EXPECT_FALSE(dlg.isVisible());
}

// ---- leaving with downloaded data that was not output

struct LeaveRow {
  const char* name;
  bool unsaved;
  const char* data;
  int how;  // 0 close box, 1 Esc, 2 Enter
  Prompter::Answer answer;
  bool asks;
  bool closes;
};

class TransferDlgLeave : public testing::TestWithParam<LeaveRow> {};

TEST_P(TransferDlgLeave, AsksOnlyWhileDownloadedDataWaits) {
  const LeaveRow& row = GetParam();
  ScriptedPrompter prompter;
  prompter.answers.push_back(row.answer);
  CTransferDlg dlg(prompter);
  dlg.show();
  dlg.m_strData = CString(row.data);
  dlg.UpdateData(false);
  if (row.unsaved) testing_support::MarkDownloadUnsaved(dlg);
  dlg.m_cbPort->setFocus();
  switch (row.how) {
    case 0:
      dlg.close();
      break;
    case 1:
      QTest::keyClick(dlg.m_cbPort, Qt::Key_Escape);
      break;
    default:
      QTest::keyClick(dlg.m_cbPort, Qt::Key_Return);
      break;
  }
  ASSERT_EQ(prompter.messages.size(), row.asks ? 1u : 0u);
  if (row.asks) {
    EXPECT_EQ(prompter.messages[0].text, QStringLiteral("数据尚未输出，确定要退出吗？"));
    EXPECT_EQ(prompter.messages[0].icon, Prompter::Icon::Question);
    EXPECT_EQ(prompter.messages[0].buttons, Prompter::Buttons::YesNo);
  }
  EXPECT_EQ(dlg.isVisible(), !row.closes);
}

INSTANTIATE_TEST_SUITE_P(
    Departure, TransferDlgLeave,
    testing::Values(LeaveRow{"NothingDownloaded", false, "abc", 0, Prompter::Answer::No, false, true},
                    LeaveRow{"CloseBoxYes", true, "&1\r\n", 0, Prompter::Answer::Yes, true, true},
                    LeaveRow{"CloseBoxNo", true, "&1\r\n", 0, Prompter::Answer::No, true, false},
                    LeaveRow{"EscYes", true, "&1\r\n", 1, Prompter::Answer::Yes, true, true},
                    LeaveRow{"EscNo", true, "&1\r\n", 1, Prompter::Answer::No, true, false},
                    LeaveRow{"EnterYes", true, "&1\r\n", 2, Prompter::Answer::Yes, true, true},
                    LeaveRow{"EnterNo", true, "&1\r\n", 2, Prompter::Answer::No, true, false},
                    LeaveRow{"EmptiedBox", true, "", 0, Prompter::Answer::No, false, true}),
    testing_support::RowName());

TEST(TransferDlgLeaving, NoKeepsTheWindowAndAskingAgainCanLeave) {
  ScriptedPrompter prompter;
  prompter.answers = {Prompter::Answer::No, Prompter::Answer::Yes};
  CTransferDlg dlg(prompter);
  dlg.show();
  dlg.m_strData = CString("&1\r\n");
  dlg.UpdateData(false);
  testing_support::MarkDownloadUnsaved(dlg);
  dlg.close();
  EXPECT_TRUE(dlg.isVisible());
  dlg.close();
  EXPECT_FALSE(dlg.isVisible());
  EXPECT_EQ(prompter.messages.size(), 2u);
}

}  // namespace
}  // namespace kestrion

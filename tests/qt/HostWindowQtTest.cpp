// The main window as the Qt host builds it from the control table: every control where the template puts it,
// the tab order, the styles that matter, the system menu, and the keys.
#include <gtest/gtest.h>

#include <QAction>
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

#include "QtWindow.h"
#include "WindowDriving.h"
#include "common/TestNames.h"
#include "qt/DataBox.h"
#include "qt/DialogUnits.h"

namespace kestrion {
namespace {

using testing_support::QtWindow;

QRect ToQRect(const DialogRect& r) {
  return QRect(r.x, r.y, r.width, r.height);
}

class HostWindow : public testing::Test, protected QtWindow {};

// Every row of the table, as the live window shows it.
TEST_F(HostWindow, EveryControlSitsWhereTheTemplatePutsIt) {
  for (const ControlRow& row : TransferDialogTemplate().controls) {
    const QString name = QString::fromLatin1(row.name.data(), static_cast<qsizetype>(row.name.size()));
    QWidget* control = window.findChild<QWidget*>(name, Qt::FindDirectChildrenOnly);
    ASSERT_NE(control, nullptr) << name.toStdString();
    if (row.id != 0) {
      EXPECT_EQ(window.GetDlgItem(row.id), control) << row.id;
    }
    const char* expectedClass = nullptr;
    switch (row.kind) {
      case ControlKind::PushButton:
      case ControlKind::DefaultPushButton:
        expectedClass = "QPushButton";
        break;
      case ControlKind::RadioButton:
        expectedClass = "QRadioButton";
        break;
      case ControlKind::ComboBox:
        expectedClass = "QComboBox";
        break;
      case ControlKind::Edit:
        expectedClass = "QLineEdit";
        break;
      case ControlKind::MultiLineEdit:
        expectedClass = "kestrion::DataBox";
        break;
      case ControlKind::ListBox:
        expectedClass = "QListWidget";
        break;
      case ControlKind::GroupBox:
        expectedClass = "QGroupBox";
        break;
      case ControlKind::Label:
      case ControlKind::Icon:
      case ControlKind::StatusLine:
        expectedClass = "QLabel";
        break;
    }
    EXPECT_TRUE(control->inherits(expectedClass)) << name.toStdString() << " " << control->metaObject()->className();
    const QString caption = QString::fromStdU16String(std::u16string(row.caption));
    QString shown;
    if (auto* button = qobject_cast<QAbstractButton*>(control)) shown = button->text();
    if (auto* group = qobject_cast<QGroupBox*>(control)) shown = group->title();
    if (auto* label = qobject_cast<QLabel*>(control); label != nullptr && row.kind != ControlKind::StatusLine) {
      shown = label->text();
    }
    EXPECT_EQ(shown, caption) << name.toStdString();

    const QRect expected = DialogUnitsToPixels(ToQRect(row.rect), BaseUnitsOf(window.font()));
    EXPECT_EQ(control->pos(), expected.topLeft()) << name.toStdString();
    EXPECT_EQ(control->width(), expected.width()) << name.toStdString();
    if (qobject_cast<QComboBox*>(control) != nullptr) {
      EXPECT_LT(control->height(), expected.height());  // the rest is the dropped-down list
    } else {
      EXPECT_EQ(control->height(), expected.height()) << name.toStdString();
    }
    EXPECT_TRUE(control->isVisibleTo(&window));
  }
}

TEST_F(HostWindow, WindowIsAFixedDialogCaptionedKestrion) {
  EXPECT_EQ(window.windowTitle(), QStringLiteral("Kestrion"));
  // The dialog template's 400 x 282, and below it the status line.
  EXPECT_EQ(window.size(), DialogUnitsToPixels(QRect(0, 0, 400, 296), BaseUnitsOf(window.font())).size());
  EXPECT_EQ(window.minimumSize(), window.maximumSize());
  EXPECT_FALSE(window.windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(window.windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(window.windowFlags() & Qt::WindowCloseButtonHint);
  for (const int side : {16, 32, 48}) EXPECT_FALSE(window.windowIcon().pixmap(QSize(side, side)).isNull()) << side;
}

TEST_F(HostWindow, TabOrderFollowsTheTemplate) {
  const std::vector<int> order = {1008, 1004, 1013, 1018, 1000, 1005, 1006, 1007,
                                  1009, 1011, 1002, 1010, 1012, 1014, 1015, 1016};
  std::vector<int> seen;
  QWidget* widget = window.GetDlgItem(order.front());
  for (int step = 0; step < 400 && seen.size() < order.size(); ++step) {
    const QString name = widget->objectName();
    if (name.startsWith(QStringLiteral("IDC_"))) seen.push_back(name.mid(4).toInt());
    widget = widget->nextInFocusChain();
  }
  EXPECT_EQ(seen, order);
}

TEST_F(HostWindow, ControlsHaveTheStylesThatMatter) {
  for (QPushButton* button : window.findChildren<QPushButton*>()) {
    EXPECT_FALSE(button->autoDefault()) << button->objectName().toStdString();
    EXPECT_FALSE(button->isDefault()) << button->objectName().toStdString();
  }
  for (const int id : {1004, 1005, 1006, 1007}) EXPECT_FALSE(Item<QComboBox>(id)->isEditable()) << id;
  for (const int id : {1000, 1014}) {
    auto* box = Item<DataBox>(id);
    EXPECT_EQ(box->lineWrapMode(), QPlainTextEdit::NoWrap) << id;
    EXPECT_EQ(box->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn) << id;
    EXPECT_FALSE(box->isReadOnly()) << id;
  }
  EXPECT_FALSE(Item<QLineEdit>(1010)->isReadOnly());
  EXPECT_FALSE(Item<QListWidget>(1015)->isSortingEnabled());
  EXPECT_EQ(Item<QLabel>(kIdStatusLine)->textFormat(), Qt::PlainText);

  auto* upload = Item<QRadioButton>(1013);
  auto* download = Item<QRadioButton>(1018);
  ASSERT_NE(upload->group(), nullptr);
  EXPECT_EQ(upload->group(), download->group());
  EXPECT_TRUE(upload->group()->exclusive());
  EXPECT_EQ(upload->group()->buttons().size(), 2);
}

TEST_F(HostWindow, ShowsWhatTheDialogSet) {
  EXPECT_TRUE(Item<QRadioButton>(kIdDownloadMode)->isChecked());
  EXPECT_FALSE(Item<QPushButton>(kIdClosePort)->isEnabled());
  EXPECT_EQ(Item<QComboBox>(kIdParity)->currentText(), QStringLiteral("无"));
  EXPECT_EQ(Item<QComboBox>(kIdBaud)->currentText(), QStringLiteral("19200"));
  // A click reaches the dialog's command.
  Item<QRadioButton>(kIdUploadMode)->click();
  EXPECT_EQ(dlg.m_nMode, 0);
  EXPECT_TRUE(Item<QPushButton>(kIdUpload)->isEnabled());
  // An exchange checks the radio of the field and unchecks the other, even out of the group's range.
  dlg.m_nMode = 5;
  dlg.UpdateData(false);
  EXPECT_FALSE(Item<QRadioButton>(kIdUploadMode)->isChecked());
  EXPECT_FALSE(Item<QRadioButton>(kIdDownloadMode)->isChecked());
  dlg.m_nMode = 1;
  dlg.UpdateData(false);
  Item<QRadioButton>(kIdUploadMode)->setChecked(true);
  EXPECT_FALSE(Item<QRadioButton>(kIdDownloadMode)->isChecked());  // the group is exclusive again
}

TEST_F(HostWindow, SystemMenuEndsWithSeparatorAndAboutEntry) {
  const QList<QAction*> actions = window.GetSystemMenu()->actions();
  ASSERT_GE(actions.size(), 2);
  EXPECT_TRUE(actions[actions.size() - 2]->isSeparator());
  EXPECT_EQ(actions.back()->text(), QStringLiteral("关于 Kestrion(&A)..."));
  EXPECT_EQ(actions.back()->data().toUInt(), 16u);
  actions.back()->trigger();
  ASSERT_EQ(prompter.modals.size(), 1u);
  EXPECT_EQ(prompter.modals[0].templateId, kIddAboutBox);
}

TEST(HostWindowSysCommands, CloseCommandClosesTheWindow) {
  QtWindow qt;
  qt.window.show();
  qt.window.SysCommand(CDialog::kScClose);
  EXPECT_FALSE(qt.window.isVisible());
  EXPECT_EQ(qt.window.result(), QDialog::Rejected);
}

// ---- keys

TEST_F(HostWindow, EscEndsTheWindowAsCancel) {
  window.show();
  Item<QComboBox>(kIdPort)->setFocus();
  QTest::keyClick(Item<QComboBox>(kIdPort), Qt::Key_Escape);
  EXPECT_FALSE(window.isVisible());
  EXPECT_EQ(window.result(), QDialog::Rejected);
}

TEST_F(HostWindow, EnterEndsTheWindowAsOkAfterTakingTheControls) {
  window.show();
  auto* baud = Item<QComboBox>(kIdBaud);
  baud->setCurrentIndex(1);
  baud->setFocus();
  QTest::keyClick(baud, Qt::Key_Return);
  EXPECT_FALSE(window.isVisible());
  EXPECT_EQ(window.result(), QDialog::Accepted);
  EXPECT_EQ(dlg.m_strBaud, "9600");
  EXPECT_EQ(dlg.m_strPort, "COM1");
}

TEST_F(HostWindow, EnterOnAPushButtonClicksIt) {
  window.show();
  dlg.m_strData = CString("abc");
  dlg.UpdateData(false);
  auto* clear = Item<QPushButton>(kIdClearData);
  clear->setFocus();
  QTest::keyClick(clear, Qt::Key_Return);
  EXPECT_TRUE(window.isVisible());
  EXPECT_TRUE(dlg.m_strData.IsEmpty());
}

TEST_F(HostWindow, EnterInAMultiLineBoxMakesANewLine) {
  window.show();
  for (const int id : {kIdData, kIdStatus}) {
    auto* box = Item<DataBox>(id);
    box->setFocus();
    QTest::keyClicks(box, QStringLiteral("a"));
    QTest::keyClick(box, Qt::Key_Return);
    QTest::keyClick(box, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_TRUE(window.isVisible()) << id;
  }
  EXPECT_EQ(dlg.m_edData.Bytes(), "a\r\n\r\n");
  EXPECT_EQ(dlg.m_edStatus.Bytes(), "a\r\n\r\n");
  auto* path = Item<QLineEdit>(kIdFilePath);
  path->setFocus();
  QTest::keyClick(path, Qt::Key_Return);  // a single-line box leaves Enter to the window
  EXPECT_FALSE(window.isVisible());
}

struct LeaveKeyRow {
  const char* name;
  int how;  // 0 close box, 1 Esc, 2 Enter
  Prompter::Answer answer;
  bool closes;
};

class HostWindowLeave : public testing::TestWithParam<LeaveKeyRow>, protected QtWindow {};

// The close box and the keys reach the dialog's question about downloaded data not output.
TEST_P(HostWindowLeave, AsksFirst) {
  const LeaveKeyRow& row = GetParam();
  prompter.answers.push_back(row.answer);
  window.show();
  dlg.m_strData = CString("&1\r\n");
  dlg.UpdateData(false);
  testing_support::MarkDownloadUnsaved(dlg);
  auto* port = Item<QComboBox>(kIdPort);
  port->setFocus();
  if (row.how == 0) {
    window.close();
  } else {
    QTest::keyClick(port, row.how == 1 ? Qt::Key_Escape : Qt::Key_Return);
  }
  ASSERT_EQ(prompter.messages.size(), 1u);
  EXPECT_EQ(prompter.messages[0].text, u"数据尚未输出，确定要退出吗？");
  EXPECT_EQ(window.isVisible(), !row.closes);
}

INSTANTIATE_TEST_SUITE_P(Departure, HostWindowLeave,
                         testing::Values(LeaveKeyRow{"CloseBoxYes", 0, Prompter::Answer::Yes, true},
                                         LeaveKeyRow{"CloseBoxNo", 0, Prompter::Answer::No, false},
                                         LeaveKeyRow{"EscNo", 1, Prompter::Answer::No, false},
                                         LeaveKeyRow{"EnterYes", 2, Prompter::Answer::Yes, true}),
                         testing_support::RowName());

TEST(HostWindowTimers, RunningTimersTickIntoTheDialog) {
  QtWindow qt;
  qt.dlg.m_strData = CString("x");
  // The status line's own timer writes it; the download poll runs on its timer without a port.
  qt.dlg.SetStatus(CString("Start"));
  qt.dlg.OnUploadMode();
  EXPECT_TRUE(QTest::qWaitFor([&] { return qt.Item<DataBox>(kIdStatus)->toPlainText() == QStringLiteral("Start"); },
                              5000));
}

}  // namespace
}  // namespace kestrion

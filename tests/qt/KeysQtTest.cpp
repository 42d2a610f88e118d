// The key table played on the Qt window with key events: the focus, the boxes, the mode and whether the
// window is still there after each key.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>
#include <memory>

#include "QtWindow.h"
#include "WindowDriving.h"
#include "common/KeyTable.h"
#include "common/PseudoTerminal.h"
#include "qt/DataBox.h"

namespace kestrion {
namespace {

using testing_support::Key;
using testing_support::KeyRow;
using testing_support::QtWindow;

struct QtKey {
  Qt::Key key;
  Qt::KeyboardModifiers modifiers;
};

QtKey ToQt(Key key) {
  switch (key) {
    case Key::Tab:
      return {Qt::Key_Tab, Qt::NoModifier};
    case Key::ShiftTab:
      return {Qt::Key_Backtab, Qt::ShiftModifier};
    case Key::CtrlTab:
      return {Qt::Key_Tab, Qt::ControlModifier};
    case Key::CtrlShiftTab:
      return {Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier};
    case Key::Enter:
      return {Qt::Key_Return, Qt::NoModifier};
    case Key::Esc:
      return {Qt::Key_Escape, Qt::NoModifier};
    case Key::Up:
      return {Qt::Key_Up, Qt::NoModifier};
    case Key::Down:
      return {Qt::Key_Down, Qt::NoModifier};
    case Key::Space:
      return {Qt::Key_Space, Qt::NoModifier};
  }
  return {Qt::Key_unknown, Qt::NoModifier};
}

class QtKeys : public testing::TestWithParam<KeyRow> {};

TEST_P(QtKeys, DoWhatTheTableSays) {
  const KeyRow& row = GetParam();
  testing_support::PseudoTerminal instrument;
  QtWindow qt;
  qt.window.show();
  qt.window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&qt.window));
  CTransferDlg& dlg = qt.dlg;
  if (row.mode == 0) qt.Item<QRadioButton>(kIdUploadMode)->click();
  dlg.m_strData = CString(testing_support::kKeyData);
  dlg.SetStatus(CString(testing_support::kKeyStatus));
  dlg.UpdateData(false);
  for (const int id : {kIdData, kIdStatus}) qt.Item<DataBox>(id)->moveCursor(QTextCursor::End);
  qt.Item<QLineEdit>(kIdFilePath)->setText(testing_support::kKeyPath);
  if (row.unsaved) testing_support::MarkDownloadUnsaved(dlg);
  if (row.uploading) {
    ASSERT_TRUE(instrument.IsValid());
    dlg.AddPortEntry(instrument.SlavePath());
    dlg.m_cbPort.SetCurSel(dlg.m_cbPort.GetCount() - 1);
    dlg.OnOpenPort();
    ASSERT_EQ(dlg.m_bPortOpen, 1);
    dlg.OnUpload();
    ASSERT_TRUE(dlg.UploadRunning());
  }
  qt.prompter.answers.push_back(row.answer);
  QWidget* focus = qt.window.GetDlgItem(row.focus);
  focus->setFocus(Qt::OtherFocusReason);
  ASSERT_EQ(QApplication::focusWidget(), focus);
  QWidget* target = focus;
  auto* combo = qobject_cast<QComboBox*>(focus);
  if (row.dropDown) {
    combo->showPopup();
    target = combo->view();
  }

  const auto [key, modifiers] = ToQt(row.key);
  QTest::keyClick(target, key, modifiers);

  if (row.question != nullptr) {
    ASSERT_EQ(qt.prompter.messages.size(), 1u);
    EXPECT_EQ(qt.prompter.messages[0].text, row.question);
  } else {
    EXPECT_TRUE(qt.prompter.messages.empty());
  }
  EXPECT_EQ(qt.window.isVisible(), row.stays);
  if (row.stays) {
    QWidget* expected = qt.window.GetDlgItem(row.focusAfter);
    EXPECT_EQ(QApplication::focusWidget(), expected)
        << (QApplication::focusWidget() != nullptr ? QApplication::focusWidget()->objectName().toStdString() : "none");
    EXPECT_EQ(dlg.m_nMode, row.modeAfter < 0 ? row.mode : row.modeAfter);
    EXPECT_EQ(dlg.m_edData.Bytes().Bytes(), row.dataAfter);
    EXPECT_EQ(dlg.m_edStatus.Bytes().Bytes(), row.statusAfter);
    if (row.dropDown) {
      EXPECT_FALSE(combo->view()->isVisible());
    }
    if (row.question != nullptr) {
      // The platform's own, after a question.
    } else if (row.focusAfter == kIdFilePath) {
      EXPECT_EQ(qt.Item<QLineEdit>(kIdFilePath)->selectedText() == QString(testing_support::kKeyPath),
                row.selectedAll);
    } else if (row.focusAfter == kIdData || row.focusAfter == kIdStatus) {
      EXPECT_FALSE(qt.Item<DataBox>(row.focusAfter)->textCursor().hasSelection());
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Table, QtKeys, testing::ValuesIn(testing_support::KeyTable()),
                         [](const testing::TestParamInfo<KeyRow>& param) { return param.param.name; });

}  // namespace
}  // namespace kestrion

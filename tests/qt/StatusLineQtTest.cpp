// The status line in the Qt host: what a screen reader and a hover get from its label.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <string>

#include "ScriptedPrompter.h"
#include "app/ControlTable.h"
#include "app/TransferDlg.h"
#include "common/PseudoTerminal.h"
#include "qt/QtDialogWindow.h"

namespace kestrion {
namespace {

using testing_support::PseudoTerminal;
using testing_support::ScriptedPrompter;

const QString kHealthy = QStringLiteral("通讯端口已打开：19200 波特，8 数据位，检校位 无");

// A screen reader reads the label's own text: an accessible name would be read in its place.
TEST(StatusLine, AccessibleTextIsTheShownText) {
  PseudoTerminal pty;
  ASSERT_TRUE(pty.IsValid());
  ScriptedPrompter prompter;
  CTransferDlg dlg{prompter};
  QtDialogWindow window{dlg};
  dlg.AddPortEntry(pty.SlavePath());
  dlg.m_cbPort.SetCurSel(dlg.m_cbPort.GetCount() - 1);
  qobject_cast<QPushButton*>(window.GetDlgItem(kIdOpenPort))->click();
  ASSERT_EQ(dlg.m_bPortOpen, 1);

  auto* label = qobject_cast<QLabel*>(window.GetDlgItem(kIdStatusLine));
  ASSERT_NE(label, nullptr);
  window.show();
  ASSERT_TRUE(QTest::qWaitFor([&] { return label->text() == kHealthy; }, 1000)) << "its own timer writes it";
  QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(label);
  ASSERT_NE(accessible, nullptr);
  EXPECT_EQ(accessible->text(QAccessible::Name), kHealthy);
  EXPECT_FALSE(accessible->text(QAccessible::Description).isEmpty());
  EXPECT_EQ(label->toolTip(), kHealthy);  // the whole text, where the line is too narrow for it
}

}  // namespace
}  // namespace kestrion

// The download poll in the Qt host: what the operator types into the real text box, with real keys, is
// taken in by the next poll.
#include <gtest/gtest.h>

#include <QPushButton>
#include <QTest>
#include <QTextCursor>
#include <string_view>

#include "PortDriving.h"
#include "ScriptedPrompter.h"
#include "app/ControlTable.h"
#include "app/TransferDlg.h"
#include "common/PseudoTerminal.h"
#include "qt/DataBox.h"
#include "qt/QtDialogWindow.h"

namespace kestrion {
namespace {

using testing_support::PseudoTerminal;
using testing_support::ScriptedPrompter;

class DownloadPoll : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pty.IsValid());
    dlg.AddPortEntry(pty.SlavePath());
    dlg.m_cbPort.SetCurSel(dlg.m_cbPort.GetCount() - 1);
    qobject_cast<QPushButton*>(window.GetDlgItem(kIdOpenPort))->click();
    ASSERT_EQ(dlg.m_bPortOpen, 1);
  }

  void Arrive(std::string_view bytes) { ASSERT_TRUE(testing_support::SendAndWaitForPort(pty, dlg, bytes)); }
  void Tick() { dlg.OnTimer(CTransferDlg::kDownloadPollTimer); }
  DataBox& Box() const { return *qobject_cast<DataBox*>(window.GetDlgItem(kIdData)); }

  PseudoTerminal pty;
  ScriptedPrompter prompter;
  CTransferDlg dlg{prompter};
  QtDialogWindow window{dlg};
};

TEST_F(DownloadPoll, TypingJoinsTheTextBeforeTheNewBytes) {
  Arrive("$A1,2$");
  Tick();
  Box().moveCursor(QTextCursor::End);
  QTest::keyClicks(&Box(), "B");
  ASSERT_TRUE(dlg.m_edData.IsEdited());
  Arrive("3,4");
  Tick();
  EXPECT_EQ(dlg.m_strData, "\r\nA1,2\r\nB3,4");
  EXPECT_EQ(Box().Text(), QStringLiteral("\nA1,2\nB3,4"));
  EXPECT_FALSE(dlg.m_edData.IsEdited());
}

// Typing over a selection is an edit too: reception looks at the whole text afresh.
TEST_F(DownloadPoll, TextTypedByTheOperatorIsExaminedAfresh) {
  Arrive("AAAAAA");
  Tick();
  Box().selectAll();
  QTest::keyClicks(&Box(), "$Fini$");
  Arrive("$y");
  Tick();
  EXPECT_EQ(dlg.m_strData, "\r\nFini\r\n\r\ny");
  EXPECT_TRUE(prompter.messages.empty());
}

}  // namespace
}  // namespace kestrion

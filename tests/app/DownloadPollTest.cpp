// The download poll of the main window over a pseudo-terminal: every tick is made by the test, after the
// bytes it is to read have arrived at the port.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "PortDriving.h"
#include "WindowDriving.h"
#include "app/ControlTable.h"
#include "app/Messages.h"
#include "app/TransferDlg.h"
#include "common/PseudoTerminal.h"
#include "common/ScratchDir.h"

namespace kestrion {
namespace {

using testing_support::PseudoTerminal;
using testing_support::ScratchDir;
using testing_support::Window;

class DownloadPoll : public testing::Test, protected Window {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pty.IsValid());
    SelectPort(pty.SlavePath());
    Click(kIdOpenPort);
    ASSERT_EQ(dlg.m_bPortOpen, 1);
  }

  // The instrument sends `bytes`; returns once the port holds exactly them.
  void Arrive(std::string_view bytes) { ASSERT_TRUE(testing_support::SendAndWaitForPort(pty, dlg, bytes)); }
  void Tick() { dlg.OnTimer(CTransferDlg::kDownloadPollTimer); }

  PseudoTerminal pty;
};

TEST_F(DownloadPoll, WorkedExampleThenALaterRecord) {
  struct Step {
    std::string chunk;
    std::string data;
    std::size_t messages;
  };
  const Step steps[] = {
      {"$A1,2$\r\n", "\r\nA1,2\r\n", 0},
      {"$B3,4$\r\n", "\r\nA1,2\r\n\r\nB3,4\r\n", 0},
      {"Download Finish\r\n", "\r\nA1,2\r\n\r\nB3,4\r\n", 1},
      // The download goes on after the message, and the "Finish" already seen is not reported again.
      {"$C5,6$\r\n", "\r\nA1,2\r\n\r\nB3,4\r\n\r\nC5,6\r\n", 1},
  };
  for (const Step& step : steps) {
    Arrive(step.chunk);
    Tick();
    EXPECT_EQ(dlg.m_strData.Bytes(), step.data) << step.chunk;
    EXPECT_EQ(DataBytes(), step.data) << step.chunk;
    EXPECT_EQ(dlg.m_strLastMarker, "$");
    EXPECT_EQ(prompter.messages.size(), step.messages) << step.chunk;
    EXPECT_EQ(dlg.m_hComm.BytesWaiting(), 0u);
  }
  EXPECT_EQ(prompter.messages[0].text, messages::kDownloadComplete);
  EXPECT_EQ(prompter.messages[0].icon, Prompter::Icon::Information);
  EXPECT_TRUE(dlg.IsTimerRunning(CTransferDlg::kDownloadPollTimer));  // started again after the message
  EXPECT_TRUE(dlg.HasUnsavedDownload());
}

TEST_F(DownloadPoll, NothingWaitingLeavesTheOperatorsTypingInTheBox) {
  dlg.m_strData = CString("abc");
  dlg.UpdateData(false);
  TypeAtEnd(kIdData, u"X");
  Tick();
  EXPECT_EQ(dlg.m_strData, "abc");
  EXPECT_TRUE(dlg.m_edData.IsEdited());
  EXPECT_EQ(Shown(kIdData), u"abcX");
  EXPECT_FALSE(dlg.HasUnsavedDownload());

  // A closed port is the same: nothing is read and nothing exchanged.
  ASSERT_TRUE(pty.Send("$A$"));
  Click(kIdClosePort);
  Tick();
  EXPECT_EQ(dlg.m_strData, "abc");
  EXPECT_TRUE(prompter.messages.empty());
}

TEST_F(DownloadPoll, TypingJoinsTheTextBeforeTheNewBytes) {
  Arrive("$A1,2$");
  Tick();
  TypeAtEnd(kIdData, u"B");
  Arrive("3,4");
  Tick();
  EXPECT_EQ(dlg.m_strData, "\r\nA1,2\r\nB3,4");
  EXPECT_EQ(Shown(kIdData), u"\nA1,2\nB3,4");
  EXPECT_FALSE(dlg.m_edData.IsEdited());
}

TEST_F(DownloadPoll, ReadsAtMost254BytesATick) {
  Arrive(std::string(300, 'x'));
  Tick();
  EXPECT_EQ(dlg.m_strData.GetLength(), 254);
  EXPECT_EQ(dlg.m_hComm.BytesWaiting(), 46u);
  Tick();
  EXPECT_EQ(dlg.m_strData.Bytes(), std::string(300, 'x'));
}

// Reception looks only at what is new unless it is told that the text changed otherwise. In each of these the
// changed text keeps its length and gets a marker at its start by the change, so only a fresh look replaces
// it. A "Finish" that the changed text holds counts as seen: the end of a download is not reported for it.
TEST_F(DownloadPoll, TextTypedByTheOperatorIsExaminedAfresh) {
  Arrive("AAAAAA");
  Tick();
  TypeOver(kIdData, u"$Fini$");
  Arrive("$y");
  Tick();
  EXPECT_EQ(dlg.m_strData, "\r\nFini\r\n\r\ny");
  TypeOver(kIdData, u"Finish");
  Arrive("y");
  Tick();
  EXPECT_EQ(dlg.m_strData, "Finishy");
  EXPECT_TRUE(prompter.messages.empty());
}

TEST_F(DownloadPoll, EditTakenInAndShownAgainByOtherCommandsIsSeen) {
  Arrive("AAAAAA");
  Tick();
  TypeOver(kIdData, u"$Fini$");
  dlg.UpdateData(true);   // as Open port takes the controls in
  dlg.UpdateData(false);  // as another command shows the fields again: the box no longer counts as edited
  ASSERT_FALSE(dlg.m_edData.IsEdited());
  Arrive("$y");
  Tick();
  EXPECT_EQ(dlg.m_strData, "\r\nFini\r\n\r\ny");
}

TEST_F(DownloadPoll, TextLoadedByBrowseIsSeen) {
  ScratchDir dir;
  Arrive("xxxxxxxxxxxx");
  Tick();
  AnswerChooser(dir.Write("notes.txt", "$Finish,12"));  // loads as "$Finish,12" CR LF: 12 bytes
  Click(kIdBrowse);
  ASSERT_EQ(dlg.m_strData.GetLength(), 12);
  Arrive("$");
  Tick();
  EXPECT_EQ(dlg.m_strData, "\r\nFinish,12\r\n\r\n");
  EXPECT_TRUE(prompter.messages.empty());
}

TEST_F(DownloadPoll, ClearDataBeforeTheNextDownload) {
  Arrive("$A$\r\nDownload Finish\r\n");
  Tick();
  Click(kIdClearData);
  Arrive("$B$\r\nDownload Finish\r\n");
  Tick();
  EXPECT_EQ(dlg.m_strData, "\r\nB\r\n");
  EXPECT_EQ(prompter.messages.size(), 2u);
}

}  // namespace
}  // namespace kestrion

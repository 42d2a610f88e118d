// The download poll of the main window over a pseudo-terminal: every tick is made by the test, after the
// bytes it is to read have arrived at the port.
#include <gtest/gtest.h>

#include <QTest>
#include <QTextCursor>
#include <string>
#include <string_view>

#include "ScriptedPrompter.h"
#include "WindowDriving.h"
#include "app/TransferDlg.h"
#include "common/PseudoTerminal.h"
#include "common/ScratchDir.h"
#include "common/StationHarness.h"

namespace kestrion {
namespace {

using testing_support::AnswerChooser;
using testing_support::Click;
using testing_support::DataBoxOf;
using testing_support::PseudoTerminal;
using testing_support::ScratchDir;
using testing_support::ScriptedPrompter;
using testing_support::SelectPort;
using testing_support::WaitUntil;

class DownloadPoll : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pty.IsValid());
    SelectPort(dlg, pty.SlavePath());
    Click(dlg, CTransferDlg::kIdOpenPort);
    ASSERT_EQ(dlg.m_bPortOpen, 1);
  }

  // The instrument sends `bytes`; returns once the port holds exactly them.
  void Arrive(std::string_view bytes) {
    ASSERT_TRUE(pty.Send(bytes));
    ASSERT_TRUE(
        WaitUntil([&] { return dlg.m_hComm.BytesWaiting() == bytes.size(); }, std::chrono::seconds(5)));
  }
  void Tick() { dlg.OnTimer(CTransferDlg::kDownloadPollTimer); }

  std::string Shown() const { return DataBoxOf(dlg).Bytes().Bytes(); }

  // The operator selects the whole data box and types `text` over it.
  void TypeOver(const char* text) {
    DataBoxOf(dlg).selectAll();
    QTest::keyClicks(&DataBoxOf(dlg), text);
  }

  PseudoTerminal pty;
  ScriptedPrompter prompter;
  CTransferDlg dlg{prompter};
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
    EXPECT_EQ(Shown(), step.data) << step.chunk;
    EXPECT_EQ(dlg.m_strLastMarker, "$");
    EXPECT_EQ(prompter.messages.size(), step.messages) << step.chunk;
    EXPECT_EQ(dlg.m_hComm.BytesWaiting(), 0u);
  }
  EXPECT_EQ(prompter.messages[0].text, messages::kDownloadComplete.toString());
  EXPECT_EQ(prompter.messages[0].icon, Prompter::Icon::Information);
  EXPECT_TRUE(dlg.IsTimerRunning(CTransferDlg::kDownloadPollTimer));  // started again after the message
  EXPECT_TRUE(dlg.m_bUnsavedDownload);
}

TEST_F(DownloadPoll, NothingWaitingLeavesTheOperatorsTypingInTheBox) {
  dlg.m_strData = CString("abc");
  dlg.UpdateData(false);
  QTest::keyClicks(&DataBoxOf(dlg), "X");
  Tick();
  EXPECT_EQ(dlg.m_strData, "abc");
  EXPECT_TRUE(DataBoxOf(dlg).IsEdited());
  EXPECT_FALSE(dlg.m_bUnsavedDownload);

  // A closed port is the same: nothing is read and nothing exchanged.
  ASSERT_TRUE(pty.Send("$A$"));
  Click(dlg, CTransferDlg::kIdClosePort);
  Tick();
  EXPECT_EQ(dlg.m_strData, "abc");
  EXPECT_TRUE(prompter.messages.empty());
}

TEST_F(DownloadPoll, TypingJoinsTheTextBeforeTheNewBytes) {
  Arrive("$A1,2$");
  Tick();
  DataBoxOf(dlg).moveCursor(QTextCursor::End);
  QTest::keyClicks(&DataBoxOf(dlg), "B");
  Arrive("3,4");
  Tick();
  EXPECT_EQ(dlg.m_strData, "\r\nA1,2\r\nB3,4");
  EXPECT_FALSE(DataBoxOf(dlg).IsEdited());
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
// changed text keeps its length and gets a marker at its start by the change, so only a fresh look replaces it.
// A "Finish" that the changed text holds counts as seen: the end of a download is not reported for it.
TEST_F(DownloadPoll, TextTypedByTheOperatorIsExaminedAfresh) {
  Arrive("AAAAAA");
  Tick();
  TypeOver("$Fini$");
  Arrive("$y");
  Tick();
  EXPECT_EQ(dlg.m_strData, "\r\nFini\r\n\r\ny");
  TypeOver("Finish");
  Arrive("y");
  Tick();
  EXPECT_EQ(dlg.m_strData, "Finishy");
  EXPECT_TRUE(prompter.messages.empty());
}

TEST_F(DownloadPoll, EditTakenInAndShownAgainByOtherCommandsIsSeen) {
  Arrive("AAAAAA");
  Tick();
  TypeOver("$Fini$");
  dlg.UpdateData(true);   // as Open port takes the controls in
  dlg.UpdateData(false);  // as another command shows the fields again: the box no longer counts as edited
  ASSERT_FALSE(DataBoxOf(dlg).IsEdited());
  Arrive("$y");
  Tick();
  EXPECT_EQ(dlg.m_strData, "\r\nFini\r\n\r\ny");
}

TEST_F(DownloadPoll, TextLoadedByBrowseIsSeen) {
  ScratchDir dir;
  Arrive("xxxxxxxxxxxx");
  Tick();
  AnswerChooser(prompter, dir.Write("notes.txt", "$Finish,12"));  // loads as "$Finish,12" CR LF: 12 bytes
  Click(dlg, CTransferDlg::kIdBrowse);
  ASSERT_EQ(dlg.m_strData.GetLength(), 12);
  Arrive("$");
  Tick();
  EXPECT_EQ(dlg.m_strData, "\r\nFinish,12\r\n\r\n");
  EXPECT_TRUE(prompter.messages.empty());
}

TEST_F(DownloadPoll, ClearDataBeforeTheNextDownload) {
  Arrive("$A$\r\nDownload Finish\r\n");
  Tick();
  Click(dlg, CTransferDlg::kIdClearData);
  Arrive("$B$\r\nDownload Finish\r\n");
  Tick();
  EXPECT_EQ(dlg.m_strData, "\r\nB\r\n");
  EXPECT_EQ(prompter.messages.size(), 2u);
}

}  // namespace
}  // namespace kestrion

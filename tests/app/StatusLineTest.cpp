// The status line along the bottom of the window, one state at a time, over a pseudo-terminal that plays the
// instrument.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QLabel>
#include <QRadioButton>
#include <QTest>
#include <string>
#include <string_view>

#include "ScriptedPrompter.h"
#include "WindowDriving.h"
#include "app/TransferDlg.h"
#include "common/PseudoTerminal.h"
#include "common/ScratchDir.h"
#include "common/StationHarness.h"
#include "serial/Framing.h"

namespace kestrion {
namespace {

using testing_support::AnswerChooser;
using testing_support::ChooseUploadMode;
using testing_support::Click;
using testing_support::ItemOf;
using testing_support::PathText;
using testing_support::PseudoTerminal;
using testing_support::ScratchDir;
using testing_support::ScriptedPrompter;
using testing_support::SelectPort;
using testing_support::WaitUntil;

const QString kHealthy = QStringLiteral("线路：校验错 0，帧错 0，溢出 0，中断 0，零字节 0，无效字符 0");

class StatusLine : public testing::Test {
 protected:
  void OpenPort() {
    ASSERT_TRUE(pty.IsValid());
    SelectPort(dlg, pty.SlavePath());
    Click(dlg, CTransferDlg::kIdOpenPort);
    ASSERT_EQ(dlg.m_bPortOpen, 1);
  }
  void Arrive(std::string_view bytes) {
    ASSERT_TRUE(testing_support::SendAndWaitForPort(pty, dlg, bytes));
    dlg.OnTimer(CTransferDlg::kDownloadPollTimer);
  }
  // The instrument asks for a line and takes it.
  void Ask() {
    ASSERT_TRUE(pty.Send(kWordStart));
    std::string line;
    while (line.empty() || line.back() != '\n') {
      const std::string byte = pty.Receive(1);
      ASSERT_FALSE(byte.empty());
      line += byte;
    }
  }
  QString Shown() {
    dlg.RefreshStatusLine();
    return dlg.findChild<QLabel*>(QStringLiteral("statusLine"))->text();
  }
  // The line as it reads once the worker has told what `done` waits for.
  template <typename Done>
  QString ShownOnce(Done done) {
    EXPECT_TRUE(WaitUntil([&] { return done(dlg.GetUploadProgress()); }, std::chrono::seconds(5)));
    return Shown();
  }

  PseudoTerminal pty;
  ScriptedPrompter prompter;
  CTransferDlg dlg{prompter};
};

TEST_F(StatusLine, WithoutAPortSaysSo) {
  EXPECT_EQ(Shown(), QStringLiteral("通讯端口未打开"));
}

TEST_F(StatusLine, OpenPortShowsTheLinesHealth) {
  OpenPort();
  EXPECT_EQ(Shown(), kHealthy);
}

TEST_F(StatusLine, UploadShowsTheLineWaitedForThenHowItEnded) {
  OpenPort();
  ChooseUploadMode(dlg);
  dlg.m_strData = CString("P1\r\nP2\r\nP3\r\n");
  Click(dlg, CTransferDlg::kIdUpload);
  EXPECT_TRUE(Shown().startsWith(QStringLiteral("上传：等待全站仪请求第 1 行，共 3 行　|　线路：")));
  Ask();
  Ask();
  const QString running = ShownOnce([](const UploadProgress& p) { return p.linesSent == 2; });
  EXPECT_TRUE(running.startsWith(QStringLiteral("上传：第 3 行，共 3 行，已用 0:0"))) << running.toStdString();
  EXPECT_TRUE(running.contains(QStringLiteral("，约需 0:0"))) << "the pace shows after two requests";
  Ask();
  Ask();
  const QString finished =
      ShownOnce([](const UploadProgress& p) { return p.state == UploadProgress::State::Finished; });
  EXPECT_TRUE(finished.startsWith(QStringLiteral("上传完成：3 行，用时 0:0"))) << finished.toStdString();

  Click(dlg, CTransferDlg::kIdUpload);
  Ask();
  ShownOnce([](const UploadProgress& p) { return p.linesSent == 1; });
  ItemOf<QRadioButton>(dlg, CTransferDlg::kIdDownloadMode)->click();
  EXPECT_EQ(Shown(), QStringLiteral("上传已中止：已发送 1 行，共 3 行　|　") + kHealthy);
}

TEST_F(StatusLine, DownloadShowsBytesRecordsAndTypeThenTheTotals) {
  OpenPort();
  Arrive("$A1,2$\r\n$B3,");
  EXPECT_EQ(Shown(), QStringLiteral("下载：已收到 12 字节，1 条记录（HLN 类型）　|　") + kHealthy);
  Arrive("4$\r\nDownload Finish\r\n");
  EXPECT_EQ(Shown(), QStringLiteral("下载完成：共 33 字节，2 条记录（HLN 类型）　|　") + kHealthy);
}

TEST_F(StatusLine, OutputShowsTheFileAndItsRecordsOrWhyItFailed) {
  ScratchDir dir;
  dlg.m_strData = CString("\r\nA1,2\r\n\r\nB3,4\r\n");
  dlg.m_strLastMarker = CString("&");
  dlg.UpdateData(false);
  AnswerChooser(prompter, dir.Path() / "survey.txt");
  Click(dlg, CTransferDlg::kIdOutput);
  EXPECT_EQ(Shown(), QStringLiteral("已输出 2 条记录：%1").arg(PathText(dir.Path() / "survey.CPT")));

  AnswerChooser(prompter, dir.Path() / "missing" / "survey.txt");
  Click(dlg, CTransferDlg::kIdOutput);
  EXPECT_TRUE(Shown().startsWith(
      QStringLiteral("输出失败：Cannot create %1: ").arg(PathText(dir.Path() / "missing" / "survey.CPT"))));
}

TEST_F(StatusLine, NoiseWithoutMarkersNamesTheSettingsToCompare) {
  OpenPort();
  Arrive(std::string(40, '\xFF'));
  EXPECT_EQ(Shown(), QStringLiteral("⚠ 收到的像是杂乱数据：请核对全站仪的波特率、数据位和校验位"
                                    "（本机：19200 波特，8 数据位，校验位 无）"));
}

// A screen reader reads the label's own text: an accessible name would be read in its place.
TEST_F(StatusLine, AccessibleTextIsTheShownText) {
  OpenPort();
  auto* label = dlg.findChild<QLabel*>(QStringLiteral("statusLine"));
  ASSERT_NE(label, nullptr);
  dlg.show();
  ASSERT_TRUE(QTest::qWaitFor([&] { return label->text() == kHealthy; }, 1000)) << "its own timer writes it";
  QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(label);
  ASSERT_NE(accessible, nullptr);
  EXPECT_EQ(accessible->text(QAccessible::Name), kHealthy);
  EXPECT_FALSE(accessible->text(QAccessible::Description).isEmpty());
}

}  // namespace
}  // namespace kestrion

// The status line along the bottom of the window, one state at a time, over a pseudo-terminal that plays the
// instrument.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <string_view>

#include "PortDriving.h"
#include "WindowDriving.h"
#include "app/ControlTable.h"
#include "app/TransferDlg.h"
#include "common/PseudoTerminal.h"
#include "common/ScratchDir.h"
#include "common/StationHarness.h"
#include "dialog/PathText.h"
#include "serial/Framing.h"

namespace kestrion {
namespace {

using testing_support::PseudoTerminal;
using testing_support::ScratchDir;
using testing_support::WaitUntil;
using testing_support::Window;

// A clean line has nothing to tell: the open port says its settings, a transfer shows only itself.
const std::u16string kHealthy = u"通讯端口已打开：19200 波特，8 数据位，检校位 无";

class StatusLine : public testing::Test, protected Window {
 protected:
  void OpenPort() {
    ASSERT_TRUE(pty.IsValid());
    SelectPort(pty.SlavePath());
    Click(kIdOpenPort);
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
  std::u16string Shown() {
    dlg.RefreshStatusLine();
    return Window::StatusLine();
  }
  // The line as it reads once the worker has told what `done` waits for.
  template <typename Done>
  std::u16string ShownOnce(Done done) {
    EXPECT_TRUE(WaitUntil([&] { return done(dlg.GetUploadProgress()); }, std::chrono::seconds(5)));
    return Shown();
  }

  PseudoTerminal pty;
};

TEST_F(StatusLine, WithoutAPortSaysSo) {
  EXPECT_EQ(Shown(), u"通讯端口未打开");
}

TEST_F(StatusLine, OpenPortShowsTheLinesHealth) {
  OpenPort();
  EXPECT_EQ(Shown(), kHealthy);
  // The whole text is a hover away, where the line is too narrow for it.
  EXPECT_EQ(view.Item(kIdStatusLine).toolTip, kHealthy);
}

TEST_F(StatusLine, UploadShowsTheLineWaitedForThenHowItEnded) {
  OpenPort();
  ChooseUploadMode();
  dlg.m_strData = CString("P1\r\nP2\r\nP3\r\n");
  Click(kIdUpload);
  const std::u16string waiting = Shown();
  EXPECT_EQ(waiting, u"上传：等待全站仪请求第 1 行，共 3 行");
  Ask();
  Ask();
  const std::u16string running = ShownOnce([](const UploadProgress& p) { return p.linesSent == 2; });
  EXPECT_TRUE(running.starts_with(u"上传：第 3 行，共 3 行，已用 0:0")) << testing::PrintToString(running);
  EXPECT_NE(running.find(u"，约需 0:0"), std::u16string::npos) << "the pace shows after two requests";
  Ask();
  Ask();
  const std::u16string finished =
      ShownOnce([](const UploadProgress& p) { return p.state == UploadProgress::State::Finished; });
  EXPECT_TRUE(finished.starts_with(u"上传完成：3 行，用时 0:0")) << testing::PrintToString(finished);

  Click(kIdUpload);
  Ask();
  ShownOnce([](const UploadProgress& p) { return p.linesSent == 1; });
  ChooseDownloadMode();
  EXPECT_EQ(Shown(), u"上传已中止：已发送 1 行，共 3 行");
}

TEST_F(StatusLine, DownloadShowsBytesRecordsAndTypeThenTheTotals) {
  OpenPort();
  Arrive("$A1,2$\r\n$B3,");
  EXPECT_EQ(Shown(), u"下载：已收到 12 字节，1 条记录（HLN 类型）");
  Arrive("4$\r\nDownload Finish\r\n");
  EXPECT_EQ(Shown(), u"下载完成：共 33 字节，2 条记录（HLN 类型）");
}

TEST_F(StatusLine, OutputShowsTheFileAndItsRecordsOrWhyItFailed) {
  ScratchDir dir;
  dlg.m_strData = CString("\r\nA1,2\r\n\r\nB3,4\r\n");
  dlg.m_strLastMarker = CString("&");
  dlg.UpdateData(false);
  AnswerChooser(dir.Path() / "survey.txt");
  Click(kIdOutput);
  EXPECT_EQ(Shown(), u"已输出 2 条记录：" + PathText(dir.Path() / "survey.CPT"));

  AnswerChooser(dir.Path() / "missing" / "survey.txt");
  Click(kIdOutput);
  const std::u16string failed = Shown();
  EXPECT_TRUE(failed.starts_with(u"输出失败：Cannot create " +
                                 PathText(dir.Path() / "missing" / "survey.CPT") + u": "))
      << testing::PrintToString(failed);
}

TEST_F(StatusLine, NoiseWithoutMarkersNamesTheSettingsToCompare) {
  OpenPort();
  Arrive(std::string(40, '\xFF'));
  EXPECT_EQ(Shown(),
            u"⚠ 收到的像是杂乱数据：请核对全站仪的波特率、数据位和校验位"
            u"（本机：19200 波特，8 数据位，检校位 无）"
            u"　|　线路：校验错 0，帧错 0，中断 0，零字节 0，无效字符 40");
}

// The line is written by its own timer, without a command asking for it.
TEST_F(StatusLine, ItsOwnTimerWritesIt) {
  OpenPort();
  EXPECT_TRUE(WaitFor([&] { return Window::StatusLine() == kHealthy; }));
  // A screen reader reads the line's own text; the description tells what the line is.
  EXPECT_FALSE(view.Item(kIdStatusLine).description.empty());
}

}  // namespace
}  // namespace kestrion

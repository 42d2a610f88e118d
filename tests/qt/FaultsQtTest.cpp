// The Qt window under a long download: what its text box keeps for the text it shows.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QPushButton>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <chrono>
#include <string>

#include "ScriptedPrompter.h"
#include "app/ControlTable.h"
#include "app/TransferDlg.h"
#include "common/PseudoTerminal.h"
#include "common/StationHarness.h"
#include "qt/DataBox.h"
#include "qt/QtDialogWindow.h"
#include "serial/SerialPort.h"

namespace kestrion {
namespace {

using testing_support::PseudoTerminal;
using testing_support::ScriptedPrompter;
using testing_support::WaitUntil;

constexpr std::chrono::milliseconds kWait{10000};
constexpr int kBaudIndex38400 = 3;

// A block that has been laid out keeps its layout for as long as it exists, a few hundred bytes each, which
// for a download of short records is more than the text itself. Only what the box shows may be laid out, not
// every block that was the last one when a read arrived.
TEST(DownloadMemory, ShownDataBoxLaysOutOnlyTheLinesInView) {
  PseudoTerminal instrument;
  ASSERT_TRUE(instrument.IsValid());
  ScriptedPrompter prompter;
  CTransferDlg dlg(prompter);
  QtDialogWindow window(dlg);
  window.show();
  dlg.AddPortEntry(instrument.SlavePath());
  dlg.m_cbPort.SetCurSel(dlg.m_cbPort.GetCount() - 1);
  dlg.m_cbBaud.SetCurSel(kBaudIndex38400);
  qobject_cast<QPushButton*>(window.GetDlgItem(kIdOpenPort))->click();
  ASSERT_EQ(dlg.m_bPortOpen, 1);
  std::string stream;
  for (int i = 1; i <= 2000; ++i) stream += "$P" + std::to_string(i) + ",1.0$\r\n";
  for (std::size_t at = 0; at < stream.size(); at += kMaxReadBytes) {
    const std::string chunk = stream.substr(at, kMaxReadBytes);
    ASSERT_TRUE(instrument.Send(chunk));
    ASSERT_TRUE(WaitUntil([&] { return dlg.m_hComm.BytesWaiting() == chunk.size(); }, kWait));
    dlg.OnTimer(CTransferDlg::kDownloadPollTimer);
    QCoreApplication::processEvents();  // the box repaints between reads, as it does between polls
  }
  const DataBox& box = *qobject_cast<DataBox*>(window.GetDlgItem(kIdData));
  const QTextDocument& document = *box.document();
  ASSERT_GT(document.blockCount(), 4000);
  int laidOut = 0;
  for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
    if (block.layout()->lineCount() > 0) ++laidOut;
  }
  EXPECT_LT(laidOut, 100) << "of " << document.blockCount() << " blocks";
  // Edited in place read after read, the box still holds exactly the data text.
  EXPECT_EQ(dlg.Codec().Encode(box.Text().toStdU16String()), dlg.m_strData.Bytes());
}

}  // namespace
}  // namespace kestrion

// A download appends at most 254 bytes per poll to a text that may have grown to megabytes; the data box must
// not decode the whole text again for that, nor compare it. Whole decodes are measured beside for comparison.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "app/ControlTable.h"
#include "app/TransferDlg.h"
#include "common/PseudoTerminal.h"
#include "dialog/DisplayCodec.h"
#include "qt/QtConverter.h"
#include "qt/QtDialogWindow.h"

namespace {

std::string DownloadedText(std::size_t size) {
  const std::string record = "&1001,2345.678,\xB5\xC0\xC2\xB7,12.5\r\n";
  std::string text;
  text.reserve(size + record.size());
  while (text.size() < size) text += record;
  return text;
}

// Appends one read of 254 bytes of records to a text of state.range(0) bytes in the Qt data box, and cuts it
// off again, as a refresh that has to find the change itself.
void BM_DataBoxAppend(benchmark::State& state) {
  kestrion::CTransferDlg dlg;
  kestrion::QtDialogWindow window(dlg);
  const kestrion::CString base(DownloadedText(static_cast<std::size_t>(state.range(0))));
  const kestrion::CString appended = base + kestrion::CString(DownloadedText(254).substr(0, 254));
  dlg.m_edData.SetBytes(base);
  for (auto _ : state) {
    dlg.m_edData.SetBytes(appended);
    dlg.m_edData.SetBytes(base);
  }
}
BENCHMARK(BM_DataBoxAppend)->Arg(1 << 20)->Arg(10 << 20)->Unit(benchmark::kMillisecond);

// The cost a refresh would have if it decoded everything.
void BM_DecodeWholeText(benchmark::State& state) {
  const std::string text = DownloadedText(static_cast<std::size_t>(state.range(0)));
  const kestrion::DisplayCodec& codec = kestrion::DisplayCodec::Of(kestrion::QtGbkConverter());
  for (auto _ : state) benchmark::DoNotOptimize(codec.Decode(text));
}
BENCHMARK(BM_DecodeWholeText)->Arg(1 << 20)->Arg(10 << 20)->Unit(benchmark::kMillisecond);

// The whole download poll of the Qt window at a 10 MB data text: one read of 254 bytes from a pseudo-terminal,
// reception, the data box refreshed. Range 1 adds the status line written after it, as its own timer does every
// 100 ms; range 2 times that write alone.
void BM_WindowPoll(benchmark::State& state) {
  kestrion::testing_support::PseudoTerminal pty;
  kestrion::CTransferDlg dlg;
  kestrion::QtDialogWindow window(dlg);
  dlg.AddPortEntry(pty.SlavePath());
  dlg.m_cbPort.SetCurSel(dlg.m_cbPort.GetCount() - 1);
  dlg.OnOpenPort();
  if (dlg.m_bPortOpen == 0) {
    state.SkipWithError("the pseudo-terminal did not open");
    return;
  }
  dlg.m_strData = kestrion::CString(DownloadedText(10 << 20));
  dlg.UpdateData(false);
  const std::string read = DownloadedText(254).substr(0, 254);
  // The first poll turns the markers of the whole text into line ends, as the download that brought it would have
  // done read by read; the polls measured are those of a download going on.
  pty.Send(read);
  while (dlg.m_hComm.BytesWaiting().value_or(0) < read.size()) std::this_thread::yield();
  dlg.DownloadPoll();
  for (auto _ : state) {
    pty.Send(read);
    while (dlg.m_hComm.BytesWaiting().value_or(0) < read.size()) std::this_thread::yield();
    auto start = std::chrono::steady_clock::now();
    if (state.range(0) == 2) {
      dlg.DownloadPoll();
      start = std::chrono::steady_clock::now();
      dlg.RefreshStatusLine();
    } else {
      dlg.DownloadPoll();
      if (state.range(0) != 0) dlg.RefreshStatusLine();
    }
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
}
BENCHMARK(BM_WindowPoll)->Arg(0)->Arg(1)->Arg(2)->UseManualTime()->Iterations(300)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char* argv[]) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

// Peak memory of a 10 MB download, against the size of the data text it leaves: reception alone, reception
// with the data box refreshed after every read, and the whole window polling a pseudo-terminal on which the
// bench plays the instrument. Each runs in a child process of its own, so that its peak (ru_maxrss) is its
// own; the counters give the data text, the resident size before the download, the peak, and the peak's
// growth over the data text.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "app/TransferDlg.h"
#include "dialog/Prompter.h"
#include "qt/QtDialogWindow.h"
#include "download/Reception.h"
#include "serial/SerialPort.h"

namespace kestrion {
namespace {

constexpr std::size_t kDownloadBytes = 10u << 20;

// Framed HLN records as the instrument sends them, a Chinese point name in each, then the end word.
std::string RecordStream(std::size_t bytes) {
  std::string stream;
  stream.reserve(bytes + 64);
  char record[96];
  for (int n = 1; stream.size() < bytes; ++n) {
    std::snprintf(record, sizeof record, "$P%06d,%d.%03d,%d.%03d,12.345,\xB5\xC0\xC2\xB7$\r\n", n,
                  3000 + n % 997, n % 1000, 5000 + n % 991, (n * 7) % 1000);
    stream += record;
  }
  stream += "Download Finish\r\n";
  return stream;
}

long ResidentKilobytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  }
  return 0;
}

long PeakKilobytes() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

struct Measure {
  long dataBytes = 0;
  long baselineKb = 0;  // resident before the first read
  long peakKb = 0;
};

enum class Scenario { Reception, ReceptionAndDataBox, Window };

class SilentPrompter : public Prompter {
 public:
  Answer MessageBox(std::u16string_view, Icon, Buttons buttons) override {
    return buttons == Buttons::YesNo ? Answer::Yes : Answer::Ok;
  }
  std::optional<std::filesystem::path> ChooseOpenFile(std::span<const FileFilter>, bool) override {
    return std::nullopt;
  }
  int RunModal(CDialog&) override { return kIdCancel; }
};

Measure RunReception(const std::string& stream, bool withBox) {
  // The data box of a window that is built but never polls.
  SilentPrompter prompter;
  CTransferDlg dlg(prompter);
  QtDialogWindow window(dlg);
  CByteTextBox& box = dlg.m_edData;
  Reception reception;
  CString data;
  CString lastMarker;
  Measure measure;
  measure.baselineKb = ResidentKilobytes();
  for (std::size_t at = 0; at < stream.size(); at += kMaxReadBytes) {
    // As the window's poll does: the box into the field, the read, the field into the box.
    if (withBox) box.CopyBytesTo(data);
    const std::uint64_t before = data.ContentId();
    const ReceptionStep step =
        reception.Step(data, lastMarker, CString(std::string_view(stream).substr(at, kMaxReadBytes)));
    const TextChange change{before, data.ContentId(), step.changedFrom};
    if (withBox) box.SetBytes(data, &change);
  }
  measure.dataBytes = data.GetLength();
  return measure;
}

// The window polls the port as its timer would, one full read at a time; the bench writes each read's bytes
// to the pseudo-terminal and lets the window take them before it writes the next.
Measure RunWindow(const std::string& stream) {
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) return {};
  std::array<char, 128> name{};
  if (::ptsname_r(master, name.data(), name.size()) != 0) return {};

  SilentPrompter prompter;
  CTransferDlg dlg(prompter);
  QtDialogWindow window(dlg);
  window.show();
  dlg.AddPortEntry(name.data());
  dlg.m_cbPort.SetCurSel(dlg.m_cbPort.GetCount() - 1);
  dlg.OnOpenPort();
  if (dlg.m_bPortOpen == 0) return {};
  QCoreApplication::processEvents();

  Measure measure;
  measure.baselineKb = ResidentKilobytes();
  int reads = 0;
  for (std::size_t at = 0; at < stream.size(); at += kMaxReadBytes) {
    const std::string_view chunk = std::string_view(stream).substr(at, kMaxReadBytes);
    if (::write(master, chunk.data(), chunk.size()) != static_cast<ssize_t>(chunk.size())) return {};
    while (dlg.m_hComm.BytesWaiting().value_or(0) < chunk.size())
      dlg.m_hComm.WaitForBytes(std::chrono::milliseconds(5));
    dlg.OnTimer(CTransferDlg::kDownloadPollTimer);
    // Now and then the window paints, as it would about once a second of a real download.
    if (++reads % 20 == 0) QCoreApplication::processEvents();
  }
  QCoreApplication::processEvents();
  measure.dataBytes = dlg.m_strData.GetLength();
  dlg.OnClosePort();
  ::close(master);
  return measure;
}

Measure RunInChild(Scenario scenario) {
  int fds[2];
  if (::pipe(fds) != 0) return {};
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    int argc = 1;
    char program[] = "faults_bench";
    char* argv[] = {program, nullptr};
    Measure measure;
    {
      QApplication application(argc, argv);
      const std::string stream = RecordStream(kDownloadBytes);
      switch (scenario) {
        case Scenario::Reception:
          measure = RunReception(stream, false);
          break;
        case Scenario::ReceptionAndDataBox:
          measure = RunReception(stream, true);
          break;
        case Scenario::Window:
          measure = RunWindow(stream);
          break;
      }
      measure.peakKb = PeakKilobytes();
    }
    [[maybe_unused]] const ssize_t written = ::write(fds[1], &measure, sizeof measure);
    ::_exit(0);
  }
  ::close(fds[1]);
  Measure measure;
  if (::read(fds[0], &measure, sizeof measure) != sizeof measure) measure = {};
  ::close(fds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  return measure;
}

void BM_DownloadPeakMemory(benchmark::State& state) {
  const auto scenario = static_cast<Scenario>(state.range(0));
  Measure measure;
  for (auto _ : state) measure = RunInChild(scenario);
  if (measure.dataBytes == 0) {
    state.SkipWithError("the download did not run");
    return;
  }
  const double data = static_cast<double>(measure.dataBytes);
  const double growth = static_cast<double>(measure.peakKb - measure.baselineKb) * 1024;
  state.counters["data_MB"] = data / (1 << 20);
  state.counters["baseline_MB"] = static_cast<double>(measure.baselineKb) / 1024;
  state.counters["peak_MB"] = static_cast<double>(measure.peakKb) / 1024;
  state.counters["growth_per_data"] = growth / data;
}
// 0: reception alone; 1: reception and the data box; 2: the window over a pseudo-terminal.
BENCHMARK(BM_DownloadPeakMemory)->Arg(0)->Arg(1)->Arg(2)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
}  // namespace kestrion

// How soon the upload worker answers the instrument's request for the next line, and how many lines a second
// an upload moves when the instrument asks again as soon as a line has come. The worker that waits for bytes
// is set against one that sleeps a whole poll period between its looks at the port, in the same run.
#include <benchmark/benchmark.h>
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "common/PseudoTerminal.h"
#include "serial/Framing.h"
#include "serial/SerialPort.h"
#include "upload/UploadWorker.h"

namespace kestrion {
namespace {

using Clock = std::chrono::steady_clock;
using UploadProc = unsigned (*)(SerialPort&, UploadShared&, std::stop_token);

// The same cycle with a fixed sleep in place of the wait for bytes.
unsigned SleepingUploadProc(SerialPort& port, UploadShared& shared, std::stop_token stop) {
  int lineIndex = 0;
  bool finished = false;
  CString request;
  while (!finished && !stop.stop_requested()) {
    const ChunkRead read = ReadChunk(port);
    if (read.readBytes) {
      {
        std::lock_guard lock(shared.lock);
        shared.status += read.chunk;
      }
      request += read.chunk;
    }
    if (request.Find(kWordStart) >= 0) {
      CString line;
      int lineCount = 0;
      {
        std::lock_guard lock(shared.lock);
        lineCount = shared.uploadLines.GetSize();
        if (lineIndex < lineCount) line = shared.uploadLines.GetAt(lineIndex);
      }
      if (lineIndex < lineCount) port.Write(LineForSending(line).View());
      request.Empty();
      finished = ++lineIndex >= lineCount;
    }
    std::this_thread::sleep_for(kUploadPollPeriod);
  }
  return 0;
}

struct InstrumentRun {
  std::vector<double> latenciesUs;  // from a request to the first byte of its answer
  double seconds = 0;
  bool complete = false;
};

// Asks for every line as soon as the previous one has come in whole, up to and including the closing line.
InstrumentRun PlayInstrument(testing_support::PseudoTerminal& pty, int lineCount) {
  InstrumentRun run;
  run.latenciesUs.reserve(static_cast<std::size_t>(lineCount));
  const Clock::time_point begin = Clock::now();
  for (int i = 0; i < lineCount; ++i) {
    const Clock::time_point asked = Clock::now();
    if (!pty.Send(kWordStart)) return run;
    std::string line = pty.Receive(1);
    if (line.empty()) return run;
    run.latenciesUs.push_back(std::chrono::duration<double, std::micro>(Clock::now() - asked).count());
    while (line.back() != '\n') {
      const std::string more = pty.Receive(1);
      if (more.empty()) return run;
      line += more;
    }
  }
  run.seconds = std::chrono::duration<double>(Clock::now() - begin).count();
  run.complete = true;
  return run;
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
  std::nth_element(values.begin(), middle, values.end());
  return *middle;
}

template <UploadProc Proc>
void Upload(benchmark::State& state) {
  const int recordCount = static_cast<int>(state.range(0));
  CString text;
  for (int i = 0; i < recordCount; ++i) {
    CString record;
    record.Format("P%d,%d.125,%d.250,12.500", i, 3000 + i, 5000 + i);
    text += FrameRecord(MarkerOf(RecordType::Cpt), record);
  }
  for (auto _ : state) {
    testing_support::PseudoTerminal pty;
    SerialPort port;
    if (!pty.IsValid() || !port.Open(pty.SlavePath()) || !port.Configure({})) {
      state.SkipWithError("no pseudo-terminal");
      return;
    }
    UploadShared shared;
    PrepareUploadLines(text, shared.uploadLines);
    const int lineCount = shared.uploadLines.GetSize();
    std::jthread worker([&](std::stop_token stop) { Proc(port, shared, std::move(stop)); });
    const InstrumentRun run = PlayInstrument(pty, lineCount);
    worker.request_stop();
    worker.join();
    if (!run.complete) {
      state.SkipWithError("the upload stalled");
      return;
    }
    state.SetIterationTime(run.seconds);
    state.counters["lines"] = lineCount;
    state.counters["lines_per_s"] = lineCount / run.seconds;
    state.counters["median_start_to_byte_us"] = Median(run.latenciesUs);
  }
}

BENCHMARK(Upload<UploadThreadProc>)
    ->Name("UploadWaitingForBytes")
    ->Arg(2000)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
// A whole period per line: fewer lines keep the run short; the rate and the latency compare all the same.
BENCHMARK(Upload<SleepingUploadProc>)
    ->Name("UploadSleepingAPeriod")
    ->Arg(100)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace kestrion

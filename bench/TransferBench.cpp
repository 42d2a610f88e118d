// What the judgement and the probe cost: a download poll of 254 bytes on the window's thread while the probe
// runs (data sent at 9600 and read at 19200), the same poll on a clean line, where nothing but the counting
// runs, and the probe's learning of the offered settings for one setting of the port.
#include <benchmark/benchmark.h>

#include <string>

#include "transfer/LineModel.h"
#include "transfer/SettingsProbe.h"
#include "transfer/SurveyText.h"
#include "transfer/TransferReport.h"

namespace kestrion {
namespace {

using testing_support::SurveyKind;
using testing_support::SurveyWriter;

void Polls(benchmark::State& state, const LineSettings& sentAs) {
  const LineSettings port;
  const std::string arrived = ValuesOf(ReadAs(SurveyWriter(5).Download(SurveyKind::Cpt, 400), sentAs, port));
  const std::vector<ChunkRead> reads = testing_support::ChunkReads(arrived);
  TransferReport report;
  report.ConnectionOpened(port);
  // The probe has learned, and enough has come that it runs at every poll.
  for (std::size_t i = 0; i < 4; ++i) report.ReadArrived(reads[i], ReceptionStep{}, {});
  std::size_t next = 4;
  for (auto _ : state) {
    report.ReadArrived(reads[next], ReceptionStep{}, {});
    benchmark::DoNotOptimize(report.Warning());
    next = next + 1 < reads.size() ? next + 1 : 4;
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(kMaxReadBytes));
}

void BM_PollWithTheProbeRunning(benchmark::State& state) {
  Polls(state, {9600, 8, Parity::None, true, 2});
}
BENCHMARK(BM_PollWithTheProbeRunning)->Unit(benchmark::kMicrosecond);

void BM_PollOnACleanLine(benchmark::State& state) {
  Polls(state, LineSettings{});
}
BENCHMARK(BM_PollOnACleanLine)->Unit(benchmark::kMicrosecond);

void BM_LearnTheOfferedSettings(benchmark::State& state) {
  const LineSettings& port = OfferedSettings()[static_cast<std::size_t>(state.range(0))];
  for (auto _ : state) {
    SettingsProbe probe;
    probe.Relearn(port);
    benchmark::DoNotOptimize(probe);
  }
}
// The port at 4800 (the fewest bytes to learn from) and at 38400 8N (the most).
BENCHMARK(BM_LearnTheOfferedSettings)->Arg(0)->Arg(21)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace kestrion

// A download appends at most 254 bytes per poll to a text that may have grown to megabytes; the data box must
// not decode the whole text again for that. Whole decodes are measured beside for comparison.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <cstdlib>
#include <string>

#include "app/DataBox.h"
#include "app/DisplayCodec.h"

namespace {

std::string DownloadedText(std::size_t size) {
  const std::string record = "&1001,2345.678,\xB5\xC0\xC2\xB7,12.5\r\n";
  std::string text;
  text.reserve(size + record.size());
  while (text.size() < size) text += record;
  return text;
}

// Appends one read of 254 bytes of records to a text of state.range(0) bytes, and cuts it off again.
void BM_DataBoxAppend(benchmark::State& state) {
  const kestrion::CString base(DownloadedText(static_cast<std::size_t>(state.range(0))));
  const kestrion::CString appended = base + kestrion::CString(DownloadedText(254).substr(0, 254));
  kestrion::DataBox box;
  box.SetBytes(base);
  for (auto _ : state) {
    box.SetBytes(appended);
    box.SetBytes(base);
  }
}
BENCHMARK(BM_DataBoxAppend)->Arg(1 << 20)->Arg(10 << 20)->Unit(benchmark::kMillisecond);

// The cost a refresh would have if it decoded everything.
void BM_DecodeWholeText(benchmark::State& state) {
  const std::string text = DownloadedText(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(kestrion::DisplayCodec::Instance().Decode(text));
}
BENCHMARK(BM_DecodeWholeText)->Arg(1 << 20)->Arg(10 << 20)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char* argv[]) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

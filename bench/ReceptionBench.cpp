// One download poll with a full 254-byte read, at data texts of 10 KB, 1 MB and 10 MB: the incremental
// reception against the whole-text reference, in the same run.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "download/Reception.h"
#include "reference/NaiveReception.h"

namespace kestrion {
namespace {

constexpr std::size_t kReadSize = 254;
constexpr std::size_t kMaxPollsPerText = 1024;

// Framed HLN records as the instrument sends them, a Chinese point name in each.
std::string RecordStream(std::size_t bytes, int firstNumber) {
  std::string stream;
  char record[96];
  for (int n = firstNumber; stream.size() < bytes; ++n) {
    std::snprintf(record, sizeof record, "$P%06d,%d.%03d,%d.%03d,12.345,\xB5\xC0\xC2\xB7$\r\n", n, 3000 + n % 997,
                  n % 1000, 5000 + n % 991, (n * 7) % 1000);
    stream += record;
  }
  return stream;
}

// What reception leaves of a stream: line ends of the reads dropped, every marker a line end.
CString Received(const std::string& stream) {
  CString text(stream);
  text.Remove('\r');
  text.Remove('\n');
  text.Replace('$', kLineEnd);
  return text;
}

std::vector<CString> Reads(const std::string& stream) {
  std::vector<CString> reads;
  for (std::size_t at = 0; at + kReadSize <= stream.size(); at += kReadSize) {
    reads.emplace_back(stream.substr(at, kReadSize));
  }
  return reads;
}

template <typename Impl>
void Poll(benchmark::State& state) {
  const auto size = static_cast<std::size_t>(state.range(0));
  const CString start = Received(RecordStream(size, 0));
  // The text is set back to its starting size before the reads have made it 10 % longer.
  const std::size_t polls = std::clamp<std::size_t>(size / (10 * kReadSize), 4, kMaxPollsPerText);
  const std::vector<CString> reads = Reads(RecordStream(kReadSize * polls, 900000));
  Impl reception;
  CString data;
  CString lastMarker;
  std::size_t next = reads.size();
  for (auto _ : state) {
    if (next == reads.size()) {  // untimed: back to the starting text, as a fresh window would find it
      data = start;
      data.Reserve(start.GetLength() + static_cast<int>(kReadSize * (polls + 1)));
      reception.Restart();
      reception.Step(data, lastMarker, CString());
      next = 0;
    }
    const auto begin = std::chrono::steady_clock::now();
    const ReceptionStep step = reception.Step(data, lastMarker, reads[next++]);
    const auto end = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(step);
    state.SetIterationTime(std::chrono::duration<double>(end - begin).count());
  }
  state.counters["text_MB"] = static_cast<double>(data.GetLength()) / (1 << 20);
}

// The poll that brings the end word, repeated: each one is a new "Finish" and runs the closing steps. A fixed
// number of polls keeps the text near its starting size.
template <typename Impl>
void EndPoll(benchmark::State& state) {
  CString data = Received(RecordStream(static_cast<std::size_t>(state.range(0)), 0));
  data.Reserve(data.GetLength() * 2);
  CString lastMarker;
  Impl reception;
  reception.Step(data, lastMarker, CString());
  const CString read("$P999999,1.000,2.000,3.000$\r\nDownload Finish\r\n");
  for (auto _ : state) {
    const ReceptionStep step = reception.Step(data, lastMarker, read);
    benchmark::DoNotOptimize(step);
  }
}

void Sizes(benchmark::internal::Benchmark* b) {
  b->Arg(10 << 10)->Arg(1 << 20)->Arg(10 << 20)->Unit(benchmark::kMicrosecond);
}

BENCHMARK_TEMPLATE(Poll, Reception)->Apply(Sizes)->UseManualTime();
BENCHMARK_TEMPLATE(Poll, NaiveReception)->Apply(Sizes)->UseManualTime();
BENCHMARK_TEMPLATE(EndPoll, Reception)->Apply(Sizes)->Iterations(200);
BENCHMARK_TEMPLATE(EndPoll, NaiveReception)->Apply(Sizes)->Iterations(200);

}  // namespace
}  // namespace kestrion

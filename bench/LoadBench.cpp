// Browse's load of a large .CPT file and of a road file, each beside a plain std::getline loop over the same
// bytes, which is the floor that a load can hope to reach.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "upload/UploadSource.h"

namespace {

constexpr std::size_t kCptBytes = 50u * 1024u * 1024u;
constexpr int kRoads = 100;
constexpr int kRoadRecords = 500'000;

std::string Record(long n) {
  char text[160];
  std::snprintf(text, sizeof text, "P%ld,%ld.%03ld,%ld.%03ld,%ld.%03ld", n, 3500000 + n, n % 1000,
                500000 + 7 * n, (n * 13) % 1000, 40 + n % 60, (n * 7) % 1000);
  return text;
}

class Files {
 public:
  Files() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kestrion-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    m_dir = pattern;
    m_cpt = m_dir / "big.CPT";
    m_hln = m_dir / "roads.HLN";
    {
      std::ofstream out(m_cpt, std::ios::binary);
      std::size_t written = 0;
      for (long n = 0; written < kCptBytes; ++n) {
        const std::string line = Record(n) + "\r\n";
        out << line;
        written += line.size();
      }
    }
    {
      std::ofstream out(m_hln, std::ios::binary);
      out << "BeginRoad,1\r\n";
      long n = 0;
      for (int road = 0; road < kRoads; ++road) {
        out << ">>Road" << road << ',' << kRoadRecords / kRoads << "\r\n";
        for (int i = 0; i < kRoadRecords / kRoads; ++i) out << Record(n++) << "\r\n";
      }
      out << "EndRoad\r\n";
    }
  }
  ~Files() {
    std::error_code ignored;
    std::filesystem::remove_all(m_dir, ignored);
  }
  const std::filesystem::path& Cpt() const { return m_cpt; }
  const std::filesystem::path& Hln() const { return m_hln; }

 private:
  std::filesystem::path m_dir;
  std::filesystem::path m_cpt;
  std::filesystem::path m_hln;
};

const Files& TheFiles() {
  static const Files files;
  return files;
}

void Load(benchmark::State& state, const std::filesystem::path& file) {
  for (auto _ : state) {
    kestrion::UploadSource source;
    const kestrion::LoadResult result = kestrion::LoadUploadSource(file, source);
    if (!result.opened || result.readError) state.SkipWithError("load failed");
    benchmark::DoNotOptimize(source.data.GetLength());
    benchmark::DoNotOptimize(source.roadData.size());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(std::filesystem::file_size(file)));
}

void Getline(benchmark::State& state, const std::filesystem::path& file) {
  for (auto _ : state) {
    std::ifstream in(file, std::ios::binary);
    std::string line;
    std::size_t lines = 0;
    while (std::getline(in, line)) ++lines;
    benchmark::DoNotOptimize(lines);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(std::filesystem::file_size(file)));
}

void BM_LoadCpt(benchmark::State& state) {
  Load(state, TheFiles().Cpt());
}
void BM_GetlineCpt(benchmark::State& state) {
  Getline(state, TheFiles().Cpt());
}
void BM_LoadHln(benchmark::State& state) {
  Load(state, TheFiles().Hln());
}
void BM_GetlineHln(benchmark::State& state) {
  Getline(state, TheFiles().Hln());
}

BENCHMARK(BM_GetlineCpt)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadCpt)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GetlineHln)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadHln)->Unit(benchmark::kMillisecond);

}  // namespace

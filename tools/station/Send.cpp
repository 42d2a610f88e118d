#include "Send.h"

#include <algorithm>

#include "serial/Framing.h"
#include "transfer/LineModel.h"

namespace kestrion::station {
namespace {

constexpr std::size_t kMinWrite = 1;
constexpr std::size_t kMaxWrite = 64;
// Separate streams of draws for separate purposes, so that asking for noise does not change the write sizes.
constexpr std::uint32_t kWriteSizeStream = 0;
constexpr std::uint32_t kNoiseStream = 1;

std::mt19937 Generator(std::uint32_t seed, std::uint32_t purpose) {
  std::seed_seq sequence{seed, purpose};
  return std::mt19937(sequence);
}

// The marker after `marker` in table order, wrapping round.
char OtherMarker(char marker) {
  for (std::size_t i = 0; i < kMarkerTable.size(); ++i) {
    if (kMarkerTable[i].marker == marker) return kMarkerTable[(i + 1) % kMarkerTable.size()].marker;
  }
  return kMarkerTable.front().marker;
}

}  // namespace

std::uint32_t Draw(std::mt19937& generator, std::uint32_t low, std::uint32_t high) {
  const std::uint64_t span = std::uint64_t{high} - low + 1;
  // Rejection keeps every value equally likely.
  const std::uint64_t limit = (std::uint64_t{1} << 32) - ((std::uint64_t{1} << 32) % span);
  for (;;) {
    const std::uint64_t value = generator();
    if (value < limit) return low + static_cast<std::uint32_t>(value % span);
  }
}

std::vector<std::string> SplitRecords(std::string_view fileBytes) {
  std::vector<std::string> records;
  while (!fileBytes.empty()) {
    const std::size_t end = fileBytes.find('\n');
    std::string_view line = fileBytes.substr(0, end);
    fileBytes = end == std::string_view::npos ? std::string_view() : fileBytes.substr(end + 1);
    while (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    records.emplace_back(line);
  }
  return records;
}

StreamBuild BuildSendStream(std::string_view fileBytes, const SendOptions& options) {
  SendStream stream;
  std::mt19937 noise = Generator(options.seed, kNoiseStream);
  if (options.raw) {
    stream.bytes = std::string(fileBytes);
  } else {
    std::vector<std::string> records = SplitRecords(fileBytes);
    for (std::size_t i = 0; i < records.size(); ++i) {
      if (records[i].find('\0') != std::string::npos) {
        return {std::nullopt,
                "record " + std::to_string(i + 1) +
                    " holds a zero byte, which a framed record cannot carry (send it with --raw)"};
      }
    }
    if (options.finishRecord && !records.empty()) {
      const auto after =
          static_cast<std::size_t>(Draw(noise, 0, static_cast<std::uint32_t>(records.size() - 1)));
      records.insert(records.begin() + static_cast<std::ptrdiff_t>(after) + 1,
                     records[after] + "," + kWordFinish);
      stream.finishRecord = static_cast<int>(after) + 1;
    }
    const char marker = *options.marker;
    if (options.mixedMarker && !records.empty()) {
      stream.mixedRecord = static_cast<int>(Draw(noise, 0, static_cast<std::uint32_t>(records.size() - 1)));
      stream.mixedMarker = OtherMarker(marker);
    }
    for (std::size_t i = 0; i < records.size(); ++i) {
      const bool mixed = stream.mixedRecord && static_cast<std::size_t>(*stream.mixedRecord) == i;
      stream.bytes += FrameRecord(mixed ? *stream.mixedMarker : marker, CString(records[i])).Bytes();
    }
    stream.records = static_cast<int>(records.size());
  }
  if (!options.noFinish) {
    stream.bytes += kWordDownloadFinish;
    stream.bytes += kLineEnd;
  }
  if (options.zeroBytes > 0) {
    // Places in the clean stream, each as likely as any other (0 = before the first byte); inserted from the
    // back so that earlier places stay where they were drawn.
    std::vector<std::size_t> places;
    places.reserve(static_cast<std::size_t>(options.zeroBytes));
    for (int i = 0; i < options.zeroBytes; ++i) {
      places.push_back(
          Draw(noise, 0, static_cast<std::uint32_t>(std::min<std::size_t>(stream.bytes.size(), 0xFFFFFFFE))));
    }
    std::sort(places.begin(), places.end(), std::greater<>());
    for (const std::size_t place : places) stream.bytes.insert(place, 1, '\0');
    stream.zeroBytes = options.zeroBytes;
  }
  return {std::move(stream), {}};
}

int BitsPerByte(const LineSettings& settings) {
  return 1 + settings.dataBits + (settings.parity == Parity::None ? 0 : 1) + settings.stopBits;
}

std::chrono::nanoseconds BytePeriod(const LineSettings& settings) {
  return std::chrono::nanoseconds(std::int64_t{1'000'000'000} * BitsPerByte(settings) / settings.baudRate);
}

std::vector<std::size_t> WriteSizes(std::size_t total, std::uint32_t seed) {
  std::mt19937 generator = Generator(seed, kWriteSizeStream);
  std::vector<std::size_t> sizes;
  std::size_t left = total;
  while (left > 0) {
    const std::size_t size =
        std::min<std::size_t>(left, Draw(generator, kMinWrite, static_cast<std::uint32_t>(kMaxWrite)));
    sizes.push_back(size);
    left -= size;
  }
  return sizes;
}

AsIfStream SendAsIf(std::string_view stream, const LineSettings& sentAs, const LineSettings& readAs) {
  AsIfStream sent;
  sent.bytes = ValuesOf(ReadAs(stream, sentAs, readAs));
  if (!sent.bytes.empty()) {
    sent.period = BytePeriod(sentAs) * static_cast<std::int64_t>(stream.size()) /
                  static_cast<std::int64_t>(sent.bytes.size());
  }
  return sent;
}

SendReport RunSend(StationLink& link, std::string_view stream, const LineSettings& settings,
                   std::uint32_t seed, bool verbose, std::ostream& log) {
  return RunSend(link, stream, BytePeriod(settings), seed, verbose, log);
}

SendReport RunSend(StationLink& link, std::string_view stream, std::chrono::nanoseconds period,
                   std::uint32_t seed, bool verbose, std::ostream& log) {
  SendReport report;
  const Clock::time_point began = Clock::now();
  for (const std::size_t size : WriteSizes(stream.size(), seed)) {
    const auto due = began + std::chrono::duration_cast<Clock::duration>(
                                 period * static_cast<std::int64_t>(report.bytesSent + size));
    if (!SleepUntil(due)) {
      report.status = LinkStatus::Stopped;
      break;
    }
    const LinkResult written = link.Write(stream.substr(report.bytesSent, size));
    report.bytesSent += written.count;
    ++report.writes;
    if (written.status != LinkStatus::Ok) {
      report.status = written.status;
      report.detail = written.detail;
      break;
    }
    if (verbose && report.writes % 64 == 0) {
      log << "kestrion-station: " << report.bytesSent << " of " << stream.size() << " bytes\n";
    }
  }
  report.elapsed = Clock::now() - began;
  return report;
}

}  // namespace kestrion::station

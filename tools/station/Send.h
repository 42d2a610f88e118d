// The instrument's side of a download: records framed with their marker, paced at the rate of the line, in
// writes of random size, with the noise a real line or instrument may add.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <ostream>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "StationLink.h"
#include "StationOptions.h"

namespace kestrion::station {

// The records of a file: one per line, a line ends at LF, the CRs before it are not part of the record; a
// last line without LF counts, the empty piece after a final LF does not.
std::vector<std::string> SplitRecords(std::string_view fileBytes);

struct SendStream {
  std::string bytes;  // everything the station writes, in order
  int records = 0;    // framed records (the finish record included), 0 for --raw
  int zeroBytes = 0;
  std::optional<int> mixedRecord;   // index (from 0) of the record framed with another marker
  std::optional<int> finishRecord;  // index of the added record that holds "Finish"
  std::optional<char> mixedMarker;  // the marker it was framed with
};

struct StreamBuild {
  std::optional<SendStream> stream;
  std::string error;  // when `stream` is empty
};

// Builds the bytes to send from the contents of the FILE. Fails on a zero byte inside a record (a record
// cannot carry one; the zero-byte noise is added on purpose by --zero-bytes).
StreamBuild BuildSendStream(std::string_view fileBytes, const SendOptions& options);

// Bits on the line per byte: a start bit, the data bits, the parity bit if any, two stop bits.
int BitsPerByte(const LineSettings& settings);
// The time one byte takes on the line.
std::chrono::nanoseconds BytePeriod(const LineSettings& settings);

// The sizes (1..64) of the writes that carry `total` bytes, drawn from a generator seeded with `seed`.
std::vector<std::size_t> WriteSizes(std::size_t total, std::uint32_t seed);

// A draw from [low, high] that does not depend on the standard library's distributions, so that a seed gives
// the same stream everywhere.
std::uint32_t Draw(std::mt19937& generator, std::uint32_t low, std::uint32_t high);

struct SendReport {
  LinkStatus status = LinkStatus::Ok;
  std::size_t bytesSent = 0;
  std::size_t writes = 0;
  Clock::duration elapsed{};  // from the first write's start to the last write
  std::string detail;
};

// Writes `stream` paced so that no byte leaves before a real line at `settings` would have carried it: each
// write goes out when its last byte would have arrived.
SendReport RunSend(StationLink& link, std::string_view stream, const LineSettings& settings,
                   std::uint32_t seed, bool verbose, std::ostream& log);
// The same with `period` for each byte.
SendReport RunSend(StationLink& link, std::string_view stream, std::chrono::nanoseconds period,
                   std::uint32_t seed, bool verbose, std::ostream& log);

// What --as-if sends: the bytes that a receiver at `readAs` reads from `stream` sent at `sentAs` in one
// burst, with the time each takes when they come as fast as the sender sends.
struct AsIfStream {
  std::string bytes;
  std::chrono::nanoseconds period{};
};
AsIfStream SendAsIf(std::string_view stream, const LineSettings& sentAs, const LineSettings& readAs);

}  // namespace kestrion::station

// Road and TLN files written by Output read back as the records they were made from.
//
// ReadBack below follows the recognition rules of the data file readers (cleaned lines; a line holding the end
// word ends the file; a line beginning with the header prefix starts a road named up to its first comma; anything
// else is a record of the latest road). It stands in for the reader of the datafiles layer.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

#include "datafiles/LineForms.h"
#include "download/Output.h"

namespace kestrion {
namespace {

constexpr int kRounds = 2000;

struct Road {
  std::string name;
  std::vector<std::string> records;
  friend bool operator==(const Road&, const Road&) = default;
};

std::vector<Road> ReadBack(const std::string& file, bool skipOpeningLine) {
  std::vector<Road> roads;
  std::size_t at = 0;
  bool first = true;
  while (at < file.size()) {
    std::size_t end = file.find('\n', at);
    if (end == std::string::npos) end = file.size();
    CString line(file.substr(at, end - at));
    at = end + 1;
    line.TrimRight('\r');
    line.TrimRight('\n');
    if (std::exchange(first, false) && skipOpeningLine) continue;
    if (line.Find(kEndWord) >= 0) break;
    if (line.Left(2) == kHeaderPrefix) {
      const int comma = line.Find(',');
      roads.push_back(Road{(comma < 0 ? line.Mid(2) : line.Mid(2, comma - 2)).Bytes(), {}});
    } else {
      if (roads.empty()) roads.push_back(Road{});
      roads.back().records.push_back(line.Bytes());
    }
  }
  return roads;
}

// Record texts as a download delivers them: fields, blanks, Chinese characters (some with '@' or '^' as their
// second byte), markers inside. Never what the layouts reserve: a leading header prefix, the end word, a line end,
// a trailing marker or white space, a lone lead byte at the end.
std::string RandomRecord(std::mt19937& rng, bool withName) {
  static const std::vector<std::string> kPieces = {"P1", "12.5", ",", " ", "\xB5\xC0", "\x81@", "\x81^", "$", "@",
                                                    "^", ">", "x", "Road", "\xFE\xFE"};
  std::string record;
  const int pieces = std::uniform_int_distribution<int>(1, 8)(rng);
  for (int i = 0; i < pieces; ++i) {
    record += kPieces[std::uniform_int_distribution<std::size_t>(0, kPieces.size() - 1)(rng)];
  }
  record = "A" + record + "z";
  if (withName) {
    static const std::vector<std::string> kNames = {"R1", "R2", "", "\xB5\xC0\xC2\xB7"};
    record = kNames[std::uniform_int_distribution<std::size_t>(0, kNames.size() - 1)(rng)] + "," + record;
  }
  return record;
}

// Reception's text: records apart, the blank line that framing on both sides leaves between some of them.
std::string DataText(const std::vector<std::string>& records, std::mt19937& rng) {
  std::string data;
  for (const std::string& record : records) {
    data += std::uniform_int_distribution<int>(0, 2)(rng) == 0 ? "\r\n\r\n" : "\r\n";
    data += record;
  }
  return data + "\r\nDownload Finish\r\n";
}

TEST(OutputRoundTrip, RoadFileReadsBackAsOneDefaultRoad) {
  std::mt19937 rng(1234);
  for (int round = 0; round < kRounds; ++round) {
    std::vector<std::string> records(std::uniform_int_distribution<std::size_t>(0, 12)(rng));
    for (std::string& record : records) record = RandomRecord(rng, false);
    const CString data = CutClosingText(CString(DataText(records, rng)));
    for (const char* marker : {"$", "@"}) {
      const std::vector<Road> roads = ReadBack(BuildOutput(data, marker).bytes.Bytes(), true);
      ASSERT_EQ(roads.size(), 1U);
      ASSERT_EQ(roads[0].name, kDefaultRoadName);
      // Blank lines between records come back as empty records; the records themselves byte for byte.
      std::vector<std::string> nonEmpty;
      for (const std::string& r : roads[0].records) {
        if (!r.empty()) nonEmpty.push_back(r);
      }
      ASSERT_EQ(nonEmpty, records) << testing::PrintToString(data.Bytes());
    }
  }
}

TEST(OutputRoundTrip, TlnFileGivesBackEveryNamedRecord) {
  std::mt19937 rng(5678);
  for (int round = 0; round < kRounds; ++round) {
    std::vector<std::string> records(std::uniform_int_distribution<std::size_t>(0, 12)(rng));
    for (std::string& record : records) record = RandomRecord(rng, true);
    const CString data = CutClosingText(CString(DataText(records, rng)));
    std::vector<std::string> readBack;
    for (const Road& road : ReadBack(BuildOutput(data, "^").bytes.Bytes(), false)) {
      for (const std::string& record : road.records) readBack.push_back(road.name + "," + record);
    }
    ASSERT_EQ(readBack, records) << testing::PrintToString(data.Bytes());
  }
}

}  // namespace
}  // namespace kestrion

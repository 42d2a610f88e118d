// The sample files a new user tries the station and Kestrion with: laid out as Kestrion reads and writes
// them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Send.h"
#include "common/StationHarness.h"
#include "common/TestNames.h"
#include "datafiles/LineForms.h"
#include "serial/Framing.h"
#include "text/Arrays.h"
#include "text/CString.h"
#include "text/SplitString.h"

namespace kestrion::testing_support {
namespace {

std::vector<std::string> Lines(const std::string& file) {
  EXPECT_FALSE(file.empty());
  EXPECT_TRUE(file.ends_with(kFileLineEnd));
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < file.size()) {
    const std::size_t end = file.find('\n', start);
    EXPECT_NE(end, std::string::npos);
    EXPECT_GT(end, start);
    EXPECT_EQ(file[end - 1], '\r') << "line " << lines.size() + 1 << " does not end in CR LF";
    lines.push_back(file.substr(start, end - 1 - start));
    start = end + 1;
  }
  return lines;
}

bool HasChinese(const std::string& file) {
  for (std::size_t i = 0; i + 1 < file.size(); ++i) {
    if (IsLeadByte(static_cast<unsigned char>(file[i]))) return true;
  }
  return false;
}

// Every ">>name,count" header is followed by exactly count records; returns the number of headers.
int CheckRoads(const std::vector<std::string>& lines, std::size_t first, std::size_t end) {
  int roads = 0;
  std::size_t i = first;
  while (i < end) {
    const std::string& header = lines[i];
    EXPECT_TRUE(header.starts_with(kHeaderPrefix)) << header;
    const std::size_t comma = header.rfind(',');
    const int count = std::stoi(header.substr(comma + 1));
    ++roads;
    ++i;
    for (int r = 0; r < count; ++r, ++i) {
      EXPECT_LT(i, end) << header;
      if (i < end) {
        EXPECT_FALSE(lines[i].starts_with(kHeaderPrefix)) << header << " counts too many records";
      }
    }
  }
  return roads;
}

struct SampleCase {
  const char* name;
  const char* file;
  bool roadFile;  // opening line and end line around the roads
  int roads;
};

class SampleFile : public testing::TestWithParam<SampleCase> {};

TEST_P(SampleFile, LaidOutAsKestrionReadsIt) {
  const std::string file = ReadFileBytes(std::string(KESTRION_EXAMPLES "/") + GetParam().file);
  EXPECT_TRUE(HasChinese(file));
  const std::vector<std::string> lines = Lines(file);
  if (GetParam().roads == 0) {
    for (const std::string& line : lines) EXPECT_FALSE(line.starts_with(kHeaderPrefix)) << line;
    return;
  }
  std::size_t first = 0;
  std::size_t end = lines.size();
  if (GetParam().roadFile) {
    EXPECT_EQ(lines.front(), kOpeningLine);
    EXPECT_EQ(lines.back(), kEndWord);
    first = 1;
    end = lines.size() - 1;
  }
  EXPECT_EQ(CheckRoads(lines, first, end), GetParam().roads);
}

INSTANTIATE_TEST_SUITE_P(Rows, SampleFile,
                         testing::Values(SampleCase{"RoadsHln", "sample.HLN", true, 3},
                                         SampleCase{"ProfilesVln", "sample.VLN", true, 2},
                                         SampleCase{"SectionsTln", "sample.TLN", false, 2},
                                         SampleCase{"ControlPointsCpt", "sample.CPT", false, 0}),
                         RowName());

TEST(SampleObsDownload, EveryRecordHasNineFieldsAndNoMarker) {
  const std::string file = ReadFileBytes(KESTRION_EXAMPLES "/obs-download.txt");
  Lines(file);
  EXPECT_TRUE(HasChinese(file));
  for (const std::string& record : station::SplitRecords(file)) {
    CStringArray fields;
    SplitString(CString(record), fields, CString(","));
    EXPECT_GE(fields.GetSize(), 9) << record;
    // Framed by the station: a marker inside a record would cut it on the way.
    EXPECT_EQ(FindFirstMarker(CString(record)), nullptr) << record;
  }
}

}  // namespace
}  // namespace kestrion::testing_support

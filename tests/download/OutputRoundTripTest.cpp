// Road and TLN files written by Output read back through Browse's reader as the records they were made from.
#ifdef _WIN32
#include <windows.h>
#endif

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "common/ScratchDir.h"
#include "common/TestNames.h"
#include "datafiles/LineForms.h"
#include "download/Output.h"
#include "text/SplitString.h"
#include "upload/UploadSource.h"

namespace kestrion {
namespace {

constexpr int kRounds = 2000;

// The records of a loaded upload text: its lines, each without the marker on either side.
std::vector<std::string> UnframedRecords(const CString& framed) {
  std::vector<std::string> records;
  CStringArray lines;
  SplitString(framed, lines, "\n");
  for (const CString& line : lines) {
    const std::string& bytes = line.Bytes();  // marker, record, marker, CR
    if (bytes.size() >= 3) records.push_back(bytes.substr(1, bytes.size() - 3));
  }
  return records;
}

UploadSource LoadWritten(const testing_support::ScratchDir& dir, const OutputPlan& plan) {
  UploadSource source;
  LoadUploadSource(dir.Write("written" + plan.extension, plan.bytes.Bytes()), source);
  return source;
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
  const testing_support::ScratchDir dir;
  for (int round = 0; round < kRounds; ++round) {
    std::vector<std::string> records(std::uniform_int_distribution<std::size_t>(0, 12)(rng));
    for (std::string& record : records) record = RandomRecord(rng, false);
    const CString data = CutClosingText(CString(DataText(records, rng)));
    for (const char* marker : {"$", "@"}) {
      const UploadSource source = LoadWritten(dir, BuildOutput(data, marker));
      ASSERT_EQ(source.roadNames.GetSize(), 1);
      ASSERT_EQ(source.roadNames[0], kDefaultRoadName);
      // Blank lines between records come back as empty records; the records themselves byte for byte.
      std::vector<std::string> nonEmpty;
      for (const std::string& r : UnframedRecords(source.roadData.at(0))) {
        if (!r.empty()) nonEmpty.push_back(r);
      }
      ASSERT_EQ(nonEmpty, records) << testing::PrintToString(data.Bytes());
    }
  }
}

TEST(OutputRoundTrip, TlnFileGivesBackEveryNamedRecord) {
  std::mt19937 rng(5678);
  const testing_support::ScratchDir dir;
  for (int round = 0; round < kRounds; ++round) {
    std::vector<std::string> records(std::uniform_int_distribution<std::size_t>(0, 12)(rng));
    for (std::string& record : records) record = RandomRecord(rng, true);
    const CString data = CutClosingText(CString(DataText(records, rng)));
    const UploadSource source = LoadWritten(dir, BuildOutput(data, "^"));
    ASSERT_EQ(UnframedRecords(source.data), records) << testing::PrintToString(data.Bytes());
  }
}

#ifdef _WIN32
// Browse opens a file in the form that Output writes it, so what Output wrote reads back: in a folder deeper
// than MAX_PATH, and under a name that a plain path takes for a device (nul.HLN is NUL).
struct PlaceCase {
  const char* name;
  std::wstring folder;
  std::wstring chosen;
};

// The tree under `folder` removed through the long form, which the standard library's removal does not use.
void RemoveTree(const std::wstring& folder) {
  WIN32_FIND_DATAW entry;
  const HANDLE search = ::FindFirstFileW((folder + L"\\*").c_str(), &entry);
  for (bool more = search != INVALID_HANDLE_VALUE; more; more = ::FindNextFileW(search, &entry)) {
    const std::wstring path = folder + L"\\" + entry.cFileName;
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      ::DeleteFileW(path.c_str());
    } else if (entry.cFileName != std::wstring(L".") && entry.cFileName != std::wstring(L"..")) {
      RemoveTree(path);
    }
  }
  if (search != INVALID_HANDLE_VALUE) ::FindClose(search);
  ::RemoveDirectoryW(folder.c_str());
}

class WrittenFilePlace : public testing::Test, public testing::WithParamInterface<PlaceCase> {
 protected:
  void SetUp() override {
    m_root = testing_support::MakeTemporaryFolder("kestrion-place-");
    ASSERT_FALSE(m_root.empty());
  }
  void TearDown() override { RemoveTree(L"\\\\?\\" + m_root.lexically_normal().native()); }
  std::filesystem::path m_root;
};

TEST_P(WrittenFilePlace, ReadsBack) {
  const std::filesystem::path folder = m_root / GetParam().folder;
  std::error_code error;
  std::filesystem::create_directories(L"\\\\?\\" + folder.lexically_normal().native(), error);
  ASSERT_FALSE(error) << error.message();
  CString data("A1,2\r\nB3,4\r\n");
  const WriteResult written = OutputData(data, "$", folder / GetParam().chosen);
  ASSERT_TRUE(written) << written.Reason();
  UploadSource source;
  const LoadResult loaded = LoadUploadSource(written.path, source);
  ASSERT_TRUE(loaded.opened) << loaded.systemError;
  EXPECT_FALSE(loaded.readError);
  EXPECT_EQ(source.data, "BeginRoad,1\r\n>>Default,2\r\nA1,2\r\nB3,4\r\nEndRoad\r\n");
  ASSERT_EQ(source.roadData.size(), 1u);
  EXPECT_EQ(source.roadData[0], "$A1,2$\r\n$B3,4$\r\n");
}

std::wstring DeepFolder() {
  std::wstring folder;
  for (int level = 0; level < 12; ++level)
    folder += std::wstring(24, static_cast<wchar_t>(L'a' + level)) + L"\\";
  return folder + L"\u6d4b\u91cf";
}

INSTANTIATE_TEST_SUITE_P(Folders, WrittenFilePlace,
                         testing::Values(PlaceCase{"DeeperThanMaxPath", DeepFolder(), L"survey.txt"},
                                         PlaceCase{"NamedLikeADevice", L"", L"nul.txt"}),
                         testing_support::RowName());
#endif

}  // namespace
}  // namespace kestrion

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <string>
#include <vector>

#include "common/ScratchDir.h"
#include "common/TestNames.h"
#include "upload/UploadSource.h"

namespace kestrion {
namespace {

using namespace std::string_literals;
using testing_support::ScratchDir;

std::vector<std::string> Names(const UploadSource& source) {
  std::vector<std::string> names;
  for (const CString& name : source.roadNames) names.push_back(name.Bytes());
  return names;
}

std::vector<std::string> Buffers(const UploadSource& source) {
  std::vector<std::string> buffers;
  for (const CString& buffer : source.roadData) buffers.push_back(buffer.Bytes());
  return buffers;
}

struct LoadCase {
  const char* name;
  const char* fileName;
  std::string bytes;
  std::string data;
  std::vector<std::string> roadNames;
  std::vector<std::string> roadData;
};

class LoadingAFile : public testing::TestWithParam<LoadCase> {};

TEST_P(LoadingAFile, GivesDataTextRoadsAndBuffers) {
  ScratchDir dir;
  const auto file = dir.Write(GetParam().fileName, GetParam().bytes);
  UploadSource source;
  source.data = "left from before";
  source.roadNames.Add("Old");
  source.roadData.emplace_back("$old$\r\n");

  const LoadResult result = LoadUploadSource(file, source);

  EXPECT_TRUE(result.opened);
  EXPECT_FALSE(result.readError);
  EXPECT_EQ(source.data.Bytes(), GetParam().data);
  EXPECT_EQ(Names(source), GetParam().roadNames);
  EXPECT_EQ(Buffers(source), GetParam().roadData);
}

INSTANTIATE_TEST_SUITE_P(
    RoadFiles, LoadingAFile,
    testing::Values(
        LoadCase{"TwoRoadsAndLinesAfterTheEnd",
                 "R1.HLN",
                 "BeginRoad,1\r\n>>Main,2\r\na\r\nb\r\n>>Ramp,1\r\nc\r\nEndRoad\r\nx\r\n",
                 "BeginRoad,1\r\n>>Main,2\r\na\r\nb\r\n>>Ramp,1\r\nc\r\nEndRoad\r\n",
                 {"Main", "Ramp"},
                 {"$a$\r\n$b$\r\n", "$c$\r\n"}},
        LoadCase{
            "LowerCaseExtension", "R1.hln", "B\r\n>>M,1\r\na\r\n", "B\r\n>>M,1\r\na\r\n", {"M"}, {"$a$\r\n"}},
        LoadCase{"VlnFramesWithAt",
                 "R1.Vln",
                 "B\r\n>>M,1\r\na\r\nEndRoad",
                 "B\r\n>>M,1\r\na\r\nEndRoad\r\n",
                 {"M"},
                 {"@a@\r\n"}},
        LoadCase{"WrittenByOutputReadsBackAsDefault",
                 "out.HLN",
                 "BeginRoad,1\r\n>>Default,2\r\nA1,2\r\nB3,4\r\nEndRoad\r\n",
                 "BeginRoad,1\r\n>>Default,2\r\nA1,2\r\nB3,4\r\nEndRoad\r\n",
                 {"Default"},
                 {"$A1,2$\r\n$B3,4$\r\n"}},
        LoadCase{"HeaderWithoutCommaStillGetsABuffer",
                 "r.hln",
                 "B\r\n>>Main\r\na\r\n",
                 "B\r\n>>Main\r\na\r\n",
                 {""},
                 {"$a$\r\n"}},
        LoadCase{"HeaderAsFirstLineIsTheOpeningLine",
                 "r.hln",
                 ">>Main,2\r\na\r\n>>R,1\r\nb\r\n",
                 ">>Main,2\r\na\r\n>>R,1\r\nb\r\n",
                 {"R"},
                 {"$b$\r\n"}},
        LoadCase{"OpeningLineIsNeverTheEnd",
                 "r.hln",
                 "EndRoad\r\n>>A,1\r\nr\r\n",
                 "EndRoad\r\n>>A,1\r\nr\r\n",
                 {"A"},
                 {"$r$\r\n"}},
        LoadCase{"HeaderFollowedByHeaderHasEmptyBuffer",
                 "r.hln",
                 "B\r\n>>A,0\r\n>>C,1\r\nc\r\n",
                 "B\r\n>>A,0\r\n>>C,1\r\nc\r\n",
                 {"A", "C"},
                 {"", "$c$\r\n"}},
        LoadCase{"EndWordInsideALineEndsTheReading",
                 "r.hln",
                 "B\r\n>>A,1\r\nx EndRoad y\r\nz\r\n",
                 "B\r\n>>A,1\r\nx EndRoad y\r\n",
                 {"A"},
                 {""}},
        LoadCase{"HeaderHoldingTheEndWordEndsTheReading",
                 "r.hln",
                 "B\r\n>>EndRoad,1\r\nz\r\n",
                 "B\r\n>>EndRoad,1\r\n",
                 {},
                 {}},
        LoadCase{"RecordStartingWithThePrefixIsAHeader",
                 "r.hln",
                 "B\r\n>>A,2\r\n>>x\r\ny\r\n",
                 "B\r\n>>A,2\r\n>>x\r\ny\r\n",
                 {"A", ""},
                 {"", "$y$\r\n"}},
        LoadCase{"EmptyRoadFile", "r.hln", "", "\r\n", {}, {}},
        LoadCase{"OpeningLineOnly", "r.vln", "BeginRoad,1", "BeginRoad,1\r\n", {}, {}},
        LoadCase{"WithoutEndLineReadToTheEnd",
                 "r.hln",
                 "B\r\n>>A,1\r\na",
                 "B\r\n>>A,1\r\na\r\n",
                 {"A"},
                 {"$a$\r\n"}},
        LoadCase{"OtherLineEndsReadAlike",
                 "r.hln",
                 "B\n>>A,3\r\r\na\r\r\r\nb\nc\r",
                 "B\r\n>>A,3\r\na\r\nb\r\nc\r\n",
                 {"A"},
                 {"$a$\r\n$b$\r\n$c$\r\n"}},
        LoadCase{"BlanksAndEmptyRecordsKept",
                 "r.hln",
                 "B\r\n>>A,2\r\n  a , b \t\r\n\r\n",
                 "B\r\n>>A,2\r\n  a , b \t\r\n\r\n",
                 {"A"},
                 {"$  a , b \t$\r\n$$\r\n"}},
        LoadCase{"ChineseNamesAndRecordsByteForByte",
                 "r.hln",
                 "BeginRoad,1\r\n>>\xB5\xC0\xC2\xB7,1\r\n\xB2\xE2\xC1\xBF,1\r\n",
                 "BeginRoad,1\r\n>>\xB5\xC0\xC2\xB7,1\r\n\xB2\xE2\xC1\xBF,1\r\n",
                 {"\xB5\xC0\xC2\xB7"},
                 {"$\xB2\xE2\xC1\xBF,1$\r\n"}},
        // 0x81 0x0D is one character, so its CR is no trailing CR; the lone CR inside a record stays too.
        LoadCase{"CrsThatAreNoLineEndStay",
                 "r.hln",
                 "B\r\n>>A,2\r\nx\x81\r\r\na\rb\r\n",
                 "B\r\n>>A,2\r\nx\x81\r\r\na\rb\r\n",
                 {"A"},
                 {"$x\x81\r$\r\n$a\rb$\r\n"}},
        LoadCase{"CtrlZEndsTheFile",
                 "r.hln",
                 "B\r\n>>A,2\r\na\r\nb\x1A"s + "c\r\nEndRoad\r\n",
                 "B\r\n>>A,2\r\na\r\nb\r\n",
                 {"A"},
                 {"$a$\r\n$b$\r\n"}}),
    testing_support::RowName());

INSTANTIATE_TEST_SUITE_P(
    OtherFiles, LoadingAFile,
    testing::Values(
        LoadCase{"TlnRecordsUnderTheirNames",
                 "R1.TLN",
                 ">>T1,2\r\np\r\nq\r\n>>T2,1\r\nr\r\nEndRoad\r\ns\r\n",
                 "^T1,p^\r\n^T1,q^\r\n^T2,r^\r\n",
                 {},
                 {}},
        LoadCase{"TlnWrittenByOutputGetsItsNamesBack",
                 "R1.tln",
                 ">>R1,2\r\nA,1\r\nB,2\r\n>>R2,1\r\nK,3\r\n",
                 "^R1,A,1^\r\n^R1,B,2^\r\n^R2,K,3^\r\n",
                 {},
                 {}},
        LoadCase{"TlnRecordBeforeAnyHeaderHasEmptyName", "r.tln", "p\r\n", "^,p^\r\n", {}, {}},
        LoadCase{"TlnOpeningLineIsARecord",
                 "r.tln",
                 "BeginRoad,1\r\n>>N\r\nx\r\n",
                 "^,BeginRoad,1^\r\n^,x^\r\n",
                 {},
                 {}},
        LoadCase{"TlnEndLineNotKept", "r.tln", ">>T,1\r\na\r\nx EndRoad\r\nb\r\n", "^T,a^\r\n", {}, {}},
        LoadCase{"EmptyTln", "r.tln", "", "", {}, {}},
        LoadCase{"CptEveryLineARecord",
                 "R1.cpt",
                 "1,2,3\r\n\r\n4,5,6\r\n",
                 "&1,2,3&\r\n&&\r\n&4,5,6&\r\n",
                 {},
                 {}},
        LoadCase{"CptHasNoHeadersNorEndLine",
                 "r.CPT",
                 ">>a,1\r\nEndRoad\r\n b \r\r\n",
                 "&>>a,1&\r\n&EndRoad&\r\n& b &\r\n",
                 {},
                 {}},
        LoadCase{"EmptyCpt", "r.cpt", "", "", {}, {}},
        LoadCase{"CptCtrlZInTheMiddle", "r.cpt", "a\r\nb\x1A"s + "\r\nc\r\n", "&a&\r\n&b&\r\n", {}, {}},
        LoadCase{"TextCopiedLineByLine", "notes.txt", "a\nb\r\r\n c ", "a\r\nb\r\n c \r\n", {}, {}},
        LoadCase{"EmptyTextFileIsOneLineEnd", "notes.txt", "", "\r\n", {}, {}},
        LoadCase{"ObsIsPlainLines",
                 "g.OBS",
                 ">>G1,5\r\n1,2,3,4,5,6\r\nEndRoad\r\nz",
                 ">>G1,5\r\n1,2,3,4,5,6\r\nEndRoad\r\nz\r\n",
                 {},
                 {}},
        LoadCase{"NoExtension", "README", "$a$\r\n", "$a$\r\n", {}, {}},
        LoadCase{"ExtensionMustBeTheLastFourBytes", "r.hlnx", ">>A,1\r\na\r\n", ">>A,1\r\na\r\n", {}, {}},
        LoadCase{"ZeroBytesDroppedNotTheLine", "r.cpt", "a\0b\r\n"s, "&ab&\r\n", {}, {}}),
    testing_support::RowName());

struct ExtensionCase {
  const char* name;
  const char* path;
  const char* extension;
};

class Extensions : public testing::TestWithParam<ExtensionCase> {};

TEST_P(Extensions, LastFourBytesOfTheFileNameUpperCased) {
  EXPECT_EQ(UploadExtension(GetParam().path).Bytes(), GetParam().extension);
}

INSTANTIATE_TEST_SUITE_P(Names, Extensions,
                         testing::Values(ExtensionCase{"LowerCase", "/data/R1.hln", ".HLN"},
                                         ExtensionCase{"MixedCase", "R1.Vln", ".VLN"},
                                         ExtensionCase{"ShortName", "/d/ab", "AB"},
                                         ExtensionCase{"DirectoryDoesNotCount", "/data.hln/ln", "LN"},
                                         ExtensionCase{"ChineseName", "/d/\xB5\xC0\xC2\xB7.tln", ".TLN"},
                                         ExtensionCase{"LongerExtension", "/d/a.text", "TEXT"}),
                         testing_support::RowName());

TEST(LoadUploadSource, EveryRoadGetsItsBufferBeyondAHundred) {
  std::string bytes = "BeginRoad,1\r\n";
  for (int road = 0; road < 150; ++road) {
    bytes += ">>R" + std::to_string(road) + ",1\r\nr" + std::to_string(road) + "\r\n";
  }
  bytes += "EndRoad\r\n";
  ScratchDir dir;
  UploadSource source;
  ASSERT_TRUE(LoadUploadSource(dir.Write("many.hln", bytes), source).opened);
  ASSERT_EQ(source.roadNames.GetSize(), 150);
  ASSERT_EQ(source.roadData.size(), 150u);
  for (int road = 0; road < 150; ++road) {
    EXPECT_EQ(source.roadNames[road].Bytes(), "R" + std::to_string(road));
    EXPECT_EQ(source.roadData[static_cast<std::size_t>(road)].Bytes(), "$r" + std::to_string(road) + "$\r\n");
  }
  EXPECT_EQ(source.data.Bytes(), bytes);
}

TEST(LoadUploadSource, FileThatCannotBeOpenedLeavesEverythingEmpty) {
  ScratchDir dir;
  UploadSource source;
  source.data = "old";
  source.roadNames.Add("Old");
  source.roadData.emplace_back("$old$\r\n");
  const LoadResult result = LoadUploadSource(dir.Path() / "absent.hln", source);
  EXPECT_FALSE(result.opened);
  EXPECT_FALSE(result.readError);
  EXPECT_EQ(result.systemError, ENOENT);
  EXPECT_TRUE(source.data.IsEmpty());
  EXPECT_TRUE(source.roadNames.IsEmpty());
  EXPECT_TRUE(source.roadData.empty());
}

#ifndef _WIN32
// A file that opens and fails its first read (the process's own memory at address 0 reads as an I/O error):
// an error to report, not an empty file.
class ReadErrors : public testing::TestWithParam<const char*> {};

TEST_P(ReadErrors, AreReportedAndNotTakenForAnEmptyFile) {
  ScratchDir dir;
  const auto path = dir.Path() / GetParam();
  std::filesystem::create_symlink("/proc/self/mem", path);
  UploadSource source;
  const LoadResult result = LoadUploadSource(path, source);
  EXPECT_TRUE(result.opened);
  EXPECT_TRUE(result.readError);
  EXPECT_EQ(result.systemError, EIO);
  EXPECT_EQ(source.data.Bytes(), "") << "an empty road or plain file would give a line end";
  EXPECT_TRUE(source.roadNames.IsEmpty());
  EXPECT_TRUE(source.roadData.empty());
}

INSTANTIATE_TEST_SUITE_P(Kinds, ReadErrors, testing::Values("d.hln", "d.tln", "d.cpt", "d.txt"));
#endif

// A folder is no upload source: it is refused as a file that cannot be opened (devices are the reader's
// tests).
TEST(LoadUploadSource, FolderIsAFileThatCannotBeOpened) {
  ScratchDir dir;
  UploadSource source;
  source.data = "old";
  const LoadResult result = LoadUploadSource(dir.Path(), source);
  EXPECT_FALSE(result.opened);
  EXPECT_FALSE(result.readError);
  EXPECT_EQ(result.systemError, EISDIR);
  EXPECT_TRUE(source.data.IsEmpty());
}

// The limit on a text is checked against the length that the data text or a road buffer would really reach:
// each row fits a limit of exactly that length and is refused by one byte less, with nothing kept.
struct LimitCase {
  const char* name;
  const char* fileName;
  std::string bytes;
  std::int64_t longestText;  // of the data text and the road buffers once loaded
};

class TextLimit : public testing::TestWithParam<LimitCase> {};

TEST_P(TextLimit, IsReachedExactly) {
  ScratchDir dir;
  const auto file = dir.Write(GetParam().fileName, GetParam().bytes);
  UploadSource source;
  const LoadResult fits = LoadUploadSource(file, source, GetParam().longestText);
  EXPECT_TRUE(fits.opened);
  EXPECT_FALSE(fits.tooBig);
  std::int64_t longest = source.data.GetLength();
  for (const CString& buffer : source.roadData) longest = std::max<std::int64_t>(longest, buffer.GetLength());
  EXPECT_EQ(longest, GetParam().longestText);

  const LoadResult refused = LoadUploadSource(file, source, GetParam().longestText - 1);
  EXPECT_TRUE(refused.opened);
  EXPECT_TRUE(refused.tooBig);
  EXPECT_FALSE(refused.readError);
  EXPECT_TRUE(source.data.IsEmpty());
  EXPECT_TRUE(source.roadNames.IsEmpty());
  EXPECT_TRUE(source.roadData.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, TextLimit,
    testing::Values(
        LimitCase{"LfLineEndsBecomeCrLf", "notes.txt", std::string(10, '\n'), 20},
        LimitCase{"CrLfLineEndsStayAsTheyAre", "notes.txt", "a\r\nbb\r\n", 7},
        LimitCase{"OneLongCptLine", "r.cpt", std::string(30, 'x'), 34},
        LimitCase{"CptMarkersOnEveryLine", "r.cpt", "a\r\nb\r\nc\r\nd\r\ne\r\nf\r\ng\r\nh\r\n", 40},
        LimitCase{"TlnNameOnEveryRecord", "r.tln", ">>NAME,3\nx\ny\nz\n", 30},
        LimitCase{"RoadBufferLongerThanTheDataText", "r.hln", "B\n>>A\n" + std::string(10, '\n'), 40}),
    testing_support::RowName());

}  // namespace
}  // namespace kestrion

#include "download/Output.h"

#include <gtest/gtest.h>

#include <string>

#include "common/TestNames.h"

namespace kestrion {
namespace {

struct LayoutCase {
  const char* name;
  std::string lastMarker;
  std::string data;  // as the data box holds it, closing text included
  std::string extension;
  std::string file;
};

class OutputLayouts : public testing::TestWithParam<LayoutCase> {};

TEST_P(OutputLayouts, FileBytes) {
  const LayoutCase& c = GetParam();
  const OutputPlan plan = BuildOutput(CutClosingText(CString(c.data)), CString(c.lastMarker));
  EXPECT_EQ(plan.extension, c.extension);
  EXPECT_EQ(plan.bytes.Bytes(), c.file);
}

const std::string kObsData =
    "1,S1,1.5,x,a1,b1,c1,d1,e1\r\n2,S1,1.6,x,a2,b2,c2,d2,e2\r\n3,S2,1.7,x,a3,b3,c3,d3,e3\r\n"
    "4,S1,1.8,x,a4,b4,c4,d4,e4\r\n";
const std::string kRoad = "\xB5\xC0\xC2\xB7";  // two Chinese characters

INSTANTIATE_TEST_SUITE_P(
    WorkedExamples, OutputLayouts,
    testing::Values(
        LayoutCase{"Cpt", "&", "P1,10.0,20.0\r\nP2,11.0,21.0\r\n", ".CPT", "P1,10.0,20.0\r\nP2,11.0,21.0\r\n"},
        LayoutCase{"Hln", "$", "A1,2\r\nB3,4\r\n", ".HLN", "BeginRoad,1\r\n>>Default,2\r\nA1,2\r\nB3,4\r\nEndRoad\r\n"},
        LayoutCase{"Vln", "@", "A1,2\r\nB3,4\r\n", ".VLN", "BeginRoad,1\r\n>>Default,2\r\nA1,2\r\nB3,4\r\nEndRoad\r\n"},
        LayoutCase{"Tln", "^", "R1,A,1\r\nR1,B,2\r\nR2,K,3\r\nX\r\nR1,D,4\r\n", ".TLN",
                   ">>R1,2\r\nA,1\r\nB,2\r\n>>R2,1\r\nK,3\r\n>>R1,1\r\nD,4\r\n"},
        LayoutCase{"Obs", "#", kObsData, ".OBS",
                   ">>S1,1.5\r\n1,a1,b1,c1,d1,e1\r\n2,a2,b2,c2,d2,e2\r\n4,a4,b4,c4,d4,e4\r\n>>S2,1.7\r\n"
                   "3,a3,b3,c3,d3,e3\r\n"},
        LayoutCase{"TxtOpenParen", "(", "A((\r\n(B(\r\n", ".TXT", "A\r\n(B\r\n"},
        LayoutCase{"TxtCloseParen", ")", "A))\r\nB)\r\n", ".TXT", "A\r\nB\r\n"},
        LayoutCase{"TxtBang", "!", "A!\r\nB!\r\n", ".TXT", "A\r\nB\r\n"},
        LayoutCase{"TxtUnmarkedKeepsMarkers", "", "&P1,10.0,20.0&\r\n$A$\r\n", ".TXT", "&P1,10.0,20.0&\r\n$A$\r\n"}),
    testing_support::RowName());

INSTANTIATE_TEST_SUITE_P(
    EdgeCases, OutputLayouts,
    testing::Values(
        LayoutCase{"BlankCpt", "&", " \r\n\r\n ", ".CPT", ""},
        LayoutCase{"BlankHln", "$", "\r\n\r\n", ".HLN", "BeginRoad,1\r\n>>Default,0\r\nEndRoad\r\n"},
        LayoutCase{"BlankTln", "^", "\r\n", ".TLN", ""},
        LayoutCase{"BlankObs", "#", "\r\n", ".OBS", ""},
        LayoutCase{"OneRecordNoLineEnd", "$", "A1,2", ".HLN", "BeginRoad,1\r\n>>Default,1\r\nA1,2\r\nEndRoad\r\n"},
        LayoutCase{"ClosingTextAfterRecords", "&", "\r\nA1,2\r\nDownload Finish\r\n", ".CPT", "A1,2\r\n"},
        LayoutCase{"EmptyLineBetweenRecordsPlain", "&", "\r\nA1,2\r\n\r\nB3,4\r\n", ".CPT", "A1,2\r\n\r\nB3,4\r\n"},
        LayoutCase{"EmptyLineBetweenRecordsCounted", "$", "\r\nA1,2\r\n\r\nB3,4\r\n", ".HLN",
                   "BeginRoad,1\r\n>>Default,3\r\nA1,2\r\n\r\nB3,4\r\nEndRoad\r\n"},
        LayoutCase{"EmptyLineBetweenRecordsTln", "^", "\r\nR1,A\r\n\r\nR1,B\r\n", ".TLN", ">>R1,2\r\nA\r\nB\r\n"},
        LayoutCase{"MarkerRunAtEndGoesInnerStays", "$", "A1,2$$\r\nB$3$\r\n", ".HLN",
                   "BeginRoad,1\r\n>>Default,2\r\nA1,2\r\nB$3\r\nEndRoad\r\n"},
        // 0x81 0x40 is one character; its second byte is no marker to trim.
        LayoutCase{"SecondByteIsNoMarker", "@", "A\x81@@\r\nB\x81@\r\n", ".VLN",
                   "BeginRoad,1\r\n>>Default,2\r\nA\x81@\r\nB\x81@\r\nEndRoad\r\n"},
        LayoutCase{"BlanksInsideLinesStay", "&", "  A \r\n B \r\n", ".CPT", "A \r\n B\r\n"},
        LayoutCase{"TlnEmptyNameAfterNamedRoad", "^", "R1,A,1\r\n,E,5\r\n", ".TLN", ">>R1,1\r\nA,1\r\n>>,1\r\nE,5\r\n"},
        LayoutCase{"TlnEmptyNameFirstIsARoadOfItsOwn", "^", ",A,1\r\n,B,2\r\nR1,C,3\r\n", ".TLN",
                   ">>,2\r\nA,1\r\nB,2\r\n>>R1,1\r\nC,3\r\n"},
        LayoutCase{"TlnOnlyEmptyNames", "^", ",A,1\r\n", ".TLN", ">>,1\r\nA,1\r\n"},
        LayoutCase{"TlnChineseName", "^", kRoad + ",1,2\r\n", ".TLN", ">>" + kRoad + ",1\r\n1,2\r\n"},
        LayoutCase{"ObsEmptyPieceIsNoField", "#", "1,S1,,1.5,x,a,b,c,d,e\r\n", ".OBS", ">>S1,1.5\r\n1,a,b,c,d,e\r\n"},
        LayoutCase{"ObsFieldsAfterEightDropped", "#", " 1,S1,1.5,x,a,b,c,d,e,f,g#\r\n", ".OBS",
                   ">>S1,1.5\r\n1,a,b,c,d,e\r\n"},
        LayoutCase{"ObsShortLineSkipped", "#", "1,S1,1.5,x,a,b,c,d,e\r\n2,S2,1,x,a,b,c,d\r\n\r\n3,S1,9,x,f,g,h,i,j\r\n",
                   ".OBS", ">>S1,1.5\r\n1,a,b,c,d,e\r\n3,f,g,h,i,j\r\n"},
        LayoutCase{"ObsThirdOccurrenceBeforeSecond", "#",
                   "1,A,v1,x,1,1,1,1,1\r\n2,B,v2,x,2,2,2,2,2\r\n3,A,v3,x,3,3,3,3,3\r\n4,C,v4,x,4,4,4,4,4\r\n"
                   "5,A,v5,x,5,5,5,5,5\r\n",
                   ".OBS",
                   ">>A,v1\r\n1,1,1,1,1,1\r\n5,5,5,5,5,5\r\n3,3,3,3,3,3\r\n>>B,v2\r\n2,2,2,2,2,2\r\n>>C,v4\r\n"
                   "4,4,4,4,4,4\r\n"},
        LayoutCase{"LongerMarkerTextIsUnmarked", "$$", "A$\r\n", ".TXT", "A$\r\n"}),
    testing_support::RowName());

std::string Repeated(const std::string& piece, int times) {
  std::string text;
  for (int i = 0; i < times; ++i) text += piece;
  return text;
}

struct CutCase {
  const char* name;
  std::string data;
  std::string expected;
};

class OutputClosingCut : public testing::TestWithParam<CutCase> {};

TEST_P(OutputClosingCut, CutsWholeWordsAndSpaceOnly) {
  EXPECT_EQ(CutClosingText(CString(GetParam().data)).Bytes(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, OutputClosingCut,
                         testing::Values(CutCase{"LineEnds", "A1,2\r\n\r\n", "A1,2"},
                                         CutCase{"EndWordsAfterRecord", "P1,road\r\nDownload Finish\r\n", "P1,road"},
                                         CutCase{"RecordEndingInTheWordsLetters", "P1,road", "P1,road"},
                                         CutCase{"WordGluedToRecordStays", "P1,xFinish", "P1,xFinish"},
                                         CutCase{"WordsInAnyOrderAndSpacing", "P1\r\nFinish  Download \r\n", "P1"},
                                         CutCase{"OnlyClosingText", "Download Finish\r\n", ""},
                                         CutCase{"OtherWhiteSpaceStays", "A\t\r\n", "A\t"},
                                         CutCase{"LowerCaseStays", "A finish", "A finish"},
                                         // "F" is the second byte of 0x81 0x46 here: no word begins there.
                                         CutCase{"WordInsideChineseCharacter", "A\x81" "Finish", "A\x81" "Finish"},
                                         CutCase{"BlankAsSecondByteIsNoSeparator", "A\x81 Finish", "A\x81 Finish"},
                                         // Cut once at the end: copying the text per word would take minutes.
                                         CutCase{"LongRunOfClosingWords", "P1" + Repeated("\r\nFinish", 200000), "P1"}),
                         testing_support::RowName());

struct BaseNameCase {
  const char* name;
  std::string chosen;
  std::string expected;
};

class OutputBaseNames : public testing::TestWithParam<BaseNameCase> {};

// File names are bytes on POSIX and UTF-16 on Windows, where the rows are taken as UTF-8.
std::filesystem::path PathOf(const std::string& name) {
#ifdef _WIN32
  return std::filesystem::path(std::u8string(name.begin(), name.end()));
#else
  return name;
#endif
}

TEST_P(OutputBaseNames, OnlyTheFileNameLosesExtensions) {
  EXPECT_EQ(OutputBaseName(PathOf(GetParam().chosen)).native(), PathOf(GetParam().expected).native());
}

#ifdef _WIN32
const std::string kNameOfRoad = "\xE9\x81\x93\xE8\xB7\xAF";  // the same two characters in UTF-8
#else
const std::string kNameOfRoad = kRoad;
#endif

INSTANTIATE_TEST_SUITE_P(Cases, OutputBaseNames,
                         testing::Values(BaseNameCase{"OneExtension", "/d/survey.txt", "/d/survey"},
                                         BaseNameCase{"NoExtension", "/d/survey", "/d/survey"},
                                         BaseNameCase{"TwoExtensions", "/d/survey.old.txt", "/d/survey"},
                                         BaseNameCase{"AtMostTwo", "/d/a.b.c.txt", "/d/a.b"},
                                         BaseNameCase{"DotInFolderNotTaken", "/tmp/a.b/survey", "/tmp/a.b/survey"},
                                         BaseNameCase{"Relative", "survey.HLN", "survey"},
                                         BaseNameCase{"ChineseName", "/d/" + kNameOfRoad + ".txt", "/d/" + kNameOfRoad}),
                         testing_support::RowName());

}  // namespace
}  // namespace kestrion

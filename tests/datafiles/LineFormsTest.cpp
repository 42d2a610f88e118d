#include <gtest/gtest.h>

#include <string>

#include "common/TestNames.h"
#include "datafiles/LineForms.h"

namespace kestrion {
namespace {

struct KindCase {
  const char* name;
  const char* line;
  LineKind kind;
};

class LineRecognition : public testing::TestWithParam<KindCase> {};

TEST_P(LineRecognition, EndWordFirstThenHeaderPrefix) {
  EXPECT_EQ(RecogniseLine(GetParam().line), GetParam().kind);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, LineRecognition,
    testing::Values(KindCase{"EndLine", "EndRoad", LineKind::End},
                    KindCase{"EndWordInsideALine", "x EndRoad y", LineKind::End},
                    KindCase{"HeaderHoldingTheEndWordEnds", ">>EndRoad,1", LineKind::End},
                    KindCase{"EndWordIsCaseSensitive", "endroad", LineKind::Record},
                    KindCase{"PartOfTheEndWord", "EndRoa", LineKind::Record},
                    KindCase{"RoadHeader", ">>Main,2", LineKind::Header},
                    KindCase{"BarePrefixIsAHeader", ">>", LineKind::Header},
                    KindCase{"OneAngleIsARecord", ">x", LineKind::Record},
                    KindCase{"PrefixAfterABlankIsARecord", " >>Main,2", LineKind::Record},
                    KindCase{"EmptyLineIsARecord", "", LineKind::Record},
                    // 0x81 0x45 is one character; the text holds no "E" of its own.
                    KindCase{"SecondByteIsNoStartOfTheEndWord",
                             "\x81"
                             "EndRoad",
                             LineKind::Record},
                    KindCase{"EndWordAfterAChineseCharacter",
                             "\xB5\xC0"
                             "EndRoad",
                             LineKind::End}),
    testing_support::RowName());

struct NameCase {
  const char* name;
  const char* line;
  const char* roadName;
};

class HeaderNames : public testing::TestWithParam<NameCase> {};

TEST_P(HeaderNames, TextBetweenPrefixAndFirstComma) {
  EXPECT_EQ(HeaderName(GetParam().line).Bytes(), GetParam().roadName);
}

INSTANTIATE_TEST_SUITE_P(Rules, HeaderNames,
                         testing::Values(NameCase{"NameAndCount", ">>Main,2", "Main"},
                                         NameCase{"NoCommaNoName", ">>Main", ""},
                                         NameCase{"EmptyName", ">>,3", ""},
                                         NameCase{"FirstCommaWins", ">>a,b,c", "a"},
                                         NameCase{"BlanksKept", ">> x ,1", " x "},
                                         NameCase{"ChineseName", ">>\xB5\xC0\xC2\xB7,5", "\xB5\xC0\xC2\xB7"}),
                         testing_support::RowName());

TEST(LineForms, HeaderLineReadsBackItsName) {
  const CString header = HeaderLine(kDefaultRoadName, "2");
  EXPECT_EQ(header, ">>Default,2");
  EXPECT_EQ(RecogniseLine(header), LineKind::Header);
  EXPECT_EQ(HeaderName(header), kDefaultRoadName);
  EXPECT_EQ(RecogniseLine(kOpeningLine), LineKind::Record);
  EXPECT_EQ(RecogniseLine(kEndWord), LineKind::End);
}

CString Cleaned(CString line) {
  CleanLine(line);
  return line;
}

TEST(LineForms, CleanLineTrimsCrsThenLfsOnly) {
  EXPECT_EQ(Cleaned("x\r\r"), "x");
  EXPECT_EQ(Cleaned("x\n\r"), "x");
  EXPECT_EQ(Cleaned("x\r\n"), "x\r");  // the CR is not at the end while the LF follows it
  EXPECT_EQ(Cleaned("  a b \t\r"), "  a b \t");
  EXPECT_EQ(Cleaned("\r"), "");
}

}  // namespace
}  // namespace kestrion

#include "text/CString.h"

#include <gtest/gtest.h>

#include "common/TestNames.h"

#include <string>

namespace kestrion {
namespace {

// A GBK character whose second byte is '@' (0x40), and one whose second byte is '^' (0x5E).
const std::string kAtTrail = "\x81\x40";
const std::string kCaretTrail = "\x81\x5E";
// Two common characters (both bytes in 0xA1..0xFE) and one whose second byte is a lower-case letter.
const std::string kRoad = "\xB5\xC0\xC2\xB7";
const std::string kLetterTrail = "\x81\x61";

CString B(const std::string& s) { return CString(s); }

TEST(CStringConstruction, StopsAtFirstZeroByte) {
  const char buffer[] = {'a', 'b', '\0', 'c', 'd'};
  EXPECT_EQ(CString::FromBuffer(buffer, sizeof buffer), "ab");
  EXPECT_EQ(CString(std::string("x\0y", 3)).GetLength(), 1);
  CString appended("a");
  appended.Append(std::string_view("b\0c", 3));
  EXPECT_EQ(appended, "ab");
  appended += '\0';
  EXPECT_EQ(appended, "ab");
}

struct FindCase {
  const char* name;
  std::string text;
  std::string sub;
  int start;
  int expected;
};

class CStringFind : public testing::TestWithParam<FindCase> {};

TEST_P(CStringFind, FindsOnlyAtCharacterStarts) {
  const FindCase& c = GetParam();
  EXPECT_EQ(B(c.text).Find(B(c.sub), c.start), c.expected);
  if (c.sub.size() == 1) {
    EXPECT_EQ(B(c.text).Find(c.sub[0], c.start), c.expected);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CStringFind,
    testing::Values(FindCase{"Plain", "abcabc", "bc", 0, 1}, FindCase{"FromStart", "abcabc", "bc", 2, 4},
                    FindCase{"Missing", "abc", "x", 0, -1}, FindCase{"EmptyNeedle", "abc", "", 0, -1},
                    FindCase{"CaseSensitive", "finish Finish", "Finish", 0, 7},
                    FindCase{"AtAsSecondByteOnly", kAtTrail + "x", "@", 0, -1},
                    FindCase{"AtAfterSecondByte", kAtTrail + "@", "@", 0, 2},
                    FindCase{"CaretAsSecondByte", "a" + kCaretTrail + "^", "^", 0, 3},
                    FindCase{"LoneLeadAtEndIsOneChar", "ab\x81", "\x81", 0, 2},
                    FindCase{"StartInsideCharacter", kAtTrail + "@", "@", 1, 2},
                    FindCase{"StartBeyondEnd", "abc", "a", 9, -1},
                    FindCase{"NegativeStart", "abc", "a", -4, 0},
                    FindCase{"WordAfterChinese", kRoad + "Start", "Start", 0, 4},
                    FindCase{"WordSplitByTrailingLead", "St\x81" "art", "Start", 0, -1},
                    FindCase{"EvenLeadRun", "\xB5\xC0\xC2\xB7@", "@", 0, 4},
                    FindCase{"OddLeadRun", "\xB5\xC2\xB7@", "@", 0, -1}),
    testing_support::RowName());

TEST(CStringReverseFind, SkipsSecondBytes) {
  EXPECT_EQ(B("a.b.c").ReverseFind('.'), 3);
  EXPECT_EQ(B("abc").ReverseFind('.'), -1);
  EXPECT_EQ(B("@" + kAtTrail).ReverseFind('@'), 0);
  EXPECT_EQ(B("x" + kAtTrail).ReverseFind('@'), -1);
}

struct ReplaceCase {
  const char* name;
  std::string text;
  std::string oldText;
  std::string newText;
  std::string expected;
  int count;
};

class CStringReplace : public testing::TestWithParam<ReplaceCase> {};

TEST_P(CStringReplace, ReplacesWholeCharactersLeftToRight) {
  const ReplaceCase& c = GetParam();
  CString text = B(c.text);
  EXPECT_EQ(text.Replace(B(c.oldText), B(c.newText)), c.count);
  EXPECT_EQ(text.Bytes(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CStringReplace,
    testing::Values(ReplaceCase{"Marker", "$A1,2$", "$", "\r\n", "\r\nA1,2\r\n", 2},
                    ReplaceCase{"NoOverlap", "aaa", "aa", "b", "ba", 1},
                    ReplaceCase{"Nothing", "abc", "x", "y", "abc", 0},
                    ReplaceCase{"Removal", "Download Finish\r\nA", "Download Finish", "", "\r\nA", 1},
                    ReplaceCase{"CaretSecondByteKept", kCaretTrail + "^x^", "^", "\r\n", kCaretTrail + "\r\nx\r\n", 2},
                    ReplaceCase{"AtSecondByteKept", "@" + kAtTrail, "@", "\r\n", "\r\n" + kAtTrail, 1},
                    ReplaceCase{"ChineseNeedle", kRoad + "x" + kRoad, kRoad, "R", "RxR", 2}),
    testing_support::RowName());

struct ReplaceFromCase {
  const char* name;
  std::string text;
  std::string oldText;
  int start;
  std::string expected;
  int count;
};

class CStringReplaceFrom : public testing::TestWithParam<ReplaceFromCase> {};

TEST_P(CStringReplaceFrom, LeavesTheTextBeforeStartAlone) {
  const ReplaceFromCase& c = GetParam();
  CString text = B(c.text);
  EXPECT_EQ(text.Replace(B(c.oldText), "\r\n", c.start), c.count);
  EXPECT_EQ(text.Bytes(), c.expected);
  if (c.oldText.size() == 1) {
    CString again = B(c.text);
    EXPECT_EQ(again.Replace(c.oldText[0], "\r\n", c.start), c.count);
    EXPECT_EQ(again.Bytes(), c.expected);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CStringReplaceFrom,
    testing::Values(ReplaceFromCase{"SkipsEarlier", "$a$b$", "$", 2, "$a\r\nb\r\n", 2},
                    ReplaceFromCase{"AtAnOccurrence", "$a$b", "$", 2, "$a\r\nb", 1},
                    ReplaceFromCase{"NegativeIsWhole", "$a$", "$", -3, "\r\na\r\n", 2},
                    ReplaceFromCase{"AtEnd", "$a$", "$", 3, "$a$", 0},
                    ReplaceFromCase{"BeyondEnd", "$a$", "$", 9, "$a$", 0},
                    // A start on a second byte moves on to the next character, so that second byte stays.
                    ReplaceFromCase{"StartOnSecondByte", kAtTrail + "@", "@", 1, kAtTrail + "\r\n", 1},
                    // The parse runs from the text's front, not from `start`: 0x81 0x40 here is one character.
                    ReplaceFromCase{"StartAfterLeadByte", "x" + kAtTrail + "@@", "@", 2, "x" + kAtTrail + "\r\n\r\n", 2},
                    ReplaceFromCase{"WordFromStart", "Download Finish Download Finish", "Download Finish", 1,
                                    "Download Finish \r\n", 1}),
    testing_support::RowName());

TEST(CStringRemove, RemovesOnlyWholeCharacters) {
  CString text = B("\r\na\rb\n" + kAtTrail + "@");
  EXPECT_EQ(text.Remove('\r'), 2);
  EXPECT_EQ(text.Remove('\n'), 2);
  EXPECT_EQ(text.Remove('@'), 1);
  EXPECT_EQ(text.Bytes(), "ab" + kAtTrail);
}

struct TrimCase {
  const char* name;
  std::string text;
  std::string expected;
};

class CStringTrimRightCrThenLf : public testing::TestWithParam<TrimCase> {};

TEST_P(CStringTrimRightCrThenLf, RemovesWholeRunsInTurn) {
  CString text = B(GetParam().text);
  text.TrimRight('\r');
  text.TrimRight('\n');
  EXPECT_EQ(text.Bytes(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, CStringTrimRightCrThenLf,
                         testing::Values(TrimCase{"CrLf", "x\r\n", "x\r"}, TrimCase{"CrCrLfLf", "x\r\r\n\n", "x\r\r"},
                                         TrimCase{"LfCr", "x\n\r", "x"}, TrimCase{"OnlyEnds", "\r\n", "\r"},
                                         TrimCase{"Inner", "a\rb", "a\rb"}),
                         testing_support::RowName());

TEST(CStringTrim, WhiteSpaceAndSets) {
  CString text = B(" \t\r\n x y \v\f\r\n ");
  text.TrimLeft();
  EXPECT_EQ(text.Bytes(), "x y \v\f\r\n ");
  text.TrimRight();
  EXPECT_EQ(text.Bytes(), "x y");

  // Every trailing character of the set goes, letters of the last record included.
  CString closing = B("P1,road\r\nDownload Finish\r\n");
  closing.TrimRight(B("Download Finish\r\n"));
  EXPECT_EQ(closing.Bytes(), "P1,r");

  // A second byte that happens to be in the set, or white space, is not trimmed.
  CString chinese = B("a\x81 ");
  chinese.TrimRight();
  EXPECT_EQ(chinese.Bytes(), "a\x81 ");
  CString atEnd = B("a" + kAtTrail + "@@");
  atEnd.TrimRight('@');
  EXPECT_EQ(atEnd.Bytes(), "a" + kAtTrail);
  CString high = B("a\xA0");
  high.TrimRight();
  EXPECT_EQ(high.Bytes(), "a\xA0");
}

TEST(CStringSlices, ClampAndNeverFail) {
  const CString abc = "abc";
  EXPECT_EQ(abc.Mid(2, -3), "");
  EXPECT_EQ(abc.Left(10), "abc");
  EXPECT_EQ(abc.Left(-1), "");
  EXPECT_EQ(abc.Right(2), "bc");
  EXPECT_EQ(abc.Right(7), "abc");
  EXPECT_EQ(abc.Mid(-2), "abc");
  EXPECT_EQ(abc.Mid(1), "bc");
  EXPECT_EQ(abc.Mid(5, 2), "");
  EXPECT_EQ(abc.Mid(1, 1), "b");
}

TEST(CStringMakeUpper, LettersOnlyAndNeverSecondBytes) {
  CString name = B("a.hln" + kRoad + kLetterTrail + "z");
  name.MakeUpper();
  EXPECT_EQ(name.Bytes(), "A.HLN" + kRoad + kLetterTrail + "Z");
}

TEST(CStringFormat, Decimal) {
  CString text;
  text.Format("%d", -42);
  EXPECT_EQ(text, "-42");
  text.Format(">>%s,%d\r\n", "R1", 2);
  EXPECT_EQ(text, ">>R1,2\r\n");
}

TEST(CStringCharStarts, ResyncFromAnyPosition) {
  const CString text = B("a" + kRoad + kAtTrail + "b");  // a | B5C0 | C2B7 | 8140 | b
  const int expectedBefore[] = {0, 1, 1, 3, 3, 5, 5, 7, 8};
  for (int pos = 0; pos <= text.GetLength(); ++pos) {
    EXPECT_EQ(text.CharStartAtOrBefore(pos), expectedBefore[pos]) << pos;
  }
  EXPECT_EQ(text.CharStartAtOrAfter(2), 3);
  EXPECT_EQ(text.CharStartAtOrAfter(7), 7);
}

}  // namespace
}  // namespace kestrion

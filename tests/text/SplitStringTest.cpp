#include "text/SplitString.h"

#include <gtest/gtest.h>

#include "common/TestNames.h"

#include <string>
#include <vector>

namespace kestrion {
namespace {

struct SplitCase {
  const char* name;
  std::string text;
  char delimiter;
  std::vector<std::string> expected;
};

class SplitStringTable : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitStringTable, GivesTheNonEmptyPiecesAndReplacesTheList) {
  const SplitCase& c = GetParam();
  CStringArray list;
  list.Add("left over");
  SplitString(CString(c.text), list, CString(std::string(1, c.delimiter)));
  std::vector<std::string> pieces;
  for (const CString& piece : list) pieces.push_back(piece.Bytes());
  EXPECT_EQ(pieces, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SplitStringTable,
    testing::Values(SplitCase{"CrLfLines", "a\r\nb\r\n", '\n', {"a\r", "b\r"}},
                    SplitCase{"BlankLineKeepsItsCr", "a\r\n\r\nb\r\n", '\n', {"a\r", "\r", "b\r"}},
                    SplitCase{"LeadingBlankLinesGo", "\r\n\r\n  a\r\n", '\n', {"a\r"}},
                    SplitCase{"LfOnly", "a\nb\n", '\n', {"a", "b"}},
                    SplitCase{"CommasEmptyPiecesDropped", ",a,,b", ',', {"a", "b"}},
                    SplitCase{"NoDelimiter", "abc", ',', {"abc"}},
                    SplitCase{"Empty", "", ',', {}},
                    SplitCase{"WhiteSpaceOnly", " \t \r\n", ',', {}},
                    SplitCase{"TrailingBlankLineKeepsItsCr", "a\r\n\r\n", '\n', {"a\r", "\r"}},
                    SplitCase{"InnerBlanksStay", "1,S1, x ,", ',', {"1", "S1", " x "}},
                    SplitCase{"CommaAsSecondByteIsNoDelimiter", "a\x81,b", ',', {"a\x81,b"}},
                    SplitCase{"CaretDelimiterAfterChinese", "\xB5\xC0^x", '^', {"\xB5\xC0", "x"}}),
    testing_support::RowName());

TEST(SplitString, LeavesTheCallersTextAlone) {
  const CString text = " a\r\nb\r\n";
  CStringArray list;
  SplitString(text, list, "\n");
  EXPECT_EQ(text, " a\r\nb\r\n");
  EXPECT_EQ(list.GetSize(), 2);
}

}  // namespace
}  // namespace kestrion

// Inputs that the fuzzer of the text operations found.
//
// A search character or text whose last byte is 0x81..0xFE matched where that byte is the first half of a
// two-byte character. Taking half a character out leaves its second byte behind to pair with whatever follows:
// in 99 99 0D, removing 0x99 turns the CR into the second byte of a new character.
#include <gtest/gtest.h>

#include <string>

#include "common/TestNames.h"
#include "text/SplitString.h"

namespace kestrion {
namespace {

struct LeadCharacterCase {
  const char* name;
  std::string text;
  char ch;
  int found;             // Find and ReverseFind: the one occurrence, or -1
  std::string removed;   // after Remove
};

class LeadByteAsCharacter : public testing::TestWithParam<LeadCharacterCase> {};

TEST_P(LeadByteAsCharacter, MatchesOnlyAWholeOneByteCharacter) {
  const LeadCharacterCase& c = GetParam();
  const CString text(c.text);
  EXPECT_EQ(text.Find(c.ch), c.found);
  EXPECT_EQ(text.ReverseFind(c.ch), c.found);
  CString removed = text;
  EXPECT_EQ(removed.Remove(c.ch), c.found < 0 ? 0 : 1);
  EXPECT_EQ(removed.Bytes(), c.removed);
  CString replaced = text;
  EXPECT_EQ(replaced.Replace(c.ch, "\r\n"), c.found < 0 ? 0 : 1);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LeadByteAsCharacter,
    testing::Values(
        // The fuzzer's input: the two-byte character 99 99, then a CR.
        LeadCharacterCase{"FirstHalfBeforeCr", "\x99\x99\r", '\x99', -1, "\x99\x99\r"},
        LeadCharacterCase{"FirstHalfOfChinese", "a\xB5\xC0" "b", '\xB5', -1, "a\xB5\xC0" "b"},
        LeadCharacterCase{"FirstHalfAndLoneLead", "\xB5\xC0\xB5", '\xB5', 2, "\xB5\xC0"},
        // A lead byte with nothing after it is a character of its own, and still found.
        LeadCharacterCase{"LoneLeadAtEnd", "ab\xB5", '\xB5', 2, "ab"}),
    testing_support::RowName());

TEST(TextEndingInLeadByte, IsNotFoundInsideACharacter) {
  const CString text("A\x81@");  // 'A', then the two-byte character 81 40
  EXPECT_EQ(text.Find("A\x81"), -1);
  CString replaced = text;
  EXPECT_EQ(replaced.Replace("A\x81", "x"), 0);
  EXPECT_EQ(replaced.Bytes(), "A\x81@");
}

TEST(SplitStringAtLeadByte, KeepsCharactersWhole) {
  CStringArray pieces;
  SplitString("a\xB5\xC0" "b", pieces, "\xB5");
  ASSERT_EQ(pieces.GetSize(), 1);
  EXPECT_EQ(pieces[0].Bytes(), "a\xB5\xC0" "b");
}

}  // namespace
}  // namespace kestrion

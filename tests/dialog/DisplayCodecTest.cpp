// The display codec: the codec contract over the system's converter, and how it shows what matters.
#include <gtest/gtest.h>

#include <string>

#include "DisplayCodecContract.h"
#include "common/TestNames.h"
#include "dialog/DisplayCodec.h"

namespace kestrion {
namespace {

using testing_support::CodecCase;
using testing_support::DisplayCodecContract;

// A converter that has no code page: everything above 0x7F is a stand-in, and still comes back.
class NoConverter : public Cp936Converter {
 public:
  bool IsAvailable() const override { return false; }
  std::u16string DecodeOne(std::string_view) const override { return {}; }
  std::string EncodeOne(std::u16string_view) const override { return {}; }
};

INSTANTIATE_TEST_SUITE_P(System, DisplayCodecContract, testing::Values(CodecCase{"System", &SystemConverter()}),
                         testing_support::RowName());

const DisplayCodec& Codec() {
  return DisplayCodec::Of(SystemConverter());
}

struct ShownCase {
  const char* name;
  std::string bytes;
  std::u16string shown;
  std::u16string shownCrLf;  // in a box that holds its line breaks as CR LF; empty: as `shown`
};

class DisplayCodecShows : public testing::TestWithParam<ShownCase> {};

TEST_P(DisplayCodecShows, TheseCharacters) {
  const ShownCase& c = GetParam();
  EXPECT_EQ(Codec().Decode(c.bytes), c.shown);
  EXPECT_EQ(Codec().Encode(c.shown), c.bytes);
  const std::u16string crLf = c.shownCrLf.empty() ? c.shown : c.shownCrLf;
  EXPECT_EQ(Codec().Decode(c.bytes, LineBreak::CrLf), crLf);
  EXPECT_EQ(Codec().Encode(crLf), c.bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DisplayCodecShows,
    testing::Values(
        ShownCase{"Ascii", "A1,2.5 x", u"A1,2.5 x", u""}, ShownCase{"Tab", "a\tb", u"a\tb", u""},
        ShownCase{"CrLfIsLineBreak", "a\r\nb", u"a\nb", u"a\r\nb"}, ShownCase{"LoneCr", "a\rb", u"a\u280Db", u""},
        ShownCase{"LoneLf", "a\nb", u"a\u280Ab", u""}, ShownCase{"CrBeforeCrLf", "\r\r\n", u"\u280D\n", u"\u280D\r\n"},
        ShownCase{"LfCr", "\n\r", u"\u280A\u280D", u""}, ShownCase{"ControlByte", "\x1A", u"\u281A", u""},
        ShownCase{"Delete", "\x7F", u"\u287F", u""},
        ShownCase{"Chinese", "\xCE\xDE\xB5\xC0", u"\u65E0\u9053", u""},
        ShownCase{"TrailIsAt", "\x81\x40", u"\u4E02", u""}, ShownCase{"LoneLeadAtEnd", "ab\x81", u"ab\u2881", u""},
        ShownCase{"LeadBeforeCrLf", "\x81\r\n", u"\u2881\n", u"\u2881\r\n"},
        ShownCase{"LeadBeforeDigit",
                  "\x81"
                  "1",
                  u"\u2881"
                  "1",
                  u""},
        ShownCase{"TrailIsALeadByte", "\x81\x81\x40", u"\u4E96@", u""}),
    testing_support::RowName());

TEST(DisplayCodecEncode, TypedLineBreaksBecomeCrLf) {
  EXPECT_EQ(Codec().Encode(u"a\u2029b\u2028c\nd\r\ne"), "a\r\nb\r\nc\r\nd\r\ne");
}

TEST(DisplayCodecEncode, WhatCodePage936CannotHoldBecomesOneQuestionMark) {
  EXPECT_EQ(Codec().Encode(u"x\U0001F600y"), "x?y");  // one emoji: two code units
  EXPECT_EQ(Codec().Encode(std::u16string(1, char16_t{0xD800})), "?");  // a lone surrogate
  EXPECT_EQ(Codec().Encode(std::u16string(1, char16_t{0})), "?");       // a zero byte would end the text
}

TEST(DisplayCodecWithoutConverter, ShowsHighBytesAsStandInsAndGivesThemBack) {
  static const NoConverter none;
  const DisplayCodec codec(none);
  EXPECT_FALSE(codec.HasConverter());
  EXPECT_EQ(codec.Decode("\xCE\xDE" "a\r\n"), u"\u28CE\u28DEa\n");
  EXPECT_EQ(codec.Encode(u"\u28CE\u28DEa\n"), "\xCE\xDE" "a\r\n");
}

}  // namespace
}  // namespace kestrion

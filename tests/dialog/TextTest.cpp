// The window's text helpers: formatting in one pass, and UTF-8 for names and reasons.
#include <gtest/gtest.h>

#include <string>

#include "dialog/Text.h"

namespace kestrion {
namespace {

TEST(FormatText, ReplacesEachPlaceOnceInOnePass) {
  EXPECT_EQ(FormatText(u"%2 then %1, %1", {u"a", u"b"}), u"b then a, a");
  // A path that holds a place of its own is shown as it is.
  EXPECT_EQ(FormatText(u"Cannot create %1: %2.", {u"/tmp/%2%1", u"denied"}), u"Cannot create /tmp/%2%1: denied.");
  EXPECT_EQ(FormatText(u"%3 and 100%", {u"x"}), u"%3 and 100%");
}

TEST(NumberText, PadsAndSigns) {
  EXPECT_EQ(Number(std::uint64_t{0}), u"0");
  EXPECT_EQ(Number(std::uint64_t{7}, 2), u"07");
  EXPECT_EQ(Number(-42), u"-42");
  EXPECT_EQ(Number(std::uint64_t{18446744073709551615u}), u"18446744073709551615");
}

TEST(Utf8Text, RoundTripsAndReplacesWhatIsNotUtf8) {
  const std::string text = "/tmp/\xE9\x81\x93\xF0\x9F\x98\x80.HLN";
  EXPECT_EQ(Utf8ToUtf16(text), u"/tmp/\u9053\U0001F600.HLN");
  EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(text)), text);
  // A stray continuation byte, an overlong form and a cut sequence each become one replacement.
  EXPECT_EQ(Utf8ToUtf16("a\x80" "b\xC0\xAF" "c\xE9\x81"), u"a\uFFFDb\uFFFD\uFFFDc\uFFFD\uFFFD");
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t{0xDC00})), "\xEF\xBF\xBD");
}

}  // namespace
}  // namespace kestrion

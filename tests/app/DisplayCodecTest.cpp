// The display codec as a codec: every byte and every lead/trail pair, then random strings, must come back.
#include <gtest/gtest.h>

#include <QSet>
#include <random>
#include <string>
#include <vector>

#include "app/DisplayCodec.h"
#include "common/TestNames.h"

namespace kestrion {
namespace {

const DisplayCodec& Codec() {
  return DisplayCodec::Instance();
}

std::string Pair(int lead, int trail) {
  return {static_cast<char>(lead), static_cast<char>(trail)};
}

TEST(DisplayCodecConverter, IsThePlatformsGbk) {
  ASSERT_TRUE(Codec().HasConverter());
  // Most lead/trail pairs are characters of their own; a broken table shows them as two stand-ins.
  int characters = 0;
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0; trail < 256; ++trail) characters += Codec().Decode(Pair(lead, trail)).size() == 1;
  }
  EXPECT_GT(characters, 21000);
}

TEST(DisplayCodecRoundTrip, EverySingleByte) {
  for (int b = 0; b < 256; ++b) {
    const std::string bytes(1, static_cast<char>(b));
    const QString shown = Codec().Decode(bytes);
    ASSERT_EQ(shown.size(), 1) << b;
    EXPECT_EQ(Codec().Encode(shown), bytes) << b;
  }
}

TEST(DisplayCodecRoundTrip, EveryLeadTrailPair) {
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0; trail < 256; ++trail) {
      // Alone, and between neighbours that could pair with it wrongly.
      for (const std::string& bytes :
           {Pair(lead, trail), "\x81" + Pair(lead, trail) + "\r", "\r" + Pair(lead, trail)}) {
        const QString shown = Codec().Decode(bytes);
        ASSERT_EQ(Codec().Encode(shown), bytes) << lead << " " << trail;
        ASSERT_EQ(Codec().Decode(Codec().Encode(shown)), shown) << lead << " " << trail;
        ASSERT_EQ(Codec().CountUnits(bytes), static_cast<std::size_t>(shown.size()));
      }
    }
  }
}

TEST(DisplayCodecRoundTrip, NoTwoUnitsLookAlike) {
  QSet<char16_t> seen;
  auto add = [&](const std::string& bytes) {
    const QString shown = Codec().Decode(bytes);
    if (shown.size() != 1) return;
    EXPECT_FALSE(seen.contains(shown.at(0).unicode())) << std::hex << static_cast<int>(shown.at(0).unicode());
    seen.insert(shown.at(0).unicode());
  };
  add("\r\n");
  for (int b = 0; b < 256; ++b) add(std::string(1, static_cast<char>(b)));
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0; trail < 256; ++trail) add(Pair(lead, trail));
  }
}

struct ShownCase {
  const char* name;
  std::string bytes;
  std::u16string shown;
};

class DisplayCodecShows : public testing::TestWithParam<ShownCase> {};

TEST_P(DisplayCodecShows, TheseCharacters) {
  const ShownCase& c = GetParam();
  EXPECT_EQ(Codec().Decode(c.bytes), QString::fromStdU16String(c.shown));
  EXPECT_EQ(Codec().Encode(QString::fromStdU16String(c.shown)), c.bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DisplayCodecShows,
    testing::Values(
        ShownCase{"Ascii", "A1,2.5 x", u"A1,2.5 x"}, ShownCase{"Tab", "a\tb", u"a\tb"},
        ShownCase{"CrLfIsLineBreak", "a\r\nb", u"a\nb"}, ShownCase{"LoneCr", "a\rb", u"a\u280Db"},
        ShownCase{"LoneLf", "a\nb", u"a\u280Ab"}, ShownCase{"CrBeforeCrLf", "\r\r\n", u"\u280D\n"},
        ShownCase{"LfCr", "\n\r", u"\u280A\u280D"}, ShownCase{"ControlByte", "\x1A", u"\u281A"},
        ShownCase{"Delete", "\x7F", u"\u287F"}, ShownCase{"Chinese", "\xCE\xDE\xB5\xC0", u"\u65E0\u9053"},
        ShownCase{"TrailIsAt", "\x81\x40", u"\u4E02"}, ShownCase{"LoneLeadAtEnd", "ab\x81", u"ab\u2881"},
        ShownCase{"LeadBeforeCrLf", "\x81\r\n", u"\u2881\n"},
        ShownCase{"LeadBeforeDigit",
                  "\x81"
                  "1",
                  u"\u2881"
                  "1"},
        ShownCase{"TrailIsALeadByte", "\x81\x81\x40", u"\u4E96@"},
        ShownCase{"ByteFF", "\xFF", std::u16string(1, Codec().Decode("\xFF").at(0).unicode())}),
    testing_support::RowName());

TEST(DisplayCodecEncode, TypedLineBreaksBecomeCrLf) {
  EXPECT_EQ(Codec().Encode(u"a\u2029b\u2028c\nd"), "a\r\nb\r\nc\r\nd");
}

TEST(DisplayCodecEncode, WhatCodePage936CannotHoldBecomesOneQuestionMark) {
  EXPECT_EQ(Codec().Encode(QString::fromUtf8("x\xF0\x9F\x98\x80y")), "x?y");  // one emoji: two code units
  EXPECT_EQ(Codec().Encode(QString(QChar(0xD800))), "?");                     // a lone surrogate
  EXPECT_EQ(Codec().Encode(QString(QChar(0))), "?");  // a zero byte would end the text
}

std::string RandomBytes(std::mt19937& rng, std::size_t maxLength) {
  // Rich in what is hard: lead bytes, CR and LF, bytes that cannot be trails, and any byte at all.
  static const unsigned char kHard[] = {0x81, 0xA1, 0xB5, 0xFE, 0xFF, 0x80,
                                        '\r', '\n', 0x40, 0x7F, 0x30, 'a'};
  std::uniform_int_distribution<std::size_t> length(0, maxLength);
  std::uniform_int_distribution<int> anyByte(1, 255);
  std::uniform_int_distribution<std::size_t> hard(0, sizeof kHard - 1);
  std::bernoulli_distribution pickHard(0.5);
  std::string bytes(length(rng), '\0');
  for (char& b : bytes) b = static_cast<char>(pickHard(rng) ? kHard[hard(rng)] : anyByte(rng));
  return bytes;
}

TEST(DisplayCodecRoundTrip, RandomByteStrings) {
  std::mt19937 rng(936);
  for (int round = 0; round < 3000; ++round) {
    const std::string bytes = RandomBytes(rng, 60);
    const QString shown = Codec().Decode(bytes);
    ASSERT_EQ(Codec().Encode(shown), bytes);
    ASSERT_EQ(Codec().CountUnits(bytes), static_cast<std::size_t>(shown.size()));
  }
}

TEST(DisplayCodecUnits, StartsFoundBackwardsMatchAWalkFromTheFront) {
  std::mt19937 rng(20);
  for (int round = 0; round < 2000; ++round) {
    const std::string bytes = RandomBytes(rng, 40);
    std::vector<bool> start(bytes.size(), false);
    for (std::size_t pos = 0; pos < bytes.size(); pos += Codec().UnitLength(bytes, pos)) start[pos] = true;
    std::size_t lastStart = 0;
    for (std::size_t pos = 0; pos < bytes.size(); ++pos) {
      if (start[pos]) lastStart = pos;
      ASSERT_EQ(Codec().UnitStartAtOrBefore(bytes, pos), lastStart);
      if (Codec().AlwaysStartsUnit(static_cast<unsigned char>(bytes[pos]))) {
        ASSERT_TRUE(start[pos]);
      }
    }
  }
}

}  // namespace
}  // namespace kestrion

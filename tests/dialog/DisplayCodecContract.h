// The display codec as a codec, over whichever converter a test binary has: every byte and every lead/trail
// pair, then random strings, must come back, with either kind of line break. A test binary instantiates the
// suite with its converters:
//   INSTANTIATE_TEST_SUITE_P(Name, DisplayCodecContract, testing::Values(CodecCase{"Name", &converter}, ...),
//                            testing_support::RowName());
#pragma once

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <vector>

#include "dialog/Converter.h"
#include "dialog/DisplayCodec.h"

namespace kestrion::testing_support {

struct CodecCase {
  const char* name;
  const Cp936Converter* converter;
};

class DisplayCodecContract : public testing::TestWithParam<CodecCase> {
 protected:
  const DisplayCodec& Codec() const { return DisplayCodec::Of(*GetParam().converter); }

  static std::string Pair(int lead, int trail) { return {static_cast<char>(lead), static_cast<char>(trail)}; }

  static std::string RandomBytes(std::mt19937& rng, std::size_t maxLength) {
    // Rich in what is hard: lead bytes, CR and LF, bytes that cannot be trails, and any byte at all.
    static const unsigned char kHard[] = {0x81, 0xA1, 0xB5, 0xFE, 0xFF, 0x80, '\r', '\n', 0x40, 0x7F, 0x30, 'a'};
    std::uniform_int_distribution<std::size_t> length(0, maxLength);
    std::uniform_int_distribution<int> anyByte(1, 255);
    std::uniform_int_distribution<std::size_t> hard(0, sizeof kHard - 1);
    std::bernoulli_distribution pickHard(0.5);
    std::string bytes(length(rng), '\0');
    for (char& b : bytes) b = static_cast<char>(pickHard(rng) ? kHard[hard(rng)] : anyByte(rng));
    return bytes;
  }
};

inline constexpr LineBreak kBothLineBreaks[] = {LineBreak::Lf, LineBreak::CrLf};

TEST_P(DisplayCodecContract, ConverterIsAGbk) {
  ASSERT_TRUE(Codec().HasConverter());
  // Most lead/trail pairs are characters of their own; a broken table shows them as two stand-ins.
  int characters = 0;
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0; trail < 256; ++trail) characters += Codec().Decode(Pair(lead, trail)).size() == 1;
  }
  EXPECT_GT(characters, 21000);
  EXPECT_EQ(Codec().Decode("\xCE\xDE\xB5\xC0\x81\x40"), u"\u65E0\u9053\u4E02");
}

TEST_P(DisplayCodecContract, EverySingleByteComesBack) {
  for (int b = 0; b < 256; ++b) {
    const std::string bytes(1, static_cast<char>(b));
    const std::u16string shown = Codec().Decode(bytes);
    ASSERT_EQ(shown.size(), 1u) << b;
    EXPECT_EQ(Codec().Encode(shown), bytes) << b;
  }
}

TEST_P(DisplayCodecContract, EveryLeadTrailPairComesBack) {
  for (const LineBreak lineBreak : kBothLineBreaks) {
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
      for (int trail = 0; trail < 256; ++trail) {
        // Alone, and between neighbours that could pair with it wrongly.
        for (const std::string& bytes :
             {Pair(lead, trail), "\x81" + Pair(lead, trail) + "\r", "\r" + Pair(lead, trail) + "\r\n"}) {
          const std::u16string shown = Codec().Decode(bytes, lineBreak);
          ASSERT_EQ(Codec().Encode(shown), bytes) << lead << " " << trail;
          ASSERT_EQ(Codec().Decode(Codec().Encode(shown), lineBreak), shown) << lead << " " << trail;
          ASSERT_EQ(Codec().ShownLength(bytes, lineBreak), shown.size());
        }
      }
    }
  }
}

TEST_P(DisplayCodecContract, NoTwoUnitsLookAlike) {
  std::set<char16_t> seen;
  auto add = [&](const std::string& bytes) {
    const std::u16string shown = Codec().Decode(bytes);
    if (shown.size() != 1) return;
    EXPECT_FALSE(seen.contains(shown[0])) << std::hex << static_cast<int>(shown[0]);
    seen.insert(shown[0]);
  };
  add("\r\n");
  for (int b = 0; b < 256; ++b) add(std::string(1, static_cast<char>(b)));
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0; trail < 256; ++trail) add(Pair(lead, trail));
  }
}

TEST_P(DisplayCodecContract, RandomByteStringsComeBack) {
  std::mt19937 rng(936);
  for (int round = 0; round < 3000; ++round) {
    const std::string bytes = RandomBytes(rng, 60);
    for (const LineBreak lineBreak : kBothLineBreaks) {
      const std::u16string shown = Codec().Decode(bytes, lineBreak);
      ASSERT_EQ(Codec().Encode(shown), bytes);
      ASSERT_EQ(Codec().ShownLength(bytes, lineBreak), shown.size());
    }
    ASSERT_EQ(Codec().CountUnits(bytes), Codec().Decode(bytes).size());
  }
}

TEST_P(DisplayCodecContract, UnitStartsFoundBackwardsMatchAWalkFromTheFront) {
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

}  // namespace kestrion::testing_support

// Random byte strings, rich in lead bytes followed by '@' and '^', against the character rules.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "text/SplitString.h"

namespace kestrion {
namespace {

constexpr int kRounds = 3000;

std::string RandomText(std::mt19937& rng) {
  static const unsigned char kAlphabet[] = {'@', '^', '$', '&', ',', '\r', '\n', ' ', 'a', 'S', 0x81, 0xB5, 0xFE, 0xFF, 0x80, 0x40};
  std::uniform_int_distribution<std::size_t> length(0, 40);
  std::uniform_int_distribution<std::size_t> pick(0, sizeof kAlphabet - 1);
  std::string text;
  const std::size_t n = length(rng);
  for (std::size_t i = 0; i < n; ++i) text += static_cast<char>(kAlphabet[pick(rng)]);
  return text;
}

// Character starts by walking from the front: the definition itself.
std::vector<bool> Starts(const std::string& s) {
  std::vector<bool> starts(s.size() + 1, false);
  for (std::size_t i = 0; i < s.size();) {
    starts[i] = true;
    const auto b = static_cast<unsigned char>(s[i]);
    i += (IsLeadByte(b) && i + 1 < s.size()) ? 2U : 1U;
  }
  starts[s.size()] = true;
  return starts;
}

// The characters of a text, as byte strings.
std::vector<std::string> Characters(const std::string& s) {
  std::vector<std::string> chars;
  const auto starts = Starts(s);
  for (std::size_t i = 0; i < s.size();) {
    std::size_t j = i + 1;
    while (!starts[j]) ++j;
    chars.push_back(s.substr(i, j - i));
    i = j;
  }
  return chars;
}

TEST(TextProperties, FindNeverMatchesAtASecondByte) {
  std::mt19937 rng(20261208);
  for (int round = 0; round < kRounds; ++round) {
    const std::string text = RandomText(rng);
    const auto starts = Starts(text);
    for (const char marker : {'@', '^', '$', '\r'}) {
      const int found = CString(text).Find(marker);
      int expected = -1;
      for (std::size_t i = 0; i < text.size(); ++i) {
        if (starts[i] && text[i] == marker) {
          expected = static_cast<int>(i);
          break;
        }
      }
      ASSERT_EQ(found, expected) << testing::PrintToString(text);
    }
  }
}

TEST(TextProperties, ReplaceAndRemoveKeepEveryOtherCharacterWhole) {
  std::mt19937 rng(7);
  for (int round = 0; round < kRounds; ++round) {
    const std::string text = RandomText(rng);
    for (const char marker : {'@', '^'}) {
      std::string expected;
      std::string removed;
      for (const std::string& ch : Characters(text)) {
        expected += ch == std::string(1, marker) ? std::string("\r\n") : ch;
        if (ch != std::string(1, marker)) removed += ch;
      }
      CString replaced(text);
      replaced.Replace(marker, "\r\n");
      ASSERT_EQ(replaced.Bytes(), expected) << testing::PrintToString(text);
      CString stripped(text);
      stripped.Remove(marker);
      ASSERT_EQ(stripped.Bytes(), removed) << testing::PrintToString(text);
    }
  }
}

TEST(TextProperties, ReplaceFromAStartChangesOnlyWholeCharactersFromThere) {
  std::mt19937 rng(11);
  for (int round = 0; round < kRounds; ++round) {
    const std::string text = RandomText(rng);
    const int start = std::uniform_int_distribution<int>(-1, static_cast<int>(text.size()) + 1)(rng);
    const auto starts = Starts(text);
    for (const char marker : {'@', '^'}) {
      std::string expected;
      std::size_t pos = 0;
      for (const std::string& ch : Characters(text)) {
        const bool from = static_cast<int>(pos) >= start && starts[pos];
        expected += (from && ch == std::string(1, marker)) ? std::string("\r\n") : ch;
        pos += ch.size();
      }
      CString replaced(text);
      replaced.Replace(marker, "\r\n", start);
      ASSERT_EQ(replaced.Bytes(), expected) << testing::PrintToString(text) << " from " << start;
    }
  }
}

TEST(TextProperties, SplitStringLosesNothingButDelimitersAndTrimmedWhiteSpace) {
  std::mt19937 rng(42);
  for (int round = 0; round < kRounds; ++round) {
    const std::string text = RandomText(rng);
    for (const char delimiter : {'\n', ','}) {
      CStringArray pieces;
      SplitString(CString(text), pieces, CString(std::string(1, delimiter)));
      // What the pieces must add up to: the trimmed text with its delimiter characters taken out.
      CString trimmed(text);
      trimmed.TrimLeft();
      trimmed.TrimRight('\r');
      trimmed.TrimRight('\n');
      CString expected = trimmed;
      expected.Remove(delimiter);
      std::string joined;
      for (const CString& piece : pieces) {
        ASSERT_FALSE(piece.IsEmpty()) << testing::PrintToString(text);
        ASSERT_LT(piece.Find(delimiter), 0) << testing::PrintToString(text);
        joined += piece.Bytes();
      }
      ASSERT_EQ(joined, expected.Bytes()) << testing::PrintToString(text);
    }
  }
}

TEST(TextProperties, TrimRightStopsAtCharacterStarts) {
  std::mt19937 rng(3);
  for (int round = 0; round < kRounds; ++round) {
    const std::string text = RandomText(rng);
    CString trimmed(text);
    trimmed.TrimRight();
    const std::string& t = trimmed.Bytes();
    ASSERT_EQ(text.compare(0, t.size(), t), 0);
    ASSERT_TRUE(Starts(text)[t.size()]) << testing::PrintToString(text);
    for (const std::string& ch : Characters(text.substr(t.size()))) {
      ASSERT_TRUE(ch.size() == 1 && IsWhiteSpace(static_cast<unsigned char>(ch[0]))) << testing::PrintToString(text);
    }
  }
}

}  // namespace
}  // namespace kestrion

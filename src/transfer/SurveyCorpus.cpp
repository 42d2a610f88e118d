#include "transfer/SurveyCorpus.h"

#include <cstdint>
#include <initializer_list>
#include <string_view>

#include "serial/Framing.h"

namespace kestrion {
namespace {

// Names in code page 936: a road, a centre, a village, a station, backsight and foresight, the quarters, a
// bridge, a river.
constexpr const char* kNames[] = {
    "\xB5\xC0\xC2\xB7", "\xD6\xD0\xD0\xC4", "\xD0\xC2\xB4\xE5", "\xB2\xE2\xD5\xBE", "\xBA\xF3\xCA\xD3",
    "\xC7\xB0\xCA\xD3", "\xB6\xAB",         "\xC4\xCF\xB1\xB1", "\xC7\xC5",         "\xBA\xD3",
};

// Appended piece by piece: GCC 12 at -O3 takes a chain of std::string + for an overlapping copy (-Wrestrict).
std::string Join(std::initializer_list<std::string_view> parts) {
  std::string text;
  for (const std::string_view part : parts) text += part;
  return text;
}

class Writer {
 public:
  std::vector<std::string> Build() {
    std::vector<std::string> records;
    constexpr int kRecordsPerKind = 14;
    for (int i = 0; i < kRecordsPerKind; ++i) {
      records.push_back(
          Framed('&', {Point(), ",", Number(3051000, 3), ",", Number(502000, 3), ",", Number(10, 3)}));
      records.push_back(
          Framed('$', {Number(0, 3), ",", Number(3051000, 3), ",", Number(502000, 3), ",", Number(40, 6)}));
      records.push_back(
          Framed('@', {Number(0, 3), ",", Number(10, 3), ",", std::to_string(Next() % 5 * 500)}));
      records.push_back(
          Framed('^', {Point(), ",K", std::to_string(Next() % 3), "+", std::to_string(Next() % 900 + 100),
                       ",", Number(3, 3), ",", Number(1, 1)}));
      records.push_back(Framed('#', {std::to_string(Next() % 60), ",", Point(), ",1.", Digits(3), ",",
                                     Next() % 2 == 0 ? "BS" : "FS", ",", Number(0, 5), ",", Number(89, 5),
                                     ",", Number(20, 3), ",1.", Digits(3), ",", Point()}));
      records.push_back(Framed(i % 2 == 0 ? '(' : '!', {Point(), " ", Number(-500, 2), " ", Number(100, 2)}));
    }
    records.push_back(Join({kWordDownloadFinish, kLineEnd}));
    return records;
  }

 private:
  std::uint32_t Next() {
    m_state ^= m_state << 13;
    m_state ^= m_state >> 17;
    m_state ^= m_state << 5;
    return m_state;
  }
  std::string Digits(int n) {
    std::string text;
    for (int i = 0; i < n; ++i) text += static_cast<char>('0' + Next() % 10);
    return text;
  }
  std::string Number(int from, int decimals) {
    std::string text = std::to_string(from + static_cast<int>(Next() % 1000));
    if (decimals > 0) {
      text += '.';
      text += Digits(decimals);
    }
    return text;
  }
  // A point number most of the time, a Chinese name now and then.
  std::string Point() {
    switch (Next() % 4) {
      case 0:
        return kNames[Next() % std::size(kNames)];
      case 1:
        return Join({"GP", Digits(2)});
      default: {
        std::string text(1, static_cast<char>('A' + Next() % 26));
        text += std::to_string(Next() % 300);
        return text;
      }
    }
  }
  // The marker, the fields, the marker and CR LF. The fields are made in the order written (a braced list is
  // evaluated from left to right), so the corpus is the same with every compiler.
  static std::string Framed(char marker, std::initializer_list<std::string_view> fields) {
    std::string text(1, marker);
    text += Join(fields);
    text += marker;
    text += kLineEnd;
    return text;
  }

  std::uint32_t m_state = 0x5EED1234u;
};

}  // namespace

const std::vector<std::string>& SurveyCorpus() {
  static const std::vector<std::string> corpus = Writer().Build();
  return corpus;
}

const std::vector<std::string>& RequestCorpus() {
  static const std::vector<std::string> corpus = {kWordStart, std::string(kWordStart) + kLineEnd};
  return corpus;
}

}  // namespace kestrion

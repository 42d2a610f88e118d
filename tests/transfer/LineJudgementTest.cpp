// The judgement over streams as a receiver reads them: clean survey text at the right settings, and what the
// line model makes of it at wrong rates and formats.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "common/TestNames.h"
#include "transfer/LineJudgement.h"
#include "transfer/SurveyText.h"

namespace kestrion {
namespace {

using testing_support::SurveyKind;
using testing_support::SurveyWriter;

LineSettings At(int rate, int dataBits = 8, Parity parity = Parity::None, int stopBits = 2) {
  return {rate, dataBits, parity, true, stopBits};
}
const LineSettings kPort = At(19200);

struct Stream {
  std::string bytes;
  std::vector<LineMark> marks;  // empty: the port has none
};

Stream Clean(SurveyKind kind, int records, bool names = true, std::uint32_t seed = 1) {
  return {SurveyWriter(seed, names).Download(kind, records), {}};
}
std::function<Stream()> CleanText(SurveyKind kind, int records, bool names = true) {
  return [=] { return Clean(kind, records, names); };
}

// The records sent at `sentAs` and read at `readAs`, with the marks of the receiver or without.
Stream Garbled(SurveyKind kind, int records, const LineSettings& sentAs, const LineSettings& readAs,
               bool marks = false) {
  const std::vector<ReadByte> read = ReadAs(SurveyWriter(7).Download(kind, records), sentAs, readAs);
  Stream stream{ValuesOf(read), {}};
  if (marks) {
    for (const ReadByte& byte : read) stream.marks.push_back(byte.mark);
  }
  return stream;
}
std::function<Stream()> Sent(SurveyKind kind, int records, const LineSettings& sentAs,
                             const LineSettings& readAs = kPort, bool marks = false) {
  return [=] { return Garbled(kind, records, sentAs, readAs, marks); };
}

Stream RandomHighBytes(int count) {
  Stream stream;
  std::uint32_t x = 12345;
  for (int i = 0; i < count; ++i) {
    x = x * 1103515245u + 12345u;
    stream.bytes += static_cast<char>(0x80 | ((x >> 16) & 0x7F));
  }
  return stream;
}

Stream WithZeros(Stream stream, int every) {
  for (std::size_t i = static_cast<std::size_t>(every); i < stream.bytes.size();
       i += static_cast<std::size_t>(every)) {
    stream.bytes[i] = '\0';
  }
  return stream;
}

ErrorsSince Damaged(std::uint64_t n) {
  return {n, 0, 0};
}

struct JudgementCase {
  const char* name;
  std::function<Stream()> stream;
  ErrorsSince errors;
  LineVerdict verdict;
};

StreamSurvey SurveyOf(const Stream& stream, std::size_t readSize) {
  StreamScanner scanner;
  for (std::size_t at = 0; at < stream.bytes.size(); at += readSize) {
    const std::size_t n = std::min(readSize, stream.bytes.size() - at);
    scanner.Scan(std::string_view(stream.bytes).substr(at, n),
                 stream.marks.empty() ? std::span<const LineMark>() : std::span(stream.marks).subspan(at, n));
  }
  return scanner.Survey();
}

class Judgement : public testing::TestWithParam<JudgementCase> {};

TEST_P(Judgement, OfTheStreamAsItArrived) {
  const JudgementCase& c = GetParam();
  const Stream stream = c.stream();
  const StreamSurvey whole = SurveyOf(stream, stream.bytes.size() + 1);
  EXPECT_EQ(Judge(whole, c.errors), c.verdict);
  // Reads of any size see the same stream: a pair cut over two reads is one pair.
  for (const std::size_t readSize : {1u, 7u, 254u}) EXPECT_EQ(SurveyOf(stream, readSize), whole) << readSize;
}

using V = LineVerdict;
using K = SurveyKind;

INSTANTIATE_TEST_SUITE_P(
    Rows, Judgement,
    testing::Values(
        // clang-format off
        JudgementCase{"CleanAscii", CleanText(K::Cpt, 40, false), {}, V::Fine},
        JudgementCase{"CleanNamesOnly", [] {
                        std::string names;
                        for (std::size_t i = 0; i < 20; ++i) names += "^" + testing_support::SurveyNames()[i % 8] + "^\r\n";
                        return Stream{names, {}};
                      }, {}, V::Fine},
        JudgementCase{"CleanWithAFewZeroBytes", [] { return WithZeros(Clean(K::Hln, 100), 997); }, {}, V::Fine},
        JudgementCase{"CleanWithQuotedNotes", [] {
                        Stream s = Clean(K::Txt, 30);
                        s.bytes += "(\"K3\" 'old' [x] ~5%)\r\n";
                        return s;
                      }, {}, V::Fine},
        JudgementCase{"HalfRate", Sent(K::Cpt, 20, At(9600)), {}, V::Noise},
        JudgementCase{"DoubleRate", Sent(K::Cpt, 20, At(38400)), {}, V::Noise},
        JudgementCase{"EightTimesTheRate", Sent(K::Obs, 30, At(38400), At(4800)), {}, V::Noise},
        JudgementCase{"DoubleRateReadAsSevenBits", Sent(K::Cpt, 20, At(19200), At(9600, 7)), {}, V::Noise},
        JudgementCase{"QuarterRateReadAsSevenBits",
                      Sent(K::Cpt, 25, At(19200, 8, Parity::Odd), At(4800, 7, Parity::Odd)), {}, V::Noise},
        JudgementCase{"HalfRateWithItsMarks", Sent(K::Vln, 20, At(9600), kPort, true), {}, V::Noise},
        JudgementCase{"MarkersInTheGarbage", [] {
                        Stream s = Garbled(K::Cpt, 20, At(9600), kPort);
                        s.bytes = "$" + s.bytes + "$\r\n";
                        return s;
                      }, {}, V::Noise},
        JudgementCase{"RandomHighBytes", [] { return RandomHighBytes(400); }, {}, V::Noise},
        JudgementCase{"SevenEvenReadAs8N", Sent(K::Cpt, 30, At(19200, 7, Parity::Even)), {}, V::SevenBitEven},
        JudgementCase{"SevenOddReadAs8N", Sent(K::Hln, 30, At(19200, 7, Parity::Odd)), {}, V::SevenBitOdd},
        JudgementCase{"SevenEvenReadAs8EWithParityMarks",
                      Sent(K::Obs, 30, At(9600, 7, Parity::Even), At(9600, 8, Parity::Even), true), {},
                      V::SevenBitEven},
        JudgementCase{"SevenNoneReadAs8N1",
                      Sent(K::Cpt, 30, At(19200, 7, Parity::None, 1), At(19200, 8, Parity::None, 1)), {},
                      V::SevenBitNone},
        JudgementCase{"SevenNoneWithTwoStopBits", Sent(K::Tln, 30, At(19200, 7)), {}, V::SevenBitNone},
        JudgementCase{"ErrorsAtARate", CleanText(K::Cpt, 5), Damaged(4), V::ErrorsGrowing},
        JudgementCase{"BreaksAtARate", CleanText(K::Cpt, 5), {0, 4, 0}, V::ErrorsGrowing},
        JudgementCase{"TwoErrorsAreNoRate", CleanText(K::Cpt, 2), Damaged(2), V::Fine},
        JudgementCase{"ErrorsFarBelowOneInAHundred", CleanText(K::Cpt, 100), Damaged(20), V::Fine},
        JudgementCase{"OverrunsSayNothingOfTheSettings", CleanText(K::Cpt, 10), {0, 0, 500}, V::Fine},
        JudgementCase{"TooFewBytesToJudge", [] {
                        Stream s = RandomHighBytes(31);
                        s.bytes[3] = '\0';
                        return s;
                      }, {}, V::Fine}),
    // clang-format on
    testing_support::RowName());

// Clean text never warns: every kind, with names and without, short and long.
TEST(Judgement, CleanTextNeverWarns) {
  for (const SurveyKind kind : testing_support::kSurveyKinds) {
    for (std::uint32_t seed = 1; seed <= 40; ++seed) {
      for (const int records : {3, 12, 60}) {
        const Stream s = Clean(kind, records, seed % 2 == 0, seed);
        const StreamSurvey survey = SurveyOf(s, 254);
        EXPECT_EQ(Judge(survey, {}), LineVerdict::Fine) << static_cast<int>(kind) << " seed " << seed;
      }
    }
  }
}

}  // namespace
}  // namespace kestrion

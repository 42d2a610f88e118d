// A terminal that marks line errors hands over more bytes than arrived; the decoding gives back exactly what
// arrived, wherever the reads cut the marks.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "common/TestNames.h"
#include "serial/LineErrors.h"

namespace kestrion {
namespace {

struct MarkCase {
  const char* name;
  std::string marked;   // as the terminal hands it over
  std::string arrived;  // as it came over the line
  LineErrorCounts errors;
};

class MarkedInput : public testing::TestWithParam<MarkCase> {};

TEST_P(MarkedInput, DecodesTheSameAtEveryCutOfTheReads) {
  const MarkCase& c = GetParam();
  for (std::size_t cut = 0; cut <= c.marked.size(); ++cut) {
    MarkedInputDecoder decoder;
    std::string out;
    LineErrorCounts errors;
    decoder.Decode(std::string_view(c.marked).substr(0, cut), out, errors);
    decoder.Decode(std::string_view(c.marked).substr(cut), out, errors);
    EXPECT_EQ(out, c.arrived) << "cut at " << cut;
    EXPECT_EQ(errors, c.errors) << "cut at " << cut;
  }
}

LineErrorCounts Damaged(std::uint64_t n) {
  LineErrorCounts counts;
  counts.parityOrFraming = n;
  return counts;
}

LineErrorCounts Breaks(std::uint64_t n) {
  LineErrorCounts counts;
  counts.breaks = n;
  return counts;
}

// Every byte of a literal, zero bytes included.
template <std::size_t N>
std::string Bytes(const char (&literal)[N]) {
  return std::string(literal, N - 1);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, MarkedInput,
    testing::Values(MarkCase{"PlainBytesPass", Bytes("$A1,2$\r\n\x81\x40"), Bytes("$A1,2$\r\n\x81\x40"), {}},
                    MarkCase{"DoubledFFIsOneFF", Bytes("a\xFF\xFF" "b"), Bytes("a\xFF" "b"), {}},
                    MarkCase{"DamagedByteIsKept", Bytes("Sta\xFF\x00" "rt"), Bytes("Start"), Damaged(1)},
                    MarkCase{"DamagedFFIsKept", Bytes("\xFF\x00\xFF"), Bytes("\xFF"), Damaged(1)},
                    MarkCase{"BreakGivesNothing", Bytes("x\xFF\x00\x00y"), Bytes("xy"), Breaks(1)},
                    MarkCase{"RealZeroBytePasses", Bytes("x\x00y"), Bytes("x\x00y"), {}},
                    MarkCase{"MarksInARow", Bytes("\xFF\x00" "a\xFF\x00" "b\xFF\xFF"), Bytes("ab\xFF"), Damaged(2)},
                    MarkCase{"UnmarkedFFKeepsItsNextByte", Bytes("\xFF" "a"), Bytes("\xFF" "a"), {}}),
    testing_support::RowName());

TEST(MarkedInput, ResetForgetsAMarkCutShort) {
  MarkedInputDecoder decoder;
  std::string out;
  LineErrorCounts errors;
  decoder.Decode("\xFF", out, errors);
  decoder.Reset();
  decoder.Decode("\xFF\xFF", out, errors);
  EXPECT_EQ(out, "\xFF");
}

// The driver's counters and the marks, per kind the larger: a driver that counts nothing hides no mark, and a
// damaged byte that both saw counts once.
struct CombineCase {
  const char* name;
  std::optional<LineErrorCounts> driver;
  LineErrorCounts marked;
  LineErrorCounts expected;
};

class CombinedCounts : public testing::TestWithParam<CombineCase> {};

TEST_P(CombinedCounts, TakeTheLargerPerKind) {
  EXPECT_EQ(CombineCounts(GetParam().driver, GetParam().marked), GetParam().expected);
}

// Parity, framing, either of the two, breaks, overruns.
constexpr LineErrorCounts Counts(std::uint64_t p, std::uint64_t f, std::uint64_t pf, std::uint64_t b,
                                 std::uint64_t o) {
  return {p, f, pf, b, o, 0};
}

INSTANTIATE_TEST_SUITE_P(Rows, CombinedCounts,
                         testing::Values(CombineCase{"NoDriverCounters", std::nullopt, Counts(0, 0, 5, 2, 0),
                                                     Counts(0, 0, 5, 2, 0)},
                                         CombineCase{"DriverAnsweringZeros", Counts(0, 0, 0, 0, 0),
                                                     Counts(0, 0, 7, 1, 0), Counts(0, 0, 7, 1, 0)},
                                         CombineCase{"DriverSplitsWhatTheMarksSaw", Counts(3, 2, 0, 1, 4),
                                                     Counts(0, 0, 5, 1, 0), Counts(3, 2, 0, 1, 4)},
                                         CombineCase{"MarksBeyondTheDriverStayUnsplit", Counts(2, 1, 0, 0, 0),
                                                     Counts(0, 0, 7, 3, 0), Counts(2, 1, 4, 3, 0)}),
                         testing_support::RowName());

}  // namespace
}  // namespace kestrion

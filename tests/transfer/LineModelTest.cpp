// The line model against frames worked out by hand, bit by bit.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/TestNames.h"
#include "transfer/LineModel.h"

namespace kestrion {
namespace {

LineSettings At(int rate, int dataBits, Parity parity, int stopBits = 2) {
  return {rate, dataBits, parity, true, stopBits};
}

ReadByte Plain(unsigned char value) {
  return {value, LineMark::None};
}
ReadByte Marked(unsigned char value, LineMark mark) {
  return {value, mark};
}

struct ModelCase {
  const char* name;
  std::string sent;
  LineSettings sentAs;
  LineSettings readAs;
  std::vector<ReadByte> read;
};

class LineModel : public testing::TestWithParam<ModelCase> {};

TEST_P(LineModel, ReadsWhatTheBitsSay) {
  const ModelCase& c = GetParam();
  EXPECT_EQ(ReadAs(c.sent, c.sentAs, c.readAs), c.read);
}

const LineSettings k8N1 = At(19200, 8, Parity::None, 1);

INSTANTIATE_TEST_SUITE_P(
    Rows, LineModel,
    testing::Values(
        // '1' is 0x31, three bits set: even parity sets the parity bit, which an 8-bit receiver reads as
        // bit 7.
        ModelCase{"OneAtSevenEvenReadAs8N1", "1", At(19200, 7, Parity::Even, 1), k8N1, {Plain(0xB1)}},
        // ',' (0x2C, three bits) gains bit 7 too; '$' (0x24, two bits) keeps its parity bit clear.
        ModelCase{
            "CommaAndDollarAtSevenEven", ",$", At(19200, 7, Parity::Even), k8N1, {Plain(0xAC), Plain(0x24)}},
        ModelCase{"OneAtSevenOddKeepsItsValue", "1", At(19200, 7, Parity::Odd), k8N1, {Plain(0x31)}},
        // Without parity the first stop bit, always high, becomes bit 7; with one stop bit the receiver's
        // stop falls on the next start bit (a framing error), and it takes that for the start of the next
        // byte.
        ModelCase{"SevenNoneWithTwoStopBits",
                  "AB",
                  At(19200, 7, Parity::None, 2),
                  k8N1,
                  {Plain(0xC1), Plain(0xC2)}},
        ModelCase{"SevenNoneBackToBack",
                  "AB",
                  At(19200, 7, Parity::None, 1),
                  k8N1,
                  {Marked(0xC1, LineMark::Framing), Plain(0xC2)}},
        // 8 data bits read as 7 with even parity: bit 7 (clear for ASCII) is taken for the parity bit.
        ModelCase{"EightBitsReadAsSevenEven",
                  "1$",
                  k8N1,
                  At(19200, 7, Parity::Even),
                  {Marked(0x31, LineMark::Parity), Plain(0x24)}},
        // 0x00 at 4800 holds the line low for nine bits, 36 bit times at 19200: a break, then the line rises.
        ModelCase{"ZeroByteFourTimesSlowerIsABreak",
                  std::string(1, '\0'),
                  At(4800, 8, Parity::None),
                  k8N1,
                  {Marked(0x00, LineMark::Break)}},
        // 'U' (0x55) at 4800 read at 19200: a sent bit lasts four received ones. Each received frame ends on
        // a low sent bit (a framing error) whose low the receiver takes for its next start bit, until a frame
        // ends on the stop bit.
        ModelCase{"UFourTimesSlower",
                  "U",
                  At(4800, 8, Parity::None),
                  k8N1,
                  {Marked(0x78, LineMark::Framing), Marked(0x3C, LineMark::Framing),
                   Marked(0x1E, LineMark::Framing), Plain(0x0F)}},
        // 0xF0 at 38400 read at 19200: a received bit spans two sent ones and is sampled in the second: the
        // start bit, sent bit 2 (low), sent bit 4 (high), then stop bits and idle line.
        ModelCase{"HalfAsFast", "\xF0", At(38400, 8, Parity::None), k8N1, {Plain(0xFE)}}),
    testing_support::RowName());

TEST(LineModel, AgreeingSettingsReadEveryByteAsSent) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  for (const LineSettings& settings : {At(4800, 8, Parity::None), At(38400, 8, Parity::Odd, 1),
                                       At(9600, 8, Parity::Even), At(19200, 7, Parity::Even)}) {
    const std::vector<ReadByte> read = ReadAs(all, settings, settings);
    ASSERT_EQ(read.size(), all.size()) << settings.baudRate;
    const unsigned mask = settings.dataBits == 7 ? 0x7F : 0xFF;
    for (int b = 0; b < 256; ++b) {
      EXPECT_EQ(read[static_cast<std::size_t>(b)],
                Plain(static_cast<unsigned char>(static_cast<unsigned>(b) & mask)))
          << settings.baudRate << " byte " << b;
    }
  }
}

}  // namespace
}  // namespace kestrion

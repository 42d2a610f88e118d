#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "common/TestNames.h"
#include "text/Decimal.h"

namespace kestrion {
namespace {

struct DecimalCase {
  const char* name;
  std::string text;
  int expected;
};

class DecimalValueOf : public testing::TestWithParam<DecimalCase> {};

TEST_P(DecimalValueOf, ReadsTheLeadingNumber) {
  EXPECT_EQ(DecimalValue(CString(GetParam().text)), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DecimalValueOf,
    testing::Values(DecimalCase{"Baud", "19200", 19200}, DecimalCase{"DataBits", "8", 8},
                    DecimalCase{"Empty", "", 0}, DecimalCase{"NoDigits", "abc", 0},
                    DecimalCase{"LeadingBlanks", " \t 9600", 9600},
                    DecimalCase{"StopsAtNonDigit", "96x00", 96}, DecimalCase{"TrailingBlank", "4800 ", 4800},
                    DecimalCase{"Plus", "+7", 7}, DecimalCase{"Minus", "-38400", -38400},
                    DecimalCase{"SignAlone", "-", 0}, DecimalCase{"BlankAfterSign", "- 5", 0},
                    DecimalCase{"DoubleSign", "--5", 0}, DecimalCase{"LeadingZeros", "007", 7},
                    DecimalCase{"ChineseAfterDigits", "8\xCE\xBB", 8},
                    DecimalCase{"ChineseFirst",
                                "\xCE\xDE"
                                "8",
                                0},
                    DecimalCase{"Largest", "2147483647", INT_MAX},
                    DecimalCase{"Smallest", "-2147483648", INT_MIN},
                    DecimalCase{"TooLargeSaturates", "99999999999999999999", INT_MAX},
                    DecimalCase{"TooSmallSaturates", "-99999999999999999999", INT_MIN}),
    testing_support::RowName());

}  // namespace
}  // namespace kestrion

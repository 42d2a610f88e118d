#include "serial/Framing.h"

#include <gtest/gtest.h>

#include "common/TestNames.h"

#include <string>

namespace kestrion {
namespace {

TEST(MarkerTable, OrderTypesAndExtensions) {
  std::string order;
  for (const MarkerInfo& row : kMarkerTable) order += row.marker;
  EXPECT_EQ(order, "&$@^()#!");
  EXPECT_EQ(MarkerByChar('#')->outputExtension, ".OBS");
  EXPECT_EQ(MarkerByChar('(')->outputExtension, ".TXT");
  EXPECT_EQ(MarkerByChar('x'), nullptr);
  EXPECT_EQ(MarkerForUploadExtension(".VLN")->marker, '@');
  EXPECT_EQ(MarkerForUploadExtension(".OBS"), nullptr);
  EXPECT_EQ(MarkerForUploadExtension(""), nullptr);
  EXPECT_EQ(MarkerOf(RecordType::Tln), '^');
}

struct FirstMarkerCase {
  const char* name;
  std::string chunk;
  char expected;  // '\0' for none
};

class FirstMarker : public testing::TestWithParam<FirstMarkerCase> {};

TEST_P(FirstMarker, TableOrderNotTextOrder) {
  const MarkerInfo* found = FindFirstMarker(CString(GetParam().chunk));
  EXPECT_EQ(found == nullptr ? '\0' : found->marker, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FirstMarker,
    testing::Values(FirstMarkerCase{"CptBeforeHln", "$H1$&P1&\r\n", '&'}, FirstMarkerCase{"Hln", "$A1,2$\r\n", '$'},
                    FirstMarkerCase{"None", "Download Finish\r\n", '\0'},
                    FirstMarkerCase{"SecondByteAtIsNoMarker", "\x81\x40x#", '#'},
                    FirstMarkerCase{"SecondByteCaretIsNoMarker", "\x81\x5E", '\0'},
                    FirstMarkerCase{"BangLast", "!a!(b(", '('}),
    testing_support::RowName());

TEST(FramedRecords, FormsOnTheLine) {
  EXPECT_EQ(FrameRecord('&', "A1,2"), "&A1,2&\r\n");
  EXPECT_EQ(FrameRecord('$', ""), "$$\r\n");
  EXPECT_EQ(FrameTlnRecord("T1", "p"), "^T1,p^\r\n");
  EXPECT_EQ(FrameTlnRecord("", "p"), "^,p^\r\n");
}

TEST(FramedRecords, LineForSendingTrimsCrsThenLfs) {
  EXPECT_EQ(LineForSending("a\r"), "a\r\n");
  EXPECT_EQ(LineForSending("\r"), "\r\n");
  EXPECT_EQ(LineForSending("b"), "b\r\n");
  EXPECT_EQ(LineForSending(kClosingLine).Bytes(), std::string(kWordUploadFinish) + "\r\r\n");
}

}  // namespace
}  // namespace kestrion

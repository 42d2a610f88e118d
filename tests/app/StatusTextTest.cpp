// The status line as a surveyor reads it when the settings are wrong: bytes that an instrument set otherwise
// sends, as the port at the window's default settings reads them, through the report to the line's text.
#include <gtest/gtest.h>

#include <string>

#include "app/StatusLine.h"
#include "common/TestNames.h"
#include "transfer/LineModel.h"
#include "transfer/SurveyText.h"
#include "transfer/TransferReport.h"

namespace kestrion {
namespace {

using testing_support::ChunkReads;
using testing_support::SurveyKind;
using testing_support::SurveyWriter;

const LineSettings kPort{};  // the window's defaults: 19200 baud, 8 data bits, no parity

std::u16string LineAfter(const std::string& received) {
  TransferReport report;
  report.ConnectionOpened(kPort);
  for (const ChunkRead& read : ChunkReads(received)) report.ReadArrived(read, ReceptionStep{}, LineErrorCounts{});
  return StatusLineText(report, UploadFigures{}, report.Health(LineErrorCounts{}));
}

struct SentRow {
  const char* name;
  LineSettings sentAs;
  std::u16string says;  // the line begins so
};

class StatusTextWhenSettingsDiffer : public testing::TestWithParam<SentRow> {};

TEST_P(StatusTextWhenSettingsDiffer, NamesWhatToChange) {
  const std::string sent = SurveyWriter(26).Download(SurveyKind::Cpt, 15);
  const std::u16string line = LineAfter(ValuesOf(ReadAs(sent, GetParam().sentAs, kPort)));
  EXPECT_TRUE(line.starts_with(GetParam().says)) << testing::PrintToString(line);
  EXPECT_NE(line.find(u"请关闭端口"), std::u16string::npos) << testing::PrintToString(line);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, StatusTextWhenSettingsDiffer,
    testing::Values(SentRow{"At4800", {4800, 8, Parity::None}, u"⚠ 全站仪似乎以 4800 波特发送，本机端口设为 19200 波特：请关闭端口，把波特率改为 4800"},
                    SentRow{"At9600", {9600, 8, Parity::None}, u"⚠ 全站仪似乎以 9600 波特发送，本机端口设为 19200 波特"},
                    SentRow{"At38400", {38400, 8, Parity::None}, u"⚠ 全站仪似乎以 38400 波特发送，本机端口设为 19200 波特"},
                    SentRow{"SevenBitsEven", {19200, 7, Parity::Even}, u"⚠ 全站仪似乎以 7 数据位、检校位 偶检验 发送"}),
    testing_support::RowName());

TEST(StatusTextWhenSettingsAgree, CleanDataWithNamesNeverWarns) {
  const std::string sent = SurveyWriter(7).Download(SurveyKind::Hln, 40);
  EXPECT_EQ(LineAfter(sent).find(u"⚠"), std::u16string::npos);
}

}  // namespace
}  // namespace kestrion

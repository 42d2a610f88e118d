// The station sending as an instrument set to other line settings: its option, and the whole path on a
// pseudo-terminal, from the station's garbled bytes to the report that names the instrument's rate.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Send.h"
#include "StationOptions.h"
#include "common/StationHarness.h"
#include "common/TestNames.h"
#include "download/Reception.h"
#include "transfer/SurveyText.h"
#include "transfer/TransferReport.h"

namespace kestrion::testing_support {
namespace {

constexpr milliseconds kExchangeWait{20000};
const std::string kCpt = KESTRION_EXAMPLES "/sample.CPT";

struct AsIfCase {
  const char* name;
  const char* value;
  std::optional<LineSettings> sentAs;  // nullopt: refused
};

class AsIfOption : public testing::TestWithParam<AsIfCase> {};

TEST_P(AsIfOption, TakesBaudDataParityAndStopBits) {
  const std::vector<std::string_view> args = {"send", "--marker", "&", "--as-if", GetParam().value, "f.txt"};
  const station::ParsedCommandLine parsed = station::ParseCommandLine(args);
  if (!GetParam().sentAs) {
    EXPECT_EQ(parsed.kind, station::ParsedCommandLine::Kind::Error);
    EXPECT_NE(parsed.error.find("--as-if"), std::string::npos) << parsed.error;
    return;
  }
  ASSERT_EQ(parsed.kind, station::ParsedCommandLine::Kind::Run) << parsed.error;
  EXPECT_EQ(parsed.options.send.sentAs, GetParam().sentAs);
}

INSTANTIATE_TEST_SUITE_P(Rows, AsIfOption,
                         testing::Values(AsIfCase{"TwoStopBitsByDefault", "4800,7,even",
                                                  LineSettings{4800, 7, Parity::Even, true, 2}},
                                         AsIfCase{"ARateTheListsLackWithOneStopBit", "1200,8,odd,1",
                                                  LineSettings{1200, 8, Parity::Odd, true, 1}},
                                         AsIfCase{"ParityByLetter", "9600,8,N", std::nullopt}),
                         RowName());

TEST(StationSendAsIf, TheReportNamesTheRateTheStationSendsAt) {
  ScopedRuntimeDir runtime;
  const LineSettings instrument{9600, 8, Parity::None, true, 2};
  std::string file;
  for (int i = 0; i < 8; ++i) file += ReadFileBytes(kCpt);
  TempFolder folder;
  const std::filesystem::path records = folder.Path() / "records.txt";
  WriteFileBytes(records, file);
  const std::vector<std::string_view> sendArgs = {"send", "--marker", "&", records.c_str()};
  const station::ParsedCommandLine parsed = station::ParseCommandLine(sendArgs);
  const auto built = station::BuildSendStream(file, parsed.options.send);
  ASSERT_TRUE(built.stream) << built.error;
  // Kestrion's default settings on its side of the line.
  const LineSettings port;
  const std::string expected = station::SendAsIf(built.stream->bytes, instrument, port).bytes;

  RunningStation station = StartStation(TestPortName(), {"--wait-open", "--settle", "50", "send", "--marker",
                                                         "&", "--as-if", "9600,8,none", records.string()});
  ClientPort client;
  ASSERT_TRUE(client.Open(station.link, port));
  ASSERT_TRUE(client.ReadAtLeast(expected.size(), kExchangeWait)) << station.process->Stderr();
  EXPECT_EQ(client.Received(), expected);
  client.Close();
  EXPECT_EQ(station.process->WaitForExit(kExchangeWait), 0) << station.process->Stderr();

  TransferReport report;
  report.ConnectionOpened(port);
  Reception reception;
  CString data;
  CString marker;
  for (const ChunkRead& read : ChunkReads(client.Received())) {
    report.ReadArrived(read, reception.Step(data, marker, read.chunk), {});
  }
  ASSERT_TRUE(report.Warning());
  EXPECT_EQ(report.Warning()->suggestion.baudRate, 9600);
}

}  // namespace
}  // namespace kestrion::testing_support

// The station as the instrument of a download: what goes over the line, and how fast.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Send.h"
#include "common/StationHarness.h"
#include "StationOptions.h"
#include "common/TestNames.h"

namespace kestrion::testing_support {
namespace {

constexpr milliseconds kExchangeWait{10000};

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// The bytes the station must send for these send arguments: the stream the library builds for them.
std::string ExpectedStream(const std::vector<std::string>& sendArgs) {
  std::vector<std::string_view> args = {"send"};
  args.insert(args.end(), sendArgs.begin(), sendArgs.end());
  const station::ParsedCommandLine parsed = station::ParseCommandLine(args);
  EXPECT_EQ(parsed.kind, station::ParsedCommandLine::Kind::Run) << parsed.error;
  const auto built =
      station::BuildSendStream(ReadFileBytes(parsed.options.send.filePath), parsed.options.send);
  EXPECT_TRUE(built.stream) << built.error;
  return built.stream ? built.stream->bytes : std::string();
}

struct DownloadCase {
  const char* name;
  std::vector<std::string> sendArgs;  // after "send"
  const char* says;                   // part of the station's summary
};

class Download : public testing::TestWithParam<DownloadCase> {};

TEST_P(Download, LineCarriesExactlyTheStream) {
  ScopedRuntimeDir runtime;
  const std::string expected = ExpectedStream(GetParam().sendArgs);
  std::vector<std::string> args = {"--baud", "38400", "--wait-open", "--settle", "20", "send"};
  args.insert(args.end(), GetParam().sendArgs.begin(), GetParam().sendArgs.end());
  RunningStation station = StartStation(TestPortName(), args);
  ClientPort port;
  ASSERT_TRUE(port.Open(station.link));
  ASSERT_TRUE(port.ReadAtLeast(expected.size(), kExchangeWait)) << station.process->Stderr();
  EXPECT_EQ(port.Received(), expected);
  port.Close();  // ends the station's linger
  EXPECT_EQ(station.process->WaitForExit(kExchangeWait), 0) << station.process->Stderr();
  EXPECT_TRUE(Contains(station.process->Stderr(), GetParam().says)) << station.process->Stderr();
}

const std::string kObs = KESTRION_EXAMPLES "/obs-download.txt";
const std::string kCpt = KESTRION_EXAMPLES "/sample.CPT";

INSTANTIATE_TEST_SUITE_P(
    Rows, Download,
    testing::Values(
        DownloadCase{"ObsRecordsFramedWithHash", {"--marker", "#", kObs}, "sent 6 records"},
        DownloadCase{"CaretRecordsAsTheyStand", {"--marker", "^", kObs}, "sent 6 records"},
        DownloadCase{"RawFileAsItStands", {"--raw", kCpt}, "sent the file as it stands"},
        DownloadCase{"NoFinishWord", {"--marker", "&", "--no-finish", kCpt}, "no end word"},
        DownloadCase{
            "ZeroBytesSpread", {"--marker", "#", "--zero-bytes", "9", "--seed", "3", kObs}, "9 zero bytes"},
        DownloadCase{"OneRecordMixedMarker", {"--marker", "$", "--mixed-marker", kObs}, "framed with @"},
        DownloadCase{"RecordHoldingFinish", {"--marker", "#", "--finish-record", kObs}, "holds Finish"}),
    testing_support::RowName());

TEST(StationSend, ObsDownloadFramedRecordByRecord) {
  // Independent of the library's framing: what the instrument sends for the sample OBS download.
  std::string expected;
  for (const std::string& record : station::SplitRecords(ReadFileBytes(kObs)))
    expected += "#" + record + "#\r\n";
  expected += "Download Finish\r\n";
  EXPECT_EQ(ExpectedStream({"--marker", "#", kObs}), expected);
  EXPECT_EQ(expected.substr(0, 4), "#1,\xF0");  // the station name's GBK bytes, untouched
}

struct PacingCase {
  const char* name;
  int baud;
  std::size_t bytes;
};

class Pacing : public testing::TestWithParam<PacingCase> {};

TEST_P(Pacing, WithinTenPercentOfTheLineRate) {
  ScopedRuntimeDir runtime;
  const std::string file = (runtime.Path() / "records.txt").string();
  const std::string endWord = "Download Finish\r\n";
  std::string body;
  while (body.size() + endWord.size() < GetParam().bytes) body += "P0001,3051234.500,502345.800,12.345\r\n";
  body.resize(GetParam().bytes - endWord.size());
  WriteFileBytes(file, body);

  RunningStation station = StartStation(
      TestPortName(),
      {"--baud", std::to_string(GetParam().baud), "--wait-open", "--settle", "20", "send", "--raw", file});
  ClientPort port;
  ASSERT_TRUE(port.Open(station.link, LineSettings{GetParam().baud, 8, Parity::None, true, 2}));
  ASSERT_TRUE(port.ReadAtLeast(GetParam().bytes, kExchangeWait));
  port.Close();
  EXPECT_EQ(station.process->WaitForExit(kExchangeWait), 0) << station.process->Stderr();
  EXPECT_EQ(port.Received(), body + endWord);

  // From the first arrival on, the rest of the bytes took their time on the line: 11 bits each at 8N2.
  const auto& arrivals = port.Arrivals();
  ASSERT_GT(arrivals.size(), 10u);  // paced in pieces, not in one lump
  const double perByte = 11.0 / GetParam().baud;
  const double expected = static_cast<double>(GetParam().bytes - arrivals.front().bytes.size()) * perByte;
  const double measured = std::chrono::duration<double>(arrivals.back().at - arrivals.front().at).count();
  EXPECT_NEAR(measured, expected, expected * 0.10);
}

INSTANTIATE_TEST_SUITE_P(Rows, Pacing,
                         testing::Values(PacingCase{"FourKilobytesAt38400", 38400, 4096},
                                         PacingCase{"OneAndAHalfKilobytesAt9600", 9600, 1536}),
                         testing_support::RowName());

TEST(StationSend, WaitOpenHoldsTheBytesUntilThePortIsOpen) {
  ScopedRuntimeDir runtime;
  RunningStation station = StartStation(
      TestPortName(), {"--baud", "38400", "--wait-open", "--settle", "20", "send", "--raw", kCpt});
  // Without the wait the whole file would be gone in a tenth of this.
  EXPECT_FALSE(station.process->WaitForExit(milliseconds(500)));
  EXPECT_FALSE(Contains(station.process->Stderr(), "sent"));
  ClientPort port;
  ASSERT_TRUE(port.Open(station.link));
  const std::string expected = ExpectedStream({"--raw", kCpt});
  ASSERT_TRUE(port.ReadAtLeast(expected.size(), kExchangeWait));
  EXPECT_EQ(port.Received(), expected);
  port.Close();
  EXPECT_EQ(station.process->WaitForExit(kExchangeWait), 0) << station.process->Stderr();
}

TEST(StationSend, WaitEnterStartsOnANewline) {
  ScopedRuntimeDir runtime;
  RunningStation station = StartStation(
      TestPortName(), {"--wait-open", "--settle", "20", "--wait-enter", "send", "--marker", "&", kCpt}, true);
  ClientPort port;
  ASSERT_TRUE(port.Open(station.link));
  ASSERT_TRUE(WaitUntil([&] { return Contains(station.process->Stderr(), "press Enter"); }, kExchangeWait));
  EXPECT_FALSE(port.ReadAtLeast(1, milliseconds(300)));
  station.process->WriteStdin("\n");
  const std::string expected = ExpectedStream({"--marker", "&", kCpt});
  ASSERT_TRUE(port.ReadAtLeast(expected.size(), kExchangeWait));
  EXPECT_EQ(port.Received(), expected);
  port.Close();
  EXPECT_EQ(station.process->WaitForExit(kExchangeWait), 0) << station.process->Stderr();
}

TEST(StationSend, NobodyOpeningThePortIsNoSuccess) {
  // Without --wait-open the bytes wait in the pseudo-terminal; if nobody comes for them they are lost, and
  // the station says so instead of reporting them sent.
  ScopedRuntimeDir runtime;
  RunningStation station =
      StartStation(TestPortName(), {"--baud", "38400", "send", "--raw", kCpt, "--linger", "200"});
  EXPECT_EQ(station.process->WaitForExit(kExchangeWait), 1);
  EXPECT_TRUE(Contains(station.process->Stderr(), "nobody opened the port")) << station.process->Stderr();
}

}  // namespace
}  // namespace kestrion::testing_support

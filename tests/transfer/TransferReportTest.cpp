// What the report makes of a download read by read, of the upload worker's progress, and of an output: the
// figures the status line shows, counted as the reads come rather than from the whole text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/TestNames.h"
#include "download/Reception.h"
#include "text/Cp936Check.h"
#include "transfer/LineModel.h"
#include "transfer/TransferReport.h"

namespace kestrion {
namespace {

using namespace std::chrono_literals;

struct ReadRow {
  std::string bytes;  // as the port gave them, zero bytes included
  LineErrorCounts errors;
};

// One read as ReadChunk makes it: zero bytes dropped and counted.
ChunkRead ChunkOf(const std::string& bytes) {
  ChunkRead chunk{true, CString(), 0};
  for (const char ch : bytes) {
    if (ch == '\0') {
      ++chunk.zeroBytes;
    } else {
      chunk.chunk += ch;
    }
  }
  return chunk;
}

// Feeds the reads through reception and the report, as the download poll does.
TransferReport Feed(const std::vector<ReadRow>& reads, const LineSettings& settings = {}) {
  TransferReport report;
  report.ConnectionOpened(settings);
  Reception reception;
  CString data;
  CString lastMarker;
  for (const ReadRow& read : reads) {
    const ChunkRead chunk = ChunkOf(read.bytes);
    const ReceptionStep step = reception.Step(data, lastMarker, chunk.chunk);
    report.ReadArrived(chunk, step, read.errors);
  }
  return report;
}

LineErrorCounts Framing(std::uint64_t n) {
  LineErrorCounts errors;
  errors.framing = n;
  return errors;
}

struct DownloadCase {
  const char* name;
  std::vector<ReadRow> reads;
  std::uint64_t bytes;
  std::uint64_t records;
  std::uint64_t invalid;
  bool finished;
  LineVerdict verdict;
};

class DownloadReport : public testing::TestWithParam<DownloadCase> {};

TEST_P(DownloadReport, CountsWhatTheReadsBrought) {
  const DownloadCase& c = GetParam();
  const TransferReport report = Feed(c.reads);
  const DownloadFigures& d = report.Download();
  EXPECT_EQ(d.bytes, c.bytes);
  EXPECT_EQ(d.records, c.records);
  EXPECT_EQ(d.invalidBytes, c.invalid);
  EXPECT_EQ(d.finished, c.finished);
  EXPECT_EQ(report.Health(c.reads.back().errors).verdict, c.verdict);
  EXPECT_EQ(report.HasUnsavedDownload(), c.bytes > 0);
}

// What a line at the wrong baud rate brings: high bytes that mostly make no character, and zero bytes.
const std::string kNoise = std::string("\xFF\xF8\x80\xFE\x00\xE0", 6);

std::string Times(const std::string& piece, int n) {
  std::string text;
  for (int i = 0; i < n; ++i) text += piece;
  return text;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DownloadReport,
    testing::Values(
        DownloadCase{
            "RecordsCutAnywhere",
            {{"$A1,2$\r\n$B", {}}, {"3,4$\r", {}}, {"\n$C\xB5\xC0$\r\n", {}}, {"Download Finish\r\n", {}}},
            40,
            3,
            0,
            true,
            LineVerdict::Fine},
        DownloadCase{"PlainTextWithoutMarkers",
                     {{Times("P1,100.0,200.0\r\n", 4), {}}},
                     64,
                     0,
                     0,
                     false,
                     LineVerdict::Fine},
        DownloadCase{"NoiseFromAWrongBaudRate",
                     {{Times(kNoise, 4), {}}, {Times(kNoise, 2), {}}},
                     36,
                     0,
                     17,
                     false,
                     LineVerdict::Noise},
        DownloadCase{"TooFewBytesToJudge", {{Times(kNoise, 2), {}}}, 12, 0, 5, false, LineVerdict::Fine},
        DownloadCase{"LineErrorsAtARate",
                     {{Times("abcdefgh", 3), {}}, {Times("abcdefgh", 2), Framing(3)}},
                     40,
                     0,
                     0,
                     false,
                     LineVerdict::ErrorsGrowing},
        DownloadCase{"OneLineErrorIsNoRate",
                     {{"$A1,2$\r\n", {}}, {Times("$B3,4$\r\n", 4), Framing(1)}},
                     40,
                     5,
                     0,
                     false,
                     LineVerdict::Fine},
        DownloadCase{"MarkersDoNotHideNoise",
                     {{"$" + Times(kNoise, 6) + "$", {}}},
                     38,
                     1,
                     18,
                     false,
                     LineVerdict::Noise}),
    testing_support::RowName());

TEST(DownloadReport, ANewDownloadStartsAfterTheEndOfTheLast) {
  TransferReport report = Feed({{"$A$\r\nDownload Finish\r\n", {}}});
  ASSERT_TRUE(report.Download().finished);
  Reception reception;
  CString data;
  CString marker;
  const ChunkRead next{true, CString("@B@"), 1};
  report.ReadArrived(next, reception.Step(data, marker, next.chunk), {});
  EXPECT_EQ(report.Download().bytes, 4u);
  EXPECT_EQ(report.Download().records, 1u);
  EXPECT_FALSE(report.Download().finished);
  EXPECT_EQ(report.Download().lastMarker->marker, '@');
  EXPECT_EQ(report.Health({}).zeroBytes, 1u) << "the line's counts go on for the connection";
}

TEST(UnsavedDownload, SetByAReadClearedByOutputAndByReplacingTheText) {
  TransferReport report = Feed({{"$A$", {}}});
  EXPECT_TRUE(report.HasUnsavedDownload());
  WriteResult failed;
  failed.kind = WriteResult::WriteFailed;
  report.OutputWritten(failed);
  EXPECT_TRUE(report.HasUnsavedDownload()) << "a failed output saved nothing";
  report.OutputWritten(WriteResult{});
  EXPECT_FALSE(report.HasUnsavedDownload());

  report = Feed({{"$A$", {}}});
  report.DataReplaced();
  EXPECT_FALSE(report.HasUnsavedDownload());
  report.ReadArrived(ChunkRead{true, CString(), 3}, ReceptionStep{}, {});
  EXPECT_FALSE(report.HasUnsavedDownload()) << "zero bytes alone bring nothing into the text";
}

// A read of `bytes` as the download poll makes it, through `reception`.
void Arrive(TransferReport& report, Reception& reception, CString& data, const std::string& bytes,
            const LineErrorCounts& errors = {}) {
  CString marker;
  const ChunkRead read = ChunkOf(bytes);
  report.ReadArrived(read, reception.Step(data, marker, read.chunk), errors);
}

TEST(LineWarning, CountsErrorsFromTheLastPollBeforeTheDownload) {
  TransferReport report;
  report.ConnectionOpened({});
  report.LinePolled(Framing(2));
  report.LinePolled(Framing(6));  // the instrument switched on while the line was idle
  Reception reception;
  CString data;
  Arrive(report, reception, data, Times("$P1,2.5$\r\n", 10), Framing(6));
  EXPECT_FALSE(report.Warning());
  Arrive(report, reception, data, Times("$P1,2.5$\r\n", 10), Framing(9));
  ASSERT_TRUE(report.Warning());
  EXPECT_EQ(report.Warning()->verdict, LineVerdict::ErrorsGrowing);
  EXPECT_EQ(report.Warning()->errors.damaged, 3u);
  EXPECT_EQ(report.Warning()->bytes, 200u);
}

TEST(LineWarning, StaysAfterClosePortUntilOpenClearBrowseOrOutput) {
  const LineSettings settings{4800, 7, Parity::Even, true, 2};
  const auto noisy = [&settings] {
    TransferReport report;
    report.ConnectionOpened(settings);
    Reception reception;
    CString data;
    Arrive(report, reception, data, Times(kNoise, 10));
    return report;
  };
  TransferReport report = noisy();
  ASSERT_TRUE(report.Warning());
  EXPECT_EQ(report.Warning()->settings, settings) << "the settings the bytes were read at";
  EXPECT_EQ(report.Health({}).verdict, LineVerdict::Noise);
  report.ConnectionClosed();
  EXPECT_TRUE(report.Warning()) << "the operator is changing the lists now";
  report.ConnectionOpened(settings);
  EXPECT_FALSE(report.Warning());

  report = noisy();
  report.DataReplaced();  // Clear data, Browse
  EXPECT_FALSE(report.Warning());

  report = noisy();
  report.OutputWritten(WriteResult{});
  EXPECT_FALSE(report.Warning()) << "the output's confirmation shows";
  EXPECT_EQ(report.Latest(), TransferReport::Activity::Output);
}

// The start word as the port reads it when the instrument sends it at `sentAs`, zero bytes dropped as the
// upload worker drops them.
std::string StartSentAt(const LineSettings& sentAs, const LineSettings& port = {}) {
  std::string read = ValuesOf(ReadAs(kWordStart, sentAs, port));
  std::erase(read, '\0');
  return read;
}

TEST(LineWarning, WhatTheInstrumentSendsDuringAnUploadIsJudged) {
  TransferReport report;
  report.ConnectionOpened({});
  report.UploadStarted();
  std::string status = StartSentAt({9600, 8, Parity::None, true, 2});
  report.UploadStatusSeen(status.substr(0, 2), {});
  EXPECT_FALSE(report.Warning()) << "too few bytes";
  report.UploadStatusSeen(status, {});
  ASSERT_TRUE(report.Warning());
  EXPECT_TRUE(report.Warning()->duringUpload);
  EXPECT_EQ(report.Warning()->suggestion.baudRate, 9600);

  // At the port's own rate the 7-bit hint says it.
  report.UploadStarted();
  EXPECT_FALSE(report.Warning());
  report.UploadStatusSeen(StartSentAt({19200, 7, Parity::Even, true, 2}), {});
  ASSERT_TRUE(report.Warning());
  EXPECT_EQ(report.Warning()->verdict, LineVerdict::SevenBitEven);
  EXPECT_EQ(report.Warning()->suggestion.kind, SettingsSuggestion::Kind::None);

  // A start word that decodes, even over two reads, says that the settings work.
  report.UploadStarted();
  status = StartSentAt({4800, 8, Parity::None, true, 2}) + "Sta";
  report.UploadStatusSeen(status, {});
  ASSERT_TRUE(report.Warning());
  report.UploadStatusSeen(status + "rt", {});
  EXPECT_FALSE(report.Warning());
}

TEST(LineHealth, HasSomethingToTellOnceACountIsNotZero) {
  TransferReport report = Feed({{"$A1,2$\r\n", {}}});
  EXPECT_FALSE(report.Health({}).AnythingToTell()) << "a clean line shows only the transfer";
  LineErrorCounts overrun;
  overrun.overruns = 1;
  EXPECT_TRUE(report.Health(overrun).AnythingToTell());
  report = Feed({{std::string("$A1\0,2$\r\n", 9), {}}});
  EXPECT_TRUE(report.Health({}).AnythingToTell());
  EXPECT_FALSE(report.Warning()) << "one zero byte is no noise";
}

TEST(UploadFigures, PaceAndRemainingTimeFromTheRequests) {
  const ReportClock::time_point t0{};
  UploadProgress p;
  p.state = UploadProgress::State::Running;
  p.lineCount = 10;
  UploadFigures f = FiguresOf(p, t0 + 5s);
  EXPECT_EQ(f.waitingFor, 1);
  EXPECT_EQ(f.elapsed, 0ms);
  EXPECT_FALSE(f.remaining);

  p.firstRequest = t0;
  p.lastRequest = t0 + 8s;
  p.linesSent = 5;  // five requests two seconds apart
  f = FiguresOf(p, t0 + 9s);
  EXPECT_EQ(f.waitingFor, 6);
  EXPECT_EQ(f.elapsed, 9s);
  ASSERT_TRUE(f.remaining);
  EXPECT_EQ(*f.remaining, 11s)
      << "six more requests (five lines and the closing line), one second of them gone";

  p.linesSent = 10;
  EXPECT_EQ(FiguresOf(p, t0 + 20s).waitingFor, 10) << "the last line, while the closing request is awaited";
  p.state = UploadProgress::State::Finished;
  p.ended = t0 + 20s;
  f = FiguresOf(p, t0 + 100s);
  EXPECT_EQ(f.elapsed, 20s) << "an ended upload keeps its time";
  EXPECT_FALSE(f.remaining);
}

struct Cp936Case {
  const char* name;
  std::vector<std::string> reads;
  std::uint64_t invalid;
};

class Cp936Bytes : public testing::TestWithParam<Cp936Case> {};

TEST_P(Cp936Bytes, AreCountedWhenTheyMakeNoCharacter) {
  Cp936Check check;
  for (const std::string& read : GetParam().reads) check.Scan(read);
  EXPECT_EQ(check.InvalidBytes(), GetParam().invalid);
}

INSTANTIATE_TEST_SUITE_P(Rows, Cp936Bytes,
                         testing::Values(Cp936Case{"AsciiAndPairs", {"A1,\xB5\xC0\x81\x40\x80"}, 0},
                                         Cp936Case{"PairCutOverTwoReads", {"x\xB5", "\xC0y"}, 0},
                                         Cp936Case{"FF",
                                                   {"\xFF"
                                                    "a\xFF"},
                                                   2},
                                         Cp936Case{"LeadWithoutTrail",
                                                   {"\xB5"
                                                    "1\xB5\x7F"},
                                                   2},
                                         Cp936Case{"LeadBeforeLead", {"\xB5\xB5\xC0"}, 0}),
                         testing_support::RowName());

}  // namespace
}  // namespace kestrion

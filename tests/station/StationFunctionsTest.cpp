// The station's pure parts: its command line, the request forms, the stream it sends and its pacing numbers.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <string>
#include <vector>

#include "Receive.h"
#include "Send.h"
#include "StationOptions.h"
#include "common/TestNames.h"
#include "serial/Framing.h"

namespace kestrion::station {
namespace {

using testing_support::RowName;

ParsedCommandLine Parse(std::vector<std::string_view> args) {
  return ParseCommandLine(args);
}

// ---- command line

TEST(StationCommandLine, DefaultsAreKestrionsLineSettings) {
  const ParsedCommandLine parsed = Parse({"receive"});
  ASSERT_EQ(parsed.kind, ParsedCommandLine::Kind::Run) << parsed.error;
  const StationOptions& o = parsed.options;
  EXPECT_EQ(o.command, Command::Receive);
  EXPECT_EQ(o.name, "station");
  EXPECT_TRUE(o.portPath.empty());
  EXPECT_EQ(o.settings, (LineSettings{19200, 8, Parity::None, true, 2}));
  EXPECT_FALSE(o.receive.timeout.has_value());
}

TEST(StationCommandLine, EveryOptionReachesItsField) {
  const ParsedCommandLine receive = Parse({"--name",
                                           "s1",
                                           "--baud=9600",
                                           "--data-bits",
                                           "7",
                                           "--parity",
                                           "even",
                                           "receive",
                                           "--out",
                                           "o.txt",
                                           "--delay",
                                           "5",
                                           "--split-start",
                                           "--split-pause",
                                           "7",
                                           "--double-start",
                                           "--noise-around",
                                           "--stall-after",
                                           "2",
                                           "--stall-wait",
                                           "9",
                                           "--timeout",
                                           "11",
                                           "--verbose"});
  ASSERT_EQ(receive.kind, ParsedCommandLine::Kind::Run) << receive.error;
  const StationOptions& r = receive.options;
  EXPECT_EQ(r.name, "s1");
  EXPECT_EQ(r.settings, (LineSettings{9600, 7, Parity::Even, true, 2}));
  EXPECT_EQ(r.receive.outPath, "o.txt");
  EXPECT_EQ(r.receive.delay, Milliseconds(5));
  EXPECT_TRUE(r.receive.splitStart && r.receive.doubleStart && r.receive.noiseAround && r.verbose);
  EXPECT_EQ(r.receive.splitPause, Milliseconds(7));
  EXPECT_EQ(r.receive.stallAfter, 2);
  EXPECT_EQ(r.receive.stallWait, Milliseconds(9));
  EXPECT_EQ(r.receive.timeout, Milliseconds(11));

  const ParsedCommandLine send = Parse({"--port", "/dev/ttyUSB0", "--parity", "odd", "send", "--marker", "^",
                                        "f.txt", "--seed", "42", "--zero-bytes", "3", "--mixed-marker",
                                        "--finish-record", "--no-finish", "--linger", "0", "--wait-enter"});
  ASSERT_EQ(send.kind, ParsedCommandLine::Kind::Run) << send.error;
  const StationOptions& s = send.options;
  EXPECT_EQ(s.command, Command::Send);
  EXPECT_EQ(s.portPath, "/dev/ttyUSB0");
  EXPECT_EQ(s.settings.parity, Parity::Odd);
  EXPECT_EQ(s.send.marker, '^');
  EXPECT_EQ(s.send.filePath, "f.txt");
  EXPECT_EQ(s.send.seed, 42u);
  EXPECT_EQ(s.send.zeroBytes, 3);
  EXPECT_TRUE(s.send.mixedMarker && s.send.finishRecord && s.send.noFinish && s.waitEnter);
  EXPECT_EQ(s.send.linger, Milliseconds(0));
}

TEST(StationCommandLine, HelpWinsOverEverythingElse) {
  EXPECT_EQ(Parse({"--bogus", "--help"}).kind, ParsedCommandLine::Kind::Help);
  EXPECT_EQ(Parse({"-h"}).kind, ParsedCommandLine::Kind::Help);
  const std::string usage = UsageText();
  EXPECT_EQ(usage.find('{'), std::string::npos) << "a word left unfilled";
  for (const char* option :
       {"--port",         "--name",        "--baud",       "--data-bits",    "--parity",
        "receive",        "--out",         "--delay",      "--split-start",  "--double-start",
        "--noise-around", "--stall-after", "--timeout",    "send",           "--marker",
        "--raw",          "--seed",        "--zero-bytes", "--mixed-marker", "--finish-record",
        "--no-finish",    "--wait-open"}) {
    EXPECT_NE(usage.find(option), std::string::npos) << option;
  }
}

struct BadLineCase {
  const char* name;
  std::vector<std::string_view> args;
  const char* says;  // part of the one-line message
};

class BadCommandLine : public testing::TestWithParam<BadLineCase> {};

TEST_P(BadCommandLine, RefusedWithAReason) {
  const ParsedCommandLine parsed = Parse(GetParam().args);
  EXPECT_EQ(parsed.kind, ParsedCommandLine::Kind::Error);
  EXPECT_NE(parsed.error.find(GetParam().says), std::string::npos) << parsed.error;
  EXPECT_EQ(parsed.error.find('\n'), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, BadCommandLine,
    testing::Values(
        BadLineCase{"NoCommand", {}, "no command"},
        BadLineCase{"UnknownCommand", {"fetch"}, "unknown command 'fetch'"},
        BadLineCase{"UnknownOption", {"receive", "--fast"}, "unknown option '--fast'"},
        BadLineCase{"MissingValue", {"receive", "--timeout"}, "--timeout needs a value"},
        BadLineCase{"BaudNotANumber", {"--baud", "fast", "receive"}, "--baud: 'fast'"},
        BadLineCase{"BaudUnsupported", {"--baud", "12345", "receive"}, "not a supported baud rate"},
        BadLineCase{"SixDataBits", {"--data-bits", "6", "receive"}, "not 7 or 8"},
        BadLineCase{"ParityMark", {"--parity", "mark", "receive"}, "not none, odd or even"},
        BadLineCase{"NameWithSlash", {"--name", "../x", "receive"}, "not a port name"},
        BadLineCase{"HiddenName", {"--name", ".x", "receive"}, "not a port name"},
        BadLineCase{"PortAndName", {"--port", "/dev/x", "--name", "y", "receive"}, "exclude"},
        BadLineCase{"WaitOpenOnAPort", {"--port", "/dev/x", "--wait-open", "receive"}, "--wait-enter"},
        BadLineCase{"NegativeDelay", {"receive", "--delay", "-5"}, "milliseconds"},
        BadLineCase{"DelayWithUnit", {"receive", "--delay", "5ms"}, "milliseconds"},
        BadLineCase{"ZeroTimeout", {"receive", "--timeout", "0"}, "no time"},
        BadLineCase{"ReceiveOptionOnSend", {"send", "--raw", "f", "--delay", "5"}, "option of 'receive'"},
        BadLineCase{"SendOptionBeforeCommand", {"--raw", "send", "f"}, "option of 'send'"},
        BadLineCase{"FlagWithValue", {"receive", "--split-start=yes"}, "takes no value"},
        BadLineCase{"SendWithoutFile", {"send", "--marker", "#"}, "needs the FILE"},
        BadLineCase{"TwoFiles", {"send", "--raw", "a", "b"}, "unexpected argument 'b'"},
        BadLineCase{"NoMarkerNorRaw", {"send", "f"}, "--marker M"},
        BadLineCase{"MarkerNotInTable", {"send", "--marker", "%", "f"}, "not a record marker"},
        BadLineCase{"TwoCharMarker", {"send", "--marker", "##", "f"}, "not a record marker"},
        BadLineCase{"MarkerAndRaw", {"send", "--marker", "#", "--raw", "f"}, "exclude"},
        BadLineCase{"MixedMarkerRaw", {"send", "--raw", "--mixed-marker", "f"}, "framed records"},
        BadLineCase{"ReceiveWithFile", {"receive", "f"}, "unexpected argument 'f'"}),
    RowName());

// ---- requests of the receiving instrument

struct RequestCase {
  const char* name;
  ReceiveOptions options;
  std::vector<std::string> writes;
};

ReceiveOptions With(bool split, bool twice, bool noise) {
  ReceiveOptions options;
  options.splitStart = split;
  options.doubleStart = twice;
  options.noiseAround = noise;
  return options;
}

class RequestForms : public testing::TestWithParam<RequestCase> {};

TEST_P(RequestForms, WritesOfOneRequest) {
  EXPECT_EQ(RequestWrites(GetParam().options), GetParam().writes);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, RequestForms,
    testing::Values(RequestCase{"Plain", With(false, false, false), {"Start"}},
                    RequestCase{"Split", With(true, false, false), {"Sta", "rt"}},
                    RequestCase{"Double", With(false, true, false), {"StartStart"}},
                    RequestCase{"Noise", With(false, false, true), {"OK Start\r\n"}},
                    RequestCase{"SplitNoise", With(true, false, true), {"OK Sta", "rt\r\n"}},
                    RequestCase{"SplitDouble", With(true, true, false), {"Sta", "rtStart"}}),
    RowName());

TEST(ClosingLine, RecognisedWhateverItsLineEnd) {
  EXPECT_TRUE(IsClosingLine("Upload Finish\r\r\n"));
  EXPECT_TRUE(IsClosingLine("Upload Finish\r\n"));
  EXPECT_FALSE(IsClosingLine("&Upload Finish&\r\n"));
  EXPECT_FALSE(IsClosingLine("Upload Finished\r\n"));
}

// ---- the stream of the sending instrument

struct RecordsCase {
  const char* name;
  std::string file;
  std::vector<std::string> records;
};

class RecordLines : public testing::TestWithParam<RecordsCase> {};

TEST_P(RecordLines, OneRecordPerLine) {
  EXPECT_EQ(SplitRecords(GetParam().file), GetParam().records);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, RecordLines,
    testing::Values(RecordsCase{"CrLf", "a,1\r\nb,2\r\n", {"a,1", "b,2"}},
                    RecordsCase{"LfOnly", "a,1\nb,2\n", {"a,1", "b,2"}},
                    RecordsCase{"LastLineWithoutEnd", "a,1\r\nb,2", {"a,1", "b,2"}},
                    RecordsCase{"BlankLineIsAnEmptyRecord", "a\r\n\r\nb\r\n", {"a", "", "b"}},
                    RecordsCase{"CrCrLf", "a\r\r\n", {"a"}}, RecordsCase{"EmptyFile", "", {}},
                    RecordsCase{"LoneCrStaysInside", "a\rb\r\n", {"a\rb"}},
                    RecordsCase{"GbkBytesUntouched", "\xB9\x5E,1\r\n", {"\xB9\x5E,1"}}),
    RowName());

SendOptions Framed(char marker) {
  SendOptions options;
  options.marker = marker;
  return options;
}

std::string Without(std::string bytes, char c) {
  bytes.erase(std::remove(bytes.begin(), bytes.end(), c), bytes.end());
  return bytes;
}

TEST(SendStreamForms, FramedRecordsThenTheEndWord) {
  const std::string file = "1,S1,1.5\r\n\xD1\x40,S2,1.6\n";
  const StreamBuild obs = BuildSendStream(file, Framed('#'));
  ASSERT_TRUE(obs.stream) << obs.error;
  EXPECT_EQ(obs.stream->bytes, "#1,S1,1.5#\r\n#\xD1\x40,S2,1.6#\r\nDownload Finish\r\n");
  EXPECT_EQ(obs.stream->records, 2);
  // A TLN record goes out as the line stands: its name is already in the record.
  EXPECT_EQ(BuildSendStream("R1,A,1\r\n", Framed('^')).stream->bytes, "^R1,A,1^\r\nDownload Finish\r\n");

  SendOptions raw;
  raw.raw = true;
  EXPECT_EQ(BuildSendStream("anything\r\n&x&", raw).stream->bytes, "anything\r\n&x&Download Finish\r\n");
  raw.noFinish = true;
  EXPECT_EQ(BuildSendStream("as is", raw).stream->bytes, "as is");
  EXPECT_EQ(BuildSendStream("", Framed('&')).stream->bytes, "Download Finish\r\n");
}

TEST(SendStreamForms, RecordWithZeroByteRefusedNotCut) {
  const StreamBuild built = BuildSendStream(std::string("a\r\nb\0c\r\n", 8), Framed('&'));
  EXPECT_FALSE(built.stream);
  EXPECT_NE(built.error.find("record 2"), std::string::npos) << built.error;
  SendOptions raw;
  raw.raw = true;
  EXPECT_EQ(BuildSendStream(std::string("b\0c", 3), raw).stream->bytes.substr(0, 3), std::string("b\0c", 3));
}

const std::string kTenRecords = "r0\r\nr1\r\nr2\r\nr3\r\nr4\r\nr5\r\nr6\r\nr7\r\nr8\r\nr9\r\n";

TEST(SendStreamNoise, ZeroBytesAreExtraBytesAndSeeded) {
  SendOptions options = Framed('#');
  const std::string clean = BuildSendStream(kTenRecords, options).stream->bytes;
  options.zeroBytes = 7;
  const SendStream noisy = *BuildSendStream(kTenRecords, options).stream;
  EXPECT_EQ(std::count(noisy.bytes.begin(), noisy.bytes.end(), '\0'), 7);
  EXPECT_EQ(Without(noisy.bytes, '\0'), clean);
  EXPECT_EQ(BuildSendStream(kTenRecords, options).stream->bytes, noisy.bytes);
  options.seed = 2;
  EXPECT_NE(BuildSendStream(kTenRecords, options).stream->bytes, noisy.bytes);
}

TEST(SendStreamNoise, MixedMarkerFramesExactlyOneRecordWithTheNextMarker) {
  for (std::uint32_t seed = 1; seed <= 20; ++seed) {
    SendOptions options = Framed('$');
    options.mixedMarker = true;
    options.seed = seed;
    const SendStream stream = *BuildSendStream(kTenRecords, options).stream;
    ASSERT_TRUE(stream.mixedRecord);
    EXPECT_EQ(stream.mixedMarker, '@');  // the row after "$" in the marker table
    const std::string mixed = "@r" + std::to_string(*stream.mixedRecord) + "@\r\n";
    EXPECT_NE(stream.bytes.find(mixed), std::string::npos) << stream.bytes;
    EXPECT_EQ(std::count(stream.bytes.begin(), stream.bytes.end(), '@'), 2);
    EXPECT_EQ(std::count(stream.bytes.begin(), stream.bytes.end(), '$'), 18);
  }
  SendOptions wrap = Framed('!');  // the last row wraps round to the first
  wrap.mixedMarker = true;
  EXPECT_EQ(BuildSendStream(kTenRecords, wrap).stream->mixedMarker, '&');
}

TEST(SendStreamNoise, FinishRecordIsOneAddedCopy) {
  SendOptions options = Framed('#');
  options.finishRecord = true;
  options.seed = 5;
  const SendStream stream = *BuildSendStream(kTenRecords, options).stream;
  ASSERT_TRUE(stream.finishRecord);
  EXPECT_EQ(stream.records, 11);
  const int copied = *stream.finishRecord - 1;
  const std::string record =
      "#r" + std::to_string(copied) + "#\r\n#r" + std::to_string(copied) + ",Finish#\r\n";
  EXPECT_NE(stream.bytes.find(record), std::string::npos) << stream.bytes;
  // The only other "Finish" is the end word.
  std::size_t finishes = 0;
  for (std::size_t at = stream.bytes.find("Finish"); at != std::string::npos;
       at = stream.bytes.find("Finish", at + 1)) {
    ++finishes;
  }
  EXPECT_EQ(finishes, 2u);
}

// ---- pacing numbers

struct BitsCase {
  const char* name;
  LineSettings settings;
  int bits;
};

class BitsOnTheLine : public testing::TestWithParam<BitsCase> {};

TEST_P(BitsOnTheLine, PerByte) {
  EXPECT_EQ(BitsPerByte(GetParam().settings), GetParam().bits);
}

INSTANTIATE_TEST_SUITE_P(Rows, BitsOnTheLine,
                         testing::Values(BitsCase{"EightNoneTwo", {19200, 8, Parity::None, true, 2}, 11},
                                         BitsCase{"SevenEvenTwo", {19200, 7, Parity::Even, true, 2}, 11},
                                         BitsCase{"SevenOddTwo", {19200, 7, Parity::Odd, true, 2}, 11},
                                         BitsCase{"EightEvenTwo", {19200, 8, Parity::Even, true, 2}, 12},
                                         BitsCase{"EightOddTwo", {19200, 8, Parity::Odd, true, 2}, 12},
                                         BitsCase{"SevenNoneTwo", {19200, 7, Parity::None, true, 2}, 10}),
                         RowName());

TEST(Pacing, BytePeriodFollowsBaudAndFrame) {
  EXPECT_EQ(BytePeriod({9600, 8, Parity::None, true, 2}).count(), 1'145'833);  // 11 bits at 9600
  EXPECT_EQ(BytePeriod({38400, 8, Parity::Even, true, 2}).count(), 312'500);   // 12 bits at 38400
}

TEST(Pacing, WriteSizesCoverTheStreamInSeededPieces) {
  const std::vector<std::size_t> sizes = WriteSizes(5000, 1);
  EXPECT_EQ(std::accumulate(sizes.begin(), sizes.end(), std::size_t{0}), 5000u);
  EXPECT_TRUE(std::all_of(sizes.begin(), sizes.end(), [](std::size_t s) { return s >= 1 && s <= 64; }));
  // Random sizes, not one size: both ends of the range turn up in a long stream.
  EXPECT_NE(std::find(sizes.begin(), sizes.end() - 1, 1u), sizes.end() - 1);
  EXPECT_NE(std::find(sizes.begin(), sizes.end() - 1, 64u), sizes.end() - 1);
  EXPECT_EQ(WriteSizes(5000, 1), sizes);
  EXPECT_NE(WriteSizes(5000, 2), sizes);
  EXPECT_TRUE(WriteSizes(0, 1).empty());
}

TEST(Pacing, DrawStaysInItsRange) {
  std::mt19937 generator(7);
  std::vector<int> seen(5, 0);
  for (int i = 0; i < 5000; ++i) {
    const std::uint32_t value = Draw(generator, 3, 7);
    ASSERT_GE(value, 3u);
    ASSERT_LE(value, 7u);
    ++seen[value - 3];
  }
  EXPECT_TRUE(std::all_of(seen.begin(), seen.end(), [](int n) { return n > 800; }));
  EXPECT_EQ(Draw(generator, 5, 5), 5u);
  [[maybe_unused]] const std::uint32_t whole =
      Draw(generator, 0, 0xFFFFFFFF);  // the full range must not loop
}

}  // namespace
}  // namespace kestrion::station

// The probe over every pair of settings the lists offer (the instrument's and the port's), with downloads of
// every file kind that the probe never learned from, as the port reads them: with the marks of damaged bytes
// in place, with the damaged bytes only counted, and without marks (a pseudo-terminal, some adapters).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/TestNames.h"
#include "transfer/LineJudgement.h"
#include "transfer/SettingsProbe.h"
#include "transfer/SurveyText.h"
#include "transfer/TransferReport.h"

namespace kestrion {
namespace {

using testing_support::SurveyKind;
using testing_support::SurveyWriter;
using Kind = SettingsSuggestion::Kind;

enum class Marks { InPlace, Counted, None };

std::string Name(const LineSettings& s) {
  return std::to_string(s.baudRate) + "-" + std::to_string(s.dataBits) + "NOE"[static_cast<int>(s.parity)];
}

struct Arrival {
  StreamSurvey survey;
  ArrivalCounts counts;
  ErrorsSince errors;
};

Arrival ArrivalOf(const std::vector<ReadByte>& read, Marks marks) {
  const std::string values = ValuesOf(read);
  std::vector<LineMark> inPlace;
  ErrorsSince counted;
  for (const ReadByte& byte : read) {
    inPlace.push_back(byte.mark);
    if (byte.mark == LineMark::Break) {
      ++counted.breaks;
    } else if (byte.mark != LineMark::None) {
      ++counted.damaged;
    }
  }
  Arrival a;
  StreamScanner scanner;
  if (marks == Marks::InPlace) {
    scanner.Scan(values, inPlace);
    a.counts.Add(values, inPlace);
  } else {
    scanner.Scan(values);
    a.counts.Add(values);
  }
  if (marks == Marks::Counted) {
    a.errors = counted;
    a.counts.SetCountedErrors(counted.damaged, counted.breaks);
  }
  a.survey = scanner.Survey();
  return a;
}

bool SameAsRead(const std::vector<ReadByte>& a, const std::vector<ReadByte>& b, Marks marks) {
  if (marks == Marks::InPlace) return a == b;
  if (ValuesOf(a) != ValuesOf(b)) return false;
  if (marks == Marks::None) return true;
  const auto damaged = [](const std::vector<ReadByte>& r) {
    return std::count_if(r.begin(), r.end(), [](const ReadByte& x) { return x.mark != LineMark::None; });
  };
  return damaged(a) == damaged(b);
}

struct ProbeCase {
  const char* name;
  Marks marks;
};

class EveryPair : public testing::TestWithParam<ProbeCase> {};

TEST_P(EveryPair, NamesTheRateOnlyWhereTheBytesTellItAndNeverAWrongOne) {
  const Marks marks = GetParam().marks;
  SettingsProbe probe;
  int named = 0;
  int formats = 0;
  for (const LineSettings& port : OfferedSettings()) {
    for (const SurveyKind kind : testing_support::kSurveyKinds) {
      const std::string text =
          SurveyWriter(static_cast<std::uint32_t>(port.baudRate + static_cast<int>(kind))).Download(kind, 25);
      std::vector<std::vector<ReadByte>> reads;
      for (const LineSettings& sent : OfferedSettings()) reads.push_back(ReadAs(text, sent, port));
      for (std::size_t s = 0; s < OfferedSettings().size(); ++s) {
        const LineSettings& sent = OfferedSettings()[s];
        const std::string pair =
            Name(sent) + " read at " + Name(port) + ", kind " + std::to_string(static_cast<int>(kind));
        const Arrival a = ArrivalOf(reads[s], marks);
        if (!WarnsOfSettings(Judge(a.survey, a.errors))) {
          EXPECT_FALSE(sent.baudRate != port.baudRate && a.counts.Bytes() >= 300) << pair << ": not judged";
          continue;  // the probe does not run
        }
        const SettingsSuggestion said = probe.Suggest(a.counts, port);
        bool reproduced = false;  // by another rate
        for (std::size_t o = 0; o < reads.size(); ++o) {
          const bool otherRate = OfferedSettings()[o].baudRate != sent.baudRate;
          reproduced = reproduced || (otherRate && SameAsRead(reads[o], reads[s], marks));
        }
        EXPECT_NE(said.kind, Kind::UnlistedRate) << pair;
        if (sent.baudRate == port.baudRate || reproduced || a.counts.Bytes() < SettingsProbe::kMinimumBytes) {
          EXPECT_EQ(said.kind, Kind::None) << pair;
          continue;
        }
        EXPECT_NE(said.kind, Kind::None) << pair;
        if (said.kind == Kind::None) continue;
        EXPECT_EQ(said.baudRate, sent.baudRate) << pair;
        ++named;
        if (said.kind == Kind::RateAndFormat) {
          EXPECT_EQ(said.dataBits, sent.dataBits) << pair;
          EXPECT_EQ(said.parity, sent.parity) << pair;
          ++formats;
        }
      }
    }
  }
  // Of the 24 x 18 x 6 pairs of different rates, those not cut short below a hundred bytes.
  EXPECT_GT(named, 2400);
  EXPECT_GT(formats, 0);
}

INSTANTIATE_TEST_SUITE_P(Marks, EveryPair,
                         testing::Values(ProbeCase{"InPlace", Marks::InPlace},
                                         ProbeCase{"Counted", Marks::Counted},
                                         ProbeCase{"Without", Marks::None}),
                         testing_support::RowName());

struct UnlistedCase {
  const char* name;
  int rate;
};

class UnlistedRate : public testing::TestWithParam<UnlistedCase> {};

// Read at the default setting, a rate the lists lack is not taken for one they offer.
TEST_P(UnlistedRate, IsSaidToBeMissingFromTheList) {
  SettingsProbe probe;
  const LineSettings port;
  const std::string text = SurveyWriter(3).Download(SurveyKind::Cpt, 25);
  const Arrival a = ArrivalOf(ReadAs(text, {GetParam().rate, 8, Parity::None, true, 2}, port), Marks::None);
  ASSERT_TRUE(WarnsOfSettings(Judge(a.survey, a.errors)));
  EXPECT_EQ(probe.Suggest(a.counts, port).kind, Kind::UnlistedRate);
}

INSTANTIATE_TEST_SUITE_P(Rows, UnlistedRate,
                         testing::Values(UnlistedCase{"At1200", 1200}, UnlistedCase{"At2400", 2400},
                                         UnlistedCase{"At57600", 57600}, UnlistedCase{"At115200", 115200}),
                         testing_support::RowName());

// The start word of an upload's wait, sent at every other offered setting and read at every one: a rate or
// format that the probe names is the one sent.
TEST(SettingsProbe, TheStartWordTellsTheRateItWasSentAt) {
  SettingsProbe probe;
  int named = 0;
  for (const LineSettings& port : OfferedSettings()) {
    for (const LineSettings& sent : OfferedSettings()) {
      std::string arrived = ValuesOf(ReadAs(kWordStart, sent, port));
      std::erase(arrived, '\0');
      if (arrived.find(kWordStart) != std::string::npos) continue;
      const SettingsSuggestion said = probe.SuggestFromRequests(arrived, port);
      const std::string pair = Name(sent) + " read at " + Name(port);
      EXPECT_NE(said.kind, Kind::UnlistedRate) << pair;
      if (said.kind == Kind::None) continue;
      EXPECT_EQ(said.baudRate, sent.baudRate) << pair;
      if (said.kind == Kind::RateAndFormat) {
        EXPECT_EQ(said.dataBits, sent.dataBits) << pair;
        EXPECT_EQ(said.parity, sent.parity) << pair;
      }
      ++named;
    }
  }
  EXPECT_GT(named, 300);
}

// Read at the default setting, data from an instrument at each other offered rate names that rate in the
// status from the polls after the first 300 bytes on; the same data at the default setting never warns.
TEST(SettingsProbe, TheReportNamesTheRateAfterThreeHundredBytes) {
  const LineSettings port;
  for (const LineSettings& sent : OfferedSettings()) {
    TransferReport report;
    report.ConnectionOpened(port);
    Reception reception;
    CString data;
    CString marker;
    const std::string text = SurveyWriter(11).Download(SurveyKind::Hln, 120);
    const std::string arrived = ValuesOf(ReadAs(text, sent, port));
    std::uint64_t before = 0;
    for (const ChunkRead& read : testing_support::ChunkReads(arrived)) {
      report.ReadArrived(read, reception.Step(data, marker, read.chunk), {});
      if (sent.baudRate == port.baudRate && sent.dataBits == 8) {
        EXPECT_FALSE(report.Warning() && report.Warning()->suggestion.kind != Kind::None) << Name(sent);
      } else if (sent.baudRate != port.baudRate && before >= 300) {
        ASSERT_TRUE(report.Warning()) << Name(sent) << " after " << before << " bytes";
        EXPECT_EQ(report.Warning()->suggestion.baudRate, sent.baudRate) << Name(sent) << " after " << before;
      }
      before += read.chunk.View().size() + static_cast<std::uint64_t>(read.zeroBytes);
    }
  }
}

}  // namespace
}  // namespace kestrion

#include "download/Reception.h"
#include "reference/NaiveReception.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/TestNames.h"

namespace kestrion {
namespace {

struct Poll {
  std::string chunk;
  std::string dataAfter;
  bool finished = false;
};

struct ReceptionCase {
  const char* name;
  std::string dataBefore;
  std::string markerBefore;
  std::vector<Poll> polls;
  std::string markerAfter;
};

// Both implementations must walk through every row the same way.
template <typename Impl>
void RunCase(const ReceptionCase& c) {
  Impl reception;
  CString data(c.dataBefore);
  CString lastMarker(c.markerBefore);
  for (std::size_t i = 0; i < c.polls.size(); ++i) {
    const Poll& poll = c.polls[i];
    const ReceptionStep step = reception.Step(data, lastMarker, CString(poll.chunk));
    EXPECT_EQ(data.Bytes(), poll.dataAfter) << "poll " << i;
    EXPECT_EQ(step.finished, poll.finished) << "poll " << i;
  }
  EXPECT_EQ(lastMarker.Bytes(), c.markerAfter);
}

class ReceptionPolls : public testing::TestWithParam<ReceptionCase> {};

TEST_P(ReceptionPolls, Incremental) { RunCase<Reception>(GetParam()); }
TEST_P(ReceptionPolls, Naive) { RunCase<NaiveReception>(GetParam()); }

const std::string kAtTrail = "\x81\x40";  // a Chinese character whose second byte is '@'

INSTANTIATE_TEST_SUITE_P(
    Cases, ReceptionPolls,
    testing::Values(
        ReceptionCase{"RecordsThenEndWord",
                      "",
                      "",
                      {{"$A1,2$\r\n", "\r\nA1,2\r\n"},
                       {"$B3,4$\r\n", "\r\nA1,2\r\n\r\nB3,4\r\n"},
                       {"Download Finish\r\n", "\r\nA1,2\r\n\r\nB3,4\r\n", true}},
                      "$"},
        ReceptionCase{"RecordSplitOverTwoReads", "", "", {{"$A1,", "\r\nA1,"}, {"2$\r\n", "\r\nA1,2\r\n"}}, "$"},
        ReceptionCase{"PartWithoutMarkerJoinsRecord",
                      "",
                      "",
                      {{"$A1", "\r\nA1"}, {",2", "\r\nA1,2"}, {"$\r\n", "\r\nA1,2\r\n"}},
                      "$"},
        ReceptionCase{"FirstKindInTableOrderOnly",
                      "",
                      "",
                      {{"&P1&$H1$\r\n", "\r\nP1\r\n$H1$"}, {"$H2$", "\r\nP1\r\n\r\nH1\r\n\r\nH2\r\n"}},
                      "$"},
        ReceptionCase{"NoMarkerKeepsLineEndsAndLastMarker", "x", "#", {{"a\r\nb\n", "xa\r\nb\n"}}, "#"},
        ReceptionCase{"ClosingMarkerAndLineEndInTwoReads",
                      "",
                      "",
                      {{"$A1,2$", "\r\nA1,2\r\n"}, {"\r\n", "\r\nA1,2\r\n\r\n"}},
                      "$"},
        ReceptionCase{"LastRecordAndEndWordInOneRead",
                      "",
                      "",
                      {{"$B3,4$\r\nDownload Finish\r\n", "\r\nB3,4\r\n", true}},
                      "$"},
        ReceptionCase{"TextAfterEndWordStays", "", "", {{"Download Finish\r\nXY \t\r\n", "\r\nXY\r\n", true}}, ""},
        ReceptionCase{"OnlyEndWord", "", "", {{"Download Finish\r\n", "\r\n", true}}, ""},
        ReceptionCase{"SecondByteIsNoMarker",
                      "",
                      "",
                      {{"@A" + kAtTrail + "B@", "\r\nA" + kAtTrail + "B\r\n"}},
                      "@"},
        ReceptionCase{"EndWordCutOverTwoReads",
                      "",
                      "",
                      {{"$A$\r\nDownload Fin", "\r\nA\r\nDownload Fin"}, {"ish\r\n", "\r\nA\r\n", true}},
                      "$"},
        ReceptionCase{"LowerCaseFinishEndsNothing", "", "", {{"finish\r\n", "finish\r\n"}}, ""},
        // A record holding the word ends the download once; later reads are plain reads again.
        ReceptionCase{"FinishInsideRecordReportedOnce",
                      "",
                      "",
                      {{"^R,Finish,1^\r\n", "\r\nR,Finish,1\r\n", true},
                       {"^R,2^\r\n", "\r\nR,Finish,1\r\n\r\nR,2\r\n"},
                       {"x ", "\r\nR,Finish,1\r\n\r\nR,2\r\nx "}},
                      "^"},
        ReceptionCase{"EveryNewFinishReported",
                      "",
                      "",
                      {{"Download Finish", "\r\n", true},
                       {"$A$", "\r\n\r\nA\r\n"},
                       {"Download Finish", "\r\n\r\nA\r\n", true}},
                      "$"},
        ReceptionCase{"LoadedCptLinesLoseTheirMarkers",
                      "&P1,1&\r\n&P2,2&\r\n",
                      "",
                      {{"&P3&", "\r\nP1,1\r\n\r\n\r\nP2,2\r\n\r\n\r\nP3\r\n"}},
                      "&"},
        // 0x81 at the end of a read takes the first byte of the next read as its second byte.
        ReceptionCase{"LoneLeadByteJoinsNextRead",
                      "",
                      "",
                      {{"$A\x81", "\r\nA\x81"}, {"$B$", "\r\nA\x81$B\r\n"}},
                      "$"},
        // A read cut inside a character whose second byte is a marker: that byte is no marker of the next read,
        // which is judged by the marker it does hold.
        ReceptionCase{"CutCharacterSecondByteIsNoMarker",
                      "",
                      "",
                      {{"#1,\xdf", "\r\n1,\xdf"}, {"^\xbd\xad#\r\n", "\r\n1,\xdf^\xbd\xad\r\n"}},
                      "#"},
        ReceptionCase{"LoneLeadByteHidesFinish", "", "", {{"X\x81", "X\x81"}, {"Finish", "X\x81" "Finish"}}, ""},
        ReceptionCase{"MarkerCarriesOverWithoutNewOne", "old", "^", {{"text", "oldtext"}}, "^"},
        ReceptionCase{"EmptyReadChangesNothing", "abc", "$", {{"", "abc"}}, "$"},
        // Removing the inner end word spells the word again; that one goes at the next new "Finish".
        ReceptionCase{"EndWordSpeltAgainByRemoval",
                      "",
                      "",
                      {{"Download Download FinishFinish", "Download Finish\r\n", true},
                       {"x", "Download Finish\r\nx"},
                       {"Finish", "\r\nxFinish\r\n", true}},
                      ""},
        ReceptionCase{"FinishAlreadyInLoadedTextCountsAsSeen", "Finish", "", {{"", "Finish"}, {"x", "Finishx"}}, ""},
        ReceptionCase{"FinishCompletedAcrossTheLoadedEnd", "Fini", "", {{"sh", "Finish\r\n", true}}, ""}),
    testing_support::RowName());

template <typename Impl>
void RestartExaminesAfresh() {
  Impl reception;
  CString data;
  CString lastMarker;
  EXPECT_TRUE(reception.Step(data, lastMarker, "A,Finish").finished);
  EXPECT_FALSE(reception.Step(data, lastMarker, "B").finished);
  // The operator edits the text: the word already in it is not reported again, a marker typed in is found.
  data += "$C";
  reception.Restart();
  EXPECT_FALSE(reception.Step(data, lastMarker, "$").finished);
  EXPECT_EQ(data, "A,Finish\r\nB\r\nC\r\n");
  EXPECT_TRUE(reception.Step(data, lastMarker, "D Finish").finished);
  // Cleared text: nothing left to report.
  data.Empty();
  reception.Restart();
  EXPECT_FALSE(reception.Step(data, lastMarker, "E").finished);
  EXPECT_EQ(data, "E");
}

TEST(ReceptionRestart, ExaminesTheWholeTextForMarkersOnly) {
  RestartExaminesAfresh<Reception>();
  RestartExaminesAfresh<NaiveReception>();
}

TEST(ReceptionRestart, ATextOfAnotherLengthIsTakenAsChanged) {
  Reception reception;
  CString data;
  CString lastMarker;
  reception.Step(data, lastMarker, "$A$$B$");
  // A '$' typed into the text without telling the reception is still replaced by the next "$" read.
  data = CString("$X") + data;
  reception.Step(data, lastMarker, "$C");
  EXPECT_EQ(data, "\r\nX\r\nA\r\n\r\nB\r\n\r\nC");
}

}  // namespace
}  // namespace kestrion

// The rules of the port's output that every platform shares: how long the drain at close waits for a slow
// line, and when a stalled output is put down to flow control waiting for a line.
#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "common/TestNames.h"
#include "serial/SerialDevice.h"

namespace kestrion::detail {
namespace {

using namespace std::chrono_literals;
using std::chrono::milliseconds;

// ---- the drain at close

struct StallWindowCase {
  const char* name;
  std::optional<LineSettings> settings;
  milliseconds oneBlock;  // 256 bytes at the line's rate, start and stop bits and parity included
};

class DrainStallWindowFor : public testing::TestWithParam<StallWindowCase> {};

TEST_P(DrainStallWindowFor, OutlastsOneAdapterBlockWithinTheLimit) {
  const milliseconds window = DrainStallWindow(GetParam().settings);
  EXPECT_GE(window, GetParam().oneBlock + 50ms);
  EXPECT_LE(window, kDrainLimit);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DrainStallWindowFor,
    testing::Values(
        StallWindowCase{"Rate4800EightEvenTwo", LineSettings{4800, 8, Parity::Even, true, 2}, 640ms},
        StallWindowCase{"Rate4800EightNoneTwo", LineSettings{4800, 8, Parity::None, true, 2}, 587ms},
        StallWindowCase{"Rate9600SevenOddTwo", LineSettings{9600, 7, Parity::Odd, true, 2}, 294ms},
        StallWindowCase{"Rate19200Defaults", LineSettings{}, 147ms},
        StallWindowCase{"Rate38400EightNoneOne", LineSettings{38400, 8, Parity::None, true, 1}, 67ms},
        StallWindowCase{"UnknownSettingsAsTheSlowestLine", std::nullopt, 640ms}),
    testing_support::RowName());

struct DrainStep {
  milliseconds at;
  std::optional<std::size_t> left;
  OutputDrain::State expected;
};

struct DrainCase {
  const char* name;
  std::optional<std::size_t> leftAtStart;
  OutputDrain::State expectedAtStart;
  std::vector<DrainStep> steps;
};

class Drain : public testing::TestWithParam<DrainCase> {};

constexpr milliseconds kWindow{700};
using State = OutputDrain::State;

TEST_P(Drain, FollowsTheDevicesCount) {
  const Clock::time_point start{};
  OutputDrain drain(start, kWindow, GetParam().leftAtStart);
  EXPECT_EQ(drain.Current(), GetParam().expectedAtStart);
  for (const DrainStep& step : GetParam().steps) {
    EXPECT_EQ(drain.Update(start + step.at, step.left), step.expected) << "at " << step.at.count() << " ms";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Drain,
    testing::Values(
        DrainCase{"NothingLeftIsDrained", 0, State::Drained, {}},
        DrainCase{"DeviceThatCannotSayIsNotWaitedFor", std::nullopt, State::GivenUp, {}},
        // A USB adapter at a slow rate: the count stands still for a block's time, then drops by a block.
        DrainCase{"SlowAdapterBlocksAreWaitedFor",
                  512,
                  State::Going,
                  {{300ms, 512, State::Going},
                   {600ms, 512, State::Going},
                   {650ms, 256, State::Going},
                   {1300ms, 256, State::Going},
                   {1340ms, 0, State::Drained}}},
        DrainCase{"LineThatTakesNothingForTheWindowIsGivenUp",
                  512,
                  State::Going,
                  {{699ms, 512, State::Going}, {700ms, 512, State::GivenUp}, {900ms, 0, State::GivenUp}}},
        DrainCase{"MovingDrainEndsAtTheLimit",
                  1000,
                  State::Going,
                  {{600ms, 900, State::Going},
                   {1200ms, 800, State::Going},
                   {1800ms, 700, State::Going},
                   {2400ms, 600, State::Going},
                   {3000ms, 500, State::GivenUp}}},
        DrainCase{
            "DeviceThatStopsAnsweringIsGivenUp", 100, State::Going, {{10ms, std::nullopt, State::GivenUp}}}),
    testing_support::RowName());

// ---- the output held by flow control

struct HoldCase {
  const char* name;
  OutputHold previous;
  OutputSample sample;
  OutputHold expected;
};

class HoldDecision : public testing::TestWithParam<HoldCase> {};

TEST_P(HoldDecision, NamesTheLineThatHoldsTheOutput) {
  EXPECT_EQ(NextOutputHold(GetParam().previous, GetParam().sample), GetParam().expected);
}

// Flow on CTS or DSR, each line on, off or not reported, a stall or a write that got through.
OutputSample Sample(bool ctsFlow, bool dsrFlow, std::optional<bool> cts, std::optional<bool> dsr,
                    bool stalled, bool flowed) {
  OutputSample sample;
  sample.ctsFlow = ctsFlow;
  sample.dsrFlow = dsrFlow;
  sample.cts = cts;
  sample.dsr = dsr;
  sample.stalled = stalled;
  sample.flowed = flowed;
  return sample;
}

constexpr bool kStalled = true;
constexpr bool kFlowed = true;
const std::optional<bool> kOn = true;
const std::optional<bool> kOff = false;
const std::optional<bool> kUnknown = std::nullopt;

INSTANTIATE_TEST_SUITE_P(
    Rows, HoldDecision,
    testing::Values(HoldCase{"FlowControlOffNeverHolds", OutputHold::None,
                             Sample(false, false, kOff, kOff, kStalled, false), OutputHold::None},
                    HoldCase{"StallWithCtsOff", OutputHold::None,
                             Sample(true, false, kOff, kOn, kStalled, false), OutputHold::Cts},
                    HoldCase{"StallWithCtsNotReported", OutputHold::None,
                             Sample(true, false, kUnknown, kUnknown, kStalled, false), OutputHold::Cts},
                    HoldCase{"StallWithCtsOnIsSomethingElse", OutputHold::None,
                             Sample(true, false, kOn, kOff, kStalled, false), OutputHold::None},
                    HoldCase{"StallWithDsrOff", OutputHold::None,
                             Sample(false, true, kOff, kOff, kStalled, false), OutputHold::Dsr},
                    HoldCase{"BothFlowsCtsOnDsrOff", OutputHold::None,
                             Sample(true, true, kOn, kOff, kStalled, false), OutputHold::Dsr},
                    HoldCase{"NoStallNoHold", OutputHold::None, Sample(true, false, kOff, kOff, false, false),
                             OutputHold::None},
                    HoldCase{"HoldStaysWhileTheLineStaysOff", OutputHold::Cts,
                             Sample(true, false, kOff, kOff, false, false), OutputHold::Cts},
                    HoldCase{"HoldEndsWhenTheLineComesOn", OutputHold::Cts,
                             Sample(true, false, kOn, kOff, false, false), OutputHold::None},
                    HoldCase{"HoldEndsWhenAWriteGotThrough", OutputHold::Cts,
                             Sample(true, false, kUnknown, kUnknown, false, kFlowed), OutputHold::None},
                    HoldCase{"HoldEndsWhenFlowControlIsTurnedOff", OutputHold::Cts,
                             Sample(false, false, kOff, kOff, false, false), OutputHold::None},
                    HoldCase{"DsrHoldStaysWhileDsrStaysOff", OutputHold::Dsr,
                             Sample(false, true, kOn, kOff, false, false), OutputHold::Dsr}),
    testing_support::RowName());

// What the reader sees of the writes at each look, on a port with CTS flow control and no CTS to report.
struct Look {
  bool writing = false;
  std::uint64_t moved = 0;
  std::uint64_t completed = 0;
  std::optional<std::size_t> queued;  // a driver queue, where the platform reports one
};

struct WatchCase {
  const char* name;
  std::vector<Look> looks;
  OutputHold expected;  // after the last look
};

class HoldWatch : public testing::TestWithParam<WatchCase> {};

TEST_P(HoldWatch, PutsAStallDownToTheLineOnlyAcrossTwoLooks) {
  OutputHoldWatch holdWatch;
  WriteWatch writes;
  OutputLines lines;
  lines.ctsFlow = true;
  OutputHold hold = OutputHold::None;
  for (const Look& look : GetParam().looks) {
    writes.waiting = look.writing;
    writes.moved = look.moved;
    writes.completed = look.completed;
    lines.queued = look.queued;
    hold = holdWatch.Look(writes, lines);
  }
  EXPECT_EQ(hold, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, HoldWatch,
    testing::Values(
        WatchCase{"WriteJustBegunIsNoStall", {{true, 0, 0, {}}}, OutputHold::None},
        WatchCase{"WriteWaitingAcrossTwoLooks", {{true, 0, 0, {}}, {true, 0, 0, {}}}, OutputHold::Cts},
        WatchCase{"WriteThatMovesIsNoStall", {{true, 0, 0, {}}, {true, 1, 0, {}}}, OutputHold::None},
        WatchCase{"NextWriteIsNoStall", {{true, 0, 0, {}}, {true, 0, 1, {}}}, OutputHold::None},
        WatchCase{"DriverQueueThatDoesNotDrain", {{false, 1, 1, 50}, {false, 1, 1, 50}}, OutputHold::Cts},
        WatchCase{"DriverQueueThatDrains", {{false, 1, 1, 50}, {false, 1, 1, 20}}, OutputHold::None},
        WatchCase{"WriteThatTimedOutKeepsTheHold",
                  {{true, 0, 0, {}}, {true, 0, 0, {}}, {false, 0, 0, {}}},
                  OutputHold::Cts},
        WatchCase{"WriteThatGotThroughEndsTheHold",
                  {{true, 0, 0, {}}, {true, 0, 0, {}}, {false, 1, 1, {}}},
                  OutputHold::None},
        WatchCase{"WriteIntoADriverQueueThatHoldsItKeepsTheHold",
                  {{true, 0, 0, 0}, {true, 0, 0, 0}, {false, 1, 1, 40}, {false, 1, 1, 40}},
                  OutputHold::Cts}),
    testing_support::RowName());

}  // namespace
}  // namespace kestrion::detail

// The rules of the port's output that every platform shares: how long the drain at close waits for a slow
// line, and when a stalled output is put down to flow control waiting for a line.
#include <gtest/gtest.h>

#include <optional>
#include <utility>
#include <vector>

#include "common/TestNames.h"
#include "serial/SerialDevice.h"

namespace kestrion::detail {
namespace {

using namespace std::chrono_literals;
using std::chrono::milliseconds;

// The device's count of bytes still to send, the first at the start of the drain.
struct DrainCase {
  const char* name;
  LineSettings settings;
  std::vector<std::pair<milliseconds, std::optional<std::size_t>>> counts;
  OutputDrain::State expected;
};

class Drain : public testing::TestWithParam<DrainCase> {};

TEST_P(Drain, WaitsForTheLineAtItsRate) {
  const Clock::time_point start{};
  const auto& counts = GetParam().counts;
  OutputDrain drain(start, DrainStallWindow(GetParam().settings), counts.front().second);
  for (std::size_t i = 1; i < counts.size(); ++i) drain.Update(start + counts[i].first, counts[i].second);
  EXPECT_EQ(drain.Current(), GetParam().expected);
}

constexpr LineSettings k4800EightEvenTwo{4800, 8, Parity::Even, true, 2};
constexpr LineSettings k38400EightNoneOne{38400, 8, Parity::None, true, 1};

// A USB adapter's count stands still for a block of 256 bytes' time, then drops by a block: 640 ms at 4800
// baud with 12 bits a byte.
INSTANTIATE_TEST_SUITE_P(
    Rows, Drain,
    testing::Values(
        DrainCase{"SlowAdapterBlocksAreWaitedFor",
                  k4800EightEvenTwo,
                  {{0ms, 512}, {600ms, 512}, {650ms, 256}, {1280ms, 256}, {1300ms, 0}},
                  OutputDrain::State::Drained},
        DrainCase{"LineStillForManyBlocksIsGivenUp",
                  k38400EightNoneOne,
                  {{0ms, 512}, {600ms, 512}, {650ms, 0}},
                  OutputDrain::State::GivenUp},
        DrainCase{"MovingDrainEndsAtTheLimit",
                  k4800EightEvenTwo,
                  {{0ms, 900}, {600ms, 800}, {1200ms, 700}, {1800ms, 600}, {2400ms, 500}, {3000ms, 400}},
                  OutputDrain::State::GivenUp}),
    testing_support::RowName());

// What the reader sees at each look: a write under way, the device's counts of what it took and of writes
// that got through, its queue where it reports one, and the line that flow control waits for.
struct Look {
  bool writing = false;
  std::uint64_t moved = 0;
  std::uint64_t completed = 0;
  std::optional<std::size_t> queued;
  std::optional<bool> line;
};

struct HoldCase {
  const char* name;
  OutputHold flowOn;  // the line that output flow control waits for
  std::vector<Look> looks;
  OutputHold expected;  // after the last look
};

class Hold : public testing::TestWithParam<HoldCase> {};

TEST_P(Hold, NamesTheLineThatHoldsTheOutput) {
  OutputHoldWatch watch;
  WriteWatch writes;
  OutputLines lines;
  lines.ctsFlow = GetParam().flowOn == OutputHold::Cts;
  lines.dsrFlow = GetParam().flowOn == OutputHold::Dsr;
  OutputHold hold = OutputHold::None;
  for (const Look& look : GetParam().looks) {
    writes.waiting = look.writing;
    writes.moved = look.moved;
    writes.completed = look.completed;
    lines.queued = look.queued;
    // The other line is on: it holds nothing.
    lines.cts = lines.ctsFlow ? look.line : true;
    lines.dsr = lines.dsrFlow ? look.line : true;
    hold = watch.Look(writes, lines);
  }
  EXPECT_EQ(hold, GetParam().expected);
}

constexpr OutputHold kCts = OutputHold::Cts;
constexpr OutputHold kDsr = OutputHold::Dsr;
constexpr OutputHold kNone = OutputHold::None;
const Look kWaiting{true, 0, 0, {}, false};

INSTANTIATE_TEST_SUITE_P(
    Rows, Hold,
    testing::Values(
        HoldCase{"StalledWithCtsOff", kCts, {kWaiting, kWaiting}, kCts},
        HoldCase{"StalledWithDsrOff", kDsr, {kWaiting, kWaiting}, kDsr},
        HoldCase{"StalledWithTheLineOnIsNoFlowControl",
                 kCts,
                 {{true, 0, 0, {}, true}, {true, 0, 0, {}, true}},
                 kNone},
        HoldCase{"WriteJustBegunIsNoStall", kCts, {kWaiting}, kNone},
        HoldCase{"WriteThatMovesIsNoStall", kCts, {kWaiting, {true, 1, 0, {}, false}}, kNone},
        // Linux takes a line into the driver's queue at once; there it waits.
        HoldCase{
            "DriverQueueThatDoesNotDrain", kCts, {{false, 1, 1, 50, false}, {false, 1, 1, 50, false}}, kCts},
        // Windows gives up a write that timed out: the line never went, the hold stays.
        HoldCase{"WriteThatTimedOutKeepsTheHold", kCts, {kWaiting, kWaiting, {false, 0, 0, {}, false}}, kCts},
        HoldCase{"LineComingOnEndsTheHold", kCts, {kWaiting, kWaiting, {false, 0, 0, {}, true}}, kNone}),
    testing_support::RowName());

}  // namespace
}  // namespace kestrion::detail

// Time management: clock allocation, bonus time, the hard limit, the time check and the speed estimate.
#include "search/timecontrol.h"

#include <gtest/gtest.h>

#include <tuple>

#include "board/board_helpers.h"
#include "search/search_helpers.h"
#include "book/book.h"
#include "core/platform.h"
#include "core/settings.h"
#include "search/report.h"
#include "search/root.h"
#include "search/search.h"
#include "search/search_state.h"

namespace {

class TimeControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    BoardReady();
    SearchStarting();
    SearchFlags = SettingsFlags & ~FlagPonder;
    SearchLimits.TimeMode = TimeModeClock;
    SearchLimits.MoveTimeMs = NoMoveTime;
    Options.strengthBudget = CalibratedSpeed = SpeedEstimate = PonderTimeMs = RootResultFlags = 0;
    LearnBase = -100;  // far from the start of the game
    NodeCount = IterationDepth = RootMoveCount = BestMoveChanges = StableIterations = PreviousSearchScore = 0;
    EasyMove = false;
  }
  void TearDown() override {
    SearchMode = SearchModeIdle;
    StopReason = StopNone;
    InputMode = 0;
    LearnBase = -1;
    Options.strengthBudget = 0;
    SetInputDescriptor(0);
  }

  void SixtySeconds() { SetupTimeControl(30, 60000, 0); }
};

// 60 s without increment leave 60000 - 60000 / 16 - 1500 = 54750 ms to share out.
TEST_F(TimeControlTest, ClockAllocation) {
  // What, flags (Ponder, GUI Time Lag), time mode, moves to go, clock, increment; target, minimum, maximum.
  const std::tuple<const char*, uint32_t, uint8_t, int, int, int, int, int, int> cases[] = {
      {"60 s", 0, TimeModeClock, 30, 60000, 0, 1825, 1095, 27375},
      {"GUI Time Lag with increment", FlagGuiTimeLag, TimeModeClock, 30, 60000, 1000, 2731, 1638, 40976},
      {"clock below the reserve", 0, TimeModeClock, 30, 1000, 0, 2, 1, 30},
      {"no clock", 0, TimeModeNoClock, 30, 60000, 0, 238000000, 2000000000, 1524000000},
  };
  for (const auto& [what, flags, timeMode, movesToGo, timeMs, incMs, target, min, max] : cases) {
    SearchFlags = (SettingsFlags & ~(FlagPonder | FlagGuiTimeLag)) | flags;
    LearnBase = Game.index;
    SearchLimits.TimeMode = timeMode;
    StopReason = StopNone;
    SearchClockStart = GetTickCount();
    SetupTimeControl(movesToGo, timeMs, incMs);
    EXPECT_EQ(std::tuple(TargetTime, MinTime, MaxTime, HardLimit), std::tuple(target, min, max, target)) << what;
    // A target of a few milliseconds may already be used up on a slow machine.
    EXPECT_TRUE(target <= 100 || StopReason == StopNone) << what;
  }
}

// Bonus time at 60 s (target 1825 ms, maximum 27375) after a fail low, a mate or a falling score.
TEST_F(TimeControlTest, BonusTimeAndTheHardLimit) {
  // What, root bound, result flags, best-move changes, last score delta, bonus before, score; bonus, hard limit.
  const std::tuple<const char*, int, uint32_t, int, int, int, int, int, int> cases[] = {
      {"fail low", BoundKindUpper, 0, 0, 0, 0, -50, 14600, 16425},
      {"being mated", BoundKindRunning, 0, 0, 0, 0, -8000, 27375, 27375},
      {"known to be mated", BoundKindRunning, ResultBeingMated | ResultMateSeen, 0, 0, 0, -8000, 0, 1825},
      {"falling score: entry 6", BoundKindExact, 0, 1, 0, 0, -40, 26 * 114, 1825 + 26 * 114},
      {"steady score withdraws a bonus", BoundKindExact, 0, 1, 0, 500, 0, 0, 1825},
      {"no fail and no score yet", BoundKindRunning, 0, 1, 0, 77, -400, 77, 1902},
  };
  for (const auto& [what, bound, result, changes, lastDelta, bonusBefore, score, bonus, hardLimit] : cases) {
    SixtySeconds();
    RootBound = bound;
    RootResultFlags = result;
    BestMoveChanges = changes;
    LastScoreDelta = lastDelta;
    TimeBonus = bonusBefore;
    UpdateTimeBonus(score);
    SetTimeLimit();
    EXPECT_EQ(std::tuple(TimeBonus, HardLimit), std::tuple(bonus, hardLimit)) << what;
  }
  SearchLimits.MoveTimeMs = 10000;  // the move time limits as well
  SetTimeLimit();
  EXPECT_EQ(HardLimit, 1902);
  SixtySeconds();
  RootBound = BoundKindUpper;
  UpdateTimeBonus(-50);
  SetTimeLimit();
  EXPECT_EQ(HardLimit, 10000);
}

// The time check stops at the hard limit; a pending stop keeps its reason.
TEST_F(TimeControlTest, CheckTimeStopsAtTheLimit) {
  SearchLimits.TimeMode = TimeModeNoClock;
  SearchLimits.MoveTimeMs = 100;
  SixtySeconds();
  SearchClockStart = GetTickCount() - 100;
  for (uint8_t stop : {StopHardLimit, StopByGui}) {
    NodeCountdown = 0;  // the check of a search node whose countdown has run out
    CheckTime();
    EXPECT_EQ(StopReason, stop);
    StopReason = StopByGui;
  }
}

// The speed estimate: at start down to the calibrated one; measured later, never below an eighth of it.
TEST_F(TimeControlTest, SpeedEstimateBetweenIterations) {
  enum When { AtStart, AfterIteration, AtPonderHit };
  // What, when, calibrated speed, estimate before, ms pondered, ms searched, nodes; the estimate's bounds.
  const std::tuple<const char*, When, uint32_t, uint32_t, int, int, uint64_t, uint32_t, uint32_t> cases[] = {
      {"search start keeps the lower one", AtStart, 2000000, 5000000, 0, 1000, 3000000, 2000000, 2000000},
      {"after an iteration, faster than calibrated", AfterIteration, 1000000, 0, 0, 1000, 3000000, 2500000, 3000000},
      {"far slower: an eighth of the calibrated", AfterIteration, 8000000, 5000000, 0, 1000, 100000, 1000000, 1000000},
      {"ponderhit counts the pondering", AtPonderHit, 1000000, 0, 3000, 0, 6000000, 1800000, 2000000},
  };
  for (const auto& [what, when, calibrated, estimateBefore, ponderMs, elapsedMs, nodes, low, high] : cases) {
    CalibratedSpeed = calibrated;
    SpeedEstimate = estimateBefore;
    SearchStarting(ReportStarted);  // the search has been running for a while
    SearchMode = when == AtPonderHit ? SearchModePonder : SearchModeNormal;
    IterationDepth = 1;
    NodeCount = nodes;
    PonderTimeMs = 0;
    SearchClockStart = GetTickCount() - uint32_t(ponderMs + elapsedMs);
    SixtySeconds();
    switch (when) {
      case AtStart:
        break;
      case AfterIteration:
        ASSERT_EQ(NextIteration(), IterationContinue) << what;
        break;
      case AtPonderHit:
        PonderTimeMs = GetTickCount() - SearchClockStart;  // as the shell does at ponderhit
        PonderHit();
        break;
    }
    EXPECT_EQ(StopReason, StopNone) << what;
    EXPECT_GE(SpeedEstimate, low) << what;
    EXPECT_LE(SpeedEstimate, high) << what;
  }
}

}  // namespace

// Time management: clock allocation, bonus time, the hard limit, the time check and the speed estimate.
#include "search/timecontrol.h"

#include <gtest/gtest.h>

#include <tuple>

#include "board/board_helpers.h"
#include "book/book.h"
#include "core/platform.h"
#include "core/settings.h"
#include "search/report.h"
#include "search/root.h"
#include "search/search.h"
#include "search/search_state.h"
#include "shell/engine.h"

namespace {

class TimeControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    BoardReady();
    SearchFlags = SettingsFlags & ~FlagPonder;
    SearchMode = SearchModeNormal;
    StopReason = StopNone;
    InputMode = 0;
    ReportFlags = 0;
    SearchLimits.TimeMode = TimeModeClock;
    SearchLimits.MoveTimeMs = NoMoveTime;
    SearchLimits.DepthLimit = SearchMaxDepth;
    Options.strengthBudget = 0;
    CalibratedSpeed = 0;
    SpeedEstimate = 0;
    NodeCount = 0;
    PonderTimeMs = 0;
    SearchClockStart = GetTickCount();
    LearnBase = -100;  // far from the start of the game
    IterationDepth = 0;
    RootMoveCount = 0;
    RootBound = BoundKindRunning;
    RootUnstable = 0;
    RootResultFlags = 0;
    BestMoveChanges = 0;
    StableIterations = 0;
    EasyMove = false;
    PreviousSearchScore = 0;
  }
  void TearDown() override {
    SearchMode = SearchModeIdle;
    StopReason = StopNone;
    InputMode = 0;
    LearnBase = -1;
    Options.strengthBudget = 0;
    SetInputDescriptor(0);
  }

  // The check a search node makes when its countdown has run out.
  static int NodeCheck() {
    NodeCountdown = 0;
    return CheckTime();
  }

  void SixtySeconds() { SetupTimeControl(30, 60000, 0); }
};

// 60 s without increment leave 60000 - 60000 / 16 - 1500 = 54750 ms to share out.
TEST_F(TimeControlTest, ClockAllocation) {
  const struct {
    const char* what;
    uint32_t flags;  // Ponder, GUI Time Lag
    int plies;       // game plies since the first search of the game (0: none)
    uint8_t timeMode;
    int movesToGo, timeMs, incMs;
    int target, min, max;
  } cases[] = {
      {"60 s", 0, 0, TimeModeClock, 30, 60000, 0, 1825, 1095, 27375},
      {"GUI Time Lag with increment", FlagGuiTimeLag, 0, TimeModeClock, 30, 60000, 1000, 2731, 1638, 40976},
      {"clock below the reserve", 0, 0, TimeModeClock, 30, 1000, 0, 2, 1, 30},
      {"no clock", 0, 0, TimeModeNoClock, 30, 60000, 0, 238000000, 2000000000, 1524000000},
  };
  for (const auto& c : cases) {
    SearchFlags = (SettingsFlags & ~(FlagPonder | FlagGuiTimeLag)) | c.flags;
    LearnBase = Game.index - c.plies;
    SearchLimits.TimeMode = c.timeMode;
    StopReason = StopNone;
    SearchClockStart = GetTickCount();
    SetupTimeControl(c.movesToGo, c.timeMs, c.incMs);
    EXPECT_EQ(std::tuple(TargetTime, MinTime, MaxTime, HardLimit), std::tuple(c.target, c.min, c.max, c.target))
        << c.what;
    // A target of a few milliseconds may already be used up on a slow machine.
    EXPECT_TRUE(c.target <= 100 || StopReason == StopNone) << c.what;
  }
}

// Bonus time at 60 s (target 1825 ms, maximum 27375) after a fail low, a mate or a falling score.
TEST_F(TimeControlTest, BonusTimeAndTheHardLimit) {
  const struct {
    const char* what;
    int movesToGo, bound;
    uint32_t result;
    int changes, unstable, lastDelta, bonusBefore, score;
    int bonus, hardLimit;
  } cases[] = {
      {"fail low", 30, BoundKindUpper, 0, 0, 0, 0, 0, -50, 14600, 16425},
      {"being mated", 30, BoundKindRunning, 0, 0, 0, 0, 0, -8000, 27375, 27375},
      {"known to be mated", 30, BoundKindRunning, ResultBeingMated | ResultMateSeen, 0, 0, 0, 0, -8000, 0, 1825},
      {"falling score: entry 6", 30, BoundKindExact, 0, 1, 0, 0, 0, -40, 26 * 114, 1825 + 26 * 114},
      {"steady score withdraws a bonus", 30, BoundKindExact, 0, 1, 0, 0, 500, 0, 0, 1825},
      {"no fail and no score yet", 30, BoundKindRunning, 0, 1, 0, 0, 77, -400, 77, 1902},
  };
  for (const auto& c : cases) {
    SetupTimeControl(c.movesToGo, 60000, 0);
    RootBound = c.bound;
    RootResultFlags = c.result;
    BestMoveChanges = c.changes;
    RootUnstable = c.unstable;
    LastScoreDelta = c.lastDelta;
    TimeBonus = c.bonusBefore;
    UpdateTimeBonus(c.score);
    SetTimeLimit();
    EXPECT_EQ(std::tuple(TimeBonus, HardLimit), std::tuple(c.bonus, c.hardLimit)) << c.what;
  }
  SearchLimits.MoveTimeMs = 10000;  // the move time limits as well
  SetTimeLimit();
  EXPECT_EQ(HardLimit, 1902);
  SetupTimeControl(30, 60000, 0);
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
  NodeCheck();
  EXPECT_EQ(StopReason, StopHardLimit);
  StopReason = StopByGui;
  NodeCheck();
  EXPECT_EQ(StopReason, StopByGui);
}

// The speed estimate pacing the time checks: at start only down to the calibrated speed; measured
// after an iteration or a ponderhit (pondering included), never below an eighth of the calibrated speed.
TEST_F(TimeControlTest, SpeedEstimateBetweenIterations) {
  enum When { AtStart, AfterIteration, AtPonderHit };
  const struct {
    const char* what;
    When when;
    uint32_t calibrated, budget, estimateBefore;
    int ponderMs, elapsedMs;
    uint64_t nodes;
    uint32_t low, high;
  } cases[] = {
      {"search start keeps the lower one", AtStart, 2000000, 0, 5000000, 0, 1000, 3000000, 2000000, 2000000},
      {"after an iteration, faster than calibrated", AfterIteration, 1000000, 0, 0, 0, 1000, 3000000, 2500000, 3000000},
      {"far slower: an eighth of the calibrated speed", AfterIteration, 8000000, 0, 5000000, 0, 1000, 100000, 1000000,
       1000000},
      {"ponderhit counts the pondering", AtPonderHit, 1000000, 0, 0, 3000, 0, 6000000, 1800000, 2000000},
  };
  for (const auto& c : cases) {
    CalibratedSpeed = c.calibrated;
    Options.strengthBudget = c.budget;
    SpeedEstimate = c.estimateBefore;
    StopReason = StopNone;
    ReportFlags = ReportStarted;  // the search has been running for a while
    SearchMode = c.when == AtPonderHit ? SearchModePonder : SearchModeNormal;
    IterationDepth = 1;
    NodeCount = c.nodes;
    PonderTimeMs = 0;
    SearchClockStart = GetTickCount() - uint32_t(c.ponderMs + c.elapsedMs);
    SixtySeconds();
    switch (c.when) {
      case AtStart:
        break;
      case AfterIteration:
        ASSERT_EQ(NextIteration(), IterationContinue) << c.what;
        break;
      case AtPonderHit:
        PonderTimeMs = GetTickCount() - SearchClockStart;  // as the shell does at ponderhit
        PonderHit();
        break;
    }
    EXPECT_EQ(StopReason, StopNone) << c.what;
    EXPECT_GE(SpeedEstimate, c.low) << c.what;
    EXPECT_LE(SpeedEstimate, c.high) << c.what;
  }
}

}  // namespace

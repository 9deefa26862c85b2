// Time management: clock allocation, easy moves, bonus time, the hard limit
// and the time check with its input polling and strength throttling.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <thread>

#include "board/board_helpers.h"
#include "book/book.h"
#include "search/search.h"
#include "search/search_state.h"
#include "search/timecontrol.h"
#include "shell/engine.h"
#include "core/settings.h"
#include "core/platform.h"

namespace {

constexpr int NoMoveTime = 2000000000;

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
    LearnBase = -100;   // far from the start of the game
    IterationDepth = 0;
    RootMoveCount = 0;
    RootBound = 3;
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

  // 60 s on the clock, no increment, no movestogo.
  void SixtySeconds() { SetupTimeControl(30, 60000, 0); }

  // A root list whose best move is `best`, scored `score`, after an iteration
  // of `iterationNodes` nodes of which the best move took `bestNodes`.
  void RootList(Move best, int score, uint32_t bestNodes, uint64_t iterationNodes) {
    RootMoveCount = 2;
    for (int i = 0; i < 2; i++) {
      RootMoves[i] = RootMove{RootLines[i], 0, 0, 0, 0, 0};
      RootLines[i][2] = 0;
    }
    RootLines[0][1] = best;
    RootMoves[0].score = int16_t(score);
    RootMoves[0].nodes = bestNodes;
    RootLines[1][1] = ParseMoveText("a2a3");
    RootMoves[1].score = int16_t(score - 200);
    LastIterationNodes = iterationNodes;
  }

  // Iteration 1 is done with a stable best move far ahead of the second.
  void EasyAfterFirstIteration() {
    IterationDepth = 1;
    StableIterations = 1;
    EasyMove = true;
    SecondScoreAtDepth1 = RootMoves[0].score - 200;
    PreviousSearchScore = RootMoves[0].score;
    PreviousIterationScore = RootMoves[0].score;
    Pos.Phase = 16;
  }
};

TEST_F(TimeControlTest, SixtySecondsWithoutIncrement) {
  SixtySeconds();
  // t = 60000 - 3750 - 1500 = 54750, total = 54750, m = 30.
  EXPECT_EQ(TargetTime, 1825);
  EXPECT_EQ(MinTime, 1095);
  EXPECT_EQ(MaxTime, 27375);
  EXPECT_EQ(TimeBonus, 0);
  EXPECT_EQ(HardLimit, 1825);
  EXPECT_EQ(StopReason, StopNone);
}

TEST_F(TimeControlTest, DefaultSettingsAtTheStartOfTheGame) {
  SearchFlags = SettingsFlags;   // Ponder is on by default
  ASSERT_TRUE(SearchFlags & FlagPonder);
  LearnBase = Game.index - 2;    // what the first search of the game sets
  SixtySeconds();
  // 1825 + 1825 * 4 / 16 = 2281; + 2281 / 4 = 2851.
  EXPECT_EQ(TargetTime, 2851);
  EXPECT_EQ(MinTime, 2851 * 6 / 10);
  EXPECT_EQ(MaxTime, 27375);
}

TEST_F(TimeControlTest, EarlyGameIncreaseFadesOverFivePlies) {
  const int expected[8] = {1825, 1825 + 1825 * 5 / 16, 1825 + 1825 * 4 / 16, 1825 + 1825 * 3 / 16,
                           1825 + 1825 * 2 / 16, 1825 + 1825 / 16, 1825, 1825};
  for (int n = 0; n < 8; n++) {
    LearnBase = Game.index - n;
    SixtySeconds();
    EXPECT_EQ(TargetTime, expected[n]) << "n = " << n;
  }
}

TEST_F(TimeControlTest, GuiTimeLagHoldsBackMoreWithoutIncrement) {
  SearchFlags |= FlagGuiTimeLag;
  SixtySeconds();
  // t = 54750 - 6500 = 48250.
  EXPECT_EQ(TargetTime, 48250 / 30);
  EXPECT_EQ(MaxTime, 48250 / 2);
  // With an increment nothing more is held back: i = 1000 - 62 = 938.
  SetupTimeControl(30, 60000, 1000);
  EXPECT_EQ(TargetTime, (29 * 938 + 54750) / 30);
  EXPECT_EQ(MaxTime, (29 * 938 + 54750) / 2);
}

TEST_F(TimeControlTest, MovesToGoAndShortClocks) {
  SetupTimeControl(10, 60000, 0);
  EXPECT_EQ(TargetTime, 54750 / 10);
  EXPECT_EQ(MaxTime, 54750 / 2);
  // More than 30 moves to go: the increments count, the division stops at 30.
  SetupTimeControl(40, 60000, 1600);
  EXPECT_EQ(TargetTime, (39 * 1500 + 54750) / 30);
  EXPECT_EQ(MaxTime, 54750);   // at most the time left
  // A clock shorter than the reserve leaves 60 ms.
  SetupTimeControl(30, 1000, 0);
  EXPECT_EQ(TargetTime, 2);
  EXPECT_EQ(MaxTime, 30);
  SetGameClock(0, 5000, 100);
  EXPECT_EQ(GameClock.movesToGo, 30);
  EXPECT_EQ(GameClock.timeLeftMs, 5000);
  EXPECT_EQ(GameClock.incrementMs, 100);
}

TEST_F(TimeControlTest, NoClockIsEffectivelyUnlimited) {
  SearchLimits.TimeMode = TimeModeNoClock;
  SixtySeconds();
  EXPECT_EQ(TargetTime, 238000000);
  EXPECT_EQ(MaxTime, 1524000000);
  EXPECT_EQ(MinTime, 2000000000);
  EXPECT_EQ(HardLimit, 238000000);
  SearchLimits.MoveTimeMs = 5000;
  SetTimeLimit();
  EXPECT_EQ(HardLimit, 5000);
  // Pondering and analysis have no limit; the calibration has its move time.
  SearchMode = SearchModePonder;
  SetTimeLimit();
  EXPECT_EQ(HardLimit, 2000000000);
  SearchMode = 7;
  SetTimeLimit();
  EXPECT_EQ(HardLimit, 5000);
}

TEST_F(TimeControlTest, FailLowRaisesTheHardLimit) {
  SixtySeconds();
  RootBound = 2;
  UpdateTimeBonus(-50);
  SetTimeLimit();
  EXPECT_EQ(TimeBonus, 8 * 1825);
  EXPECT_EQ(HardLimit, std::min({9 * 1825, MaxTime, SearchLimits.MoveTimeMs}));
  EXPECT_EQ(HardLimit, 9 * 1825);

  SearchLimits.MoveTimeMs = 10000;
  SetTimeLimit();
  EXPECT_EQ(HardLimit, 10000);

  // Two moves to go: nine targets exceed the maximum.
  SearchLimits.MoveTimeMs = NoMoveTime;
  SetupTimeControl(2, 60000, 0);
  RootBound = 2;
  UpdateTimeBonus(-50);
  SetTimeLimit();
  EXPECT_EQ(HardLimit, MaxTime);
}

TEST_F(TimeControlTest, BeingMatedUsesTheMaximum) {
  SixtySeconds();
  UpdateTimeBonus(-8000);
  EXPECT_EQ(TimeBonus, MaxTime);
  SetTimeLimit();
  EXPECT_EQ(HardLimit, MaxTime);
  // Once the root knows it is being mated, the bonus follows the usual rules.
  SixtySeconds();
  RootResultFlags = 3;
  UpdateTimeBonus(-8000);
  EXPECT_EQ(TimeBonus, 0);
}

TEST_F(TimeControlTest, FallingScoreEarnsBonusFromTheTable) {
  SixtySeconds();
  RootBound = 4;
  PreviousIterationScore = 0;
  LastScoreDelta = 0;
  BestMoveChanges = 1;
  UpdateTimeBonus(-40);   // k = (8 + 40) / 8 = 6
  EXPECT_EQ(TimeBonus, BonusTable[6] * (1825 / 16));
  RootUnstable = 1;       // 32 more: k = (8 + 72) / 8 = 10
  UpdateTimeBonus(-40);
  EXPECT_EQ(TimeBonus, BonusTable[10] * (1825 / 16));
  LastScoreDelta = -10000;   // far beyond the table: its last entry
  UpdateTimeBonus(-40);
  EXPECT_EQ(TimeBonus, BonusTable[63] * (1825 / 16));
  EXPECT_EQ(BonusTable[0], 2);
  EXPECT_EQ(BonusTable[63], 128);

  // A steady score withdraws a positive bonus...
  LastScoreDelta = 0;
  UpdateTimeBonus(0);
  EXPECT_EQ(TimeBonus, 0);
  // ...and keeps an easy-move saving while the best move has not changed.
  BestMoveChanges = 0;
  TimeBonus = -500;
  UpdateTimeBonus(0);
  EXPECT_EQ(TimeBonus, -500);
  BestMoveChanges = 1;
  UpdateTimeBonus(0);
  EXPECT_EQ(TimeBonus, 0);
  // No change while the iteration has not failed and no move has scored.
  RootBound = 3;
  TimeBonus = 77;
  UpdateTimeBonus(-400);
  EXPECT_EQ(TimeBonus, 77);
}

TEST_F(TimeControlTest, EasyMoveStopsAtAboutHalfTheTarget) {
  SixtySeconds();
  RootList(ParseMoveText("e2e4"), 300, 10, 1000);
  EasyAfterFirstIteration();
  ASSERT_EQ(NextIteration(), IterationContinue);
  EXPECT_EQ(IterationDepth, 2);
  EXPECT_EQ(TimeBonus, -912);
  EXPECT_EQ(HardLimit, 1825 - 912);

  // Past that point the next iteration is not started.
  SearchClockStart = GetTickCount() - 1000;
  ASSERT_EQ(NextIteration(), IterationStop);
  EXPECT_EQ(StopReason, StopNoTimeForIteration);
  EXPECT_EQ(IterationDepth, 2);
}

TEST_F(TimeControlTest, EasyMoveSavesMoreWhenTheBestMoveTookMostNodes) {
  SixtySeconds();
  RootList(ParseMoveText("e2e4"), 300, 900, 999);   // share 90 >= phase 16 + 68
  EasyAfterFirstIteration();
  ASSERT_EQ(NextIteration(), IterationContinue);
  EXPECT_EQ(TimeBonus, -912 - 456);
  // A score well above the last search's halves the saving.
  SixtySeconds();
  IterationDepth = 1;
  StableIterations = 1;
  PreviousSearchScore = 200;
  ASSERT_EQ(NextIteration(), IterationContinue);
  EXPECT_EQ(TimeBonus, (-912 - 456) / 2);
}

TEST_F(TimeControlTest, EvenRecaptureStopsAtAboutAQuarter) {
  ASSERT_TRUE(Play("e2e4"));
  ASSERT_TRUE(Play("d7d5"));
  ASSERT_TRUE(Play("e4d5"));
  SixtySeconds();
  Move recapture = ParseMoveText("d8d5");
  ASSERT_NE(recapture, 0);
  RootList(recapture, 300, 10, 1000);
  EasyAfterFirstIteration();
  ASSERT_EQ(NextIteration(), IterationContinue);
  EXPECT_EQ(TimeBonus, -912 - 456);
  EXPECT_EQ(HardLimit, 1825 - 912 - 456);
}

TEST_F(TimeControlTest, NoEasyMoveWithoutItsConditions) {
  SixtySeconds();
  RootList(ParseMoveText("e2e4"), 300, 10, 1000);
  EasyAfterFirstIteration();
  StableIterations = 0;   // the best move changed
  ASSERT_EQ(NextIteration(), IterationContinue);
  EXPECT_EQ(TimeBonus, 0);
  EasyAfterFirstIteration();
  RootUnstable = 1;
  ASSERT_EQ(NextIteration(), IterationContinue);
  EXPECT_EQ(TimeBonus, 0);
  EasyAfterFirstIteration();
  SecondScoreAtDepth1 = 300 - 96;   // not more than 96 ahead
  ASSERT_EQ(NextIteration(), IterationContinue);
  EXPECT_EQ(TimeBonus, 0);
}

TEST_F(TimeControlTest, IterationLimits) {
  SearchLimits.TimeMode = TimeModeNoClock;
  SearchLimits.DepthLimit = 3;
  SixtySeconds();
  RootList(ParseMoveText("e2e4"), 0, 10, 1000);
  for (int depth = 1; depth <= 3; depth++) {
    ASSERT_EQ(NextIteration(), IterationContinue);
    EXPECT_EQ(IterationDepth, depth);
  }
  EXPECT_EQ(NextIteration(), IterationStop);
  EXPECT_EQ(IterationDepth, 3);
  // A ponder search goes on past the depth of "go", up to the depth cap.
  SearchMode = SearchModePonder;
  EXPECT_EQ(NextIteration(), IterationContinue);
  IterationDepth = 62;
  EXPECT_EQ(NextIteration(), IterationStop);
  EXPECT_EQ(IterationDepth, 62);
}

TEST_F(TimeControlTest, NextIterationThatWouldNotFinishIsNotStarted) {
  SixtySeconds();
  RootList(ParseMoveText("e2e4"), 0, 500, 999);   // share 50
  IterationDepth = 1;
  AverageBestMoveShare = 50;
  // 1200 ms used: 1200 + 2 x 1200 x 50 / 100 = 2400 > 1825.
  SearchClockStart = GetTickCount() - 1200;
  EXPECT_EQ(NextIteration(), IterationStop);
  EXPECT_EQ(StopReason, StopNoTimeForIteration);
  EXPECT_EQ(IterationDepth, 1);
  // Below MinTime it always starts.
  StopReason = StopNone;
  SearchClockStart = GetTickCount() - 1000;
  EXPECT_EQ(NextIteration(), IterationContinue);
}

TEST_F(TimeControlTest, SteadySearchKeepsTheReductionThreshold) {
  SearchFlags |= FlagSteadySearch;
  const uint32_t speeds[] = {0, 100, 50000, 1000000, 20000000};
  const int clocks[] = {100, 5000, 60000, 3600000};
  for (uint32_t speed : speeds) {
    CalibratedSpeed = speed;
    for (int clock : clocks) {
      for (int timeMode : {3, 4}) {
        SearchLimits.TimeMode = uint8_t(timeMode);
        SetupTimeControl(30, clock, 0);
        EXPECT_EQ(ReductionThreshold, Options.forwardPruning) << speed << " " << clock;
      }
    }
  }
  EXPECT_EQ(Options.forwardPruning, 10 * 16);
}

TEST_F(TimeControlTest, ReductionThresholdFollowsTheExpectedEffort) {
  CalibratedSpeed = 0;   // not calibrated: fewer reductions
  SixtySeconds();
  EXPECT_EQ(ReductionThreshold, Options.forwardPruning - 16);
  CalibratedSpeed = 1000000;   // 3906 x 7 is little effort
  SixtySeconds();
  EXPECT_EQ(ReductionThreshold, Options.forwardPruning - 16);
  SearchLimits.TimeMode = TimeModeNoClock;   // 3906 x 14400 is much
  SixtySeconds();
  EXPECT_EQ(ReductionThreshold, Options.forwardPruning + 16);
  // One move to go with 3,000,000 ms: the target is 2,811,000 ms, 10980 units of 256.
  SearchLimits.TimeMode = TimeModeClock;
  CalibratedSpeed = 256 * 10;   // 109800: little
  SetupTimeControl(1, 3000000, 0);
  EXPECT_EQ(ReductionThreshold, Options.forwardPruning - 16);
  CalibratedSpeed = 256 * 20;   // 219600: in between, unchanged
  SetupTimeControl(1, 3000000, 0);
  EXPECT_EQ(ReductionThreshold, Options.forwardPruning);
  CalibratedSpeed = 256 * 30;   // 329400: much
  SetupTimeControl(1, 3000000, 0);
  EXPECT_EQ(ReductionThreshold, Options.forwardPruning + 16);
  // Outside 16..240 the threshold is left as set.
  Options.forwardPruning = 0;
  SetupTimeControl(1, 3000000, 0);
  EXPECT_EQ(ReductionThreshold, 0);
  ResetSettings();
}

TEST_F(TimeControlTest, CheckTimeStopsAtTheHardLimit) {
  SearchLimits.TimeMode = TimeModeNoClock;
  SearchLimits.MoveTimeMs = 100;
  SixtySeconds();
  EXPECT_EQ(HardLimit, 100);
  EXPECT_EQ(StopReason, StopNone);
  SearchClockStart = GetTickCount() - 100;
  NodeCheck();
  EXPECT_EQ(StopReason, StopHardLimit);
  // A pending stop keeps its reason.
  StopReason = StopByGui;
  NodeCheck();
  EXPECT_EQ(StopReason, StopByGui);
}

TEST_F(TimeControlTest, CheckTimeMeasuresTheSpeed) {
  SearchLimits.TimeMode = TimeModeNoClock;
  SixtySeconds();
  // Without a calibration there is no floor; nothing divides by it.
  NodeCount = 0;
  NodeCheck();
  EXPECT_EQ(SpeedEstimate, 0u);
  EXPECT_EQ(NodeCountdown, 0);
  // The calibrated speed / 8 is the floor.
  CalibratedSpeed = 800000;
  NodeCheck();
  EXPECT_EQ(SpeedEstimate, 100000u);
  EXPECT_EQ(NodeCountdown, 100000 / 8);
  // Measured: nodes x 1000 / (pondering + elapsed + 1).
  SearchClockStart = GetTickCount() - 999;
  PonderTimeMs = 1000;
  NodeCount = 4000000;
  NodeCheck();
  EXPECT_NEAR(double(SpeedEstimate), 2000000.0, 5000.0);
  // A bookkeeping check only lowers it to the calibrated speed.
  ReportFlags = ReportStarted;
  SetTimeLimit();
  EXPECT_EQ(SpeedEstimate, 800000u);
}

TEST_F(TimeControlTest, CheckTimeChecksMoreOftenNearTheLimit) {
  SearchLimits.MoveTimeMs = 1500;
  SearchLimits.TimeMode = TimeModeNoClock;
  CalibratedSpeed = 3200000;
  SixtySeconds();
  NodeCheck();
  EXPECT_EQ(NodeCountdown, 400000 / 32);
  // Close enough that 1/64 of the time used reaches the limit: stop.
  SearchClockStart = GetTickCount() - 1480;
  NodeCheck();
  EXPECT_EQ(StopReason, StopHardLimit);
  // A short ponder search checks four times as often.
  StopReason = StopNone;
  SearchLimits.TimeMode = TimeModeClock;
  SearchLimits.MoveTimeMs = NoMoveTime;
  SearchMode = SearchModePonder;
  SearchClockStart = GetTickCount();
  SixtySeconds();
  NodeCheck();
  EXPECT_EQ(NodeCountdown, 400000 / 32);
  SetupTimeControl(30, 600000, 0);   // a target of 18700 ms
  NodeCheck();
  EXPECT_EQ(NodeCountdown, 400000 / 8);
  SearchMode = SearchModeNormal;
  NodeCheck();
  EXPECT_EQ(NodeCountdown, 400000 / 8);
}

TEST_F(TimeControlTest, StatusCounterCountsChecks) {
  SearchLimits.TimeMode = TimeModeNoClock;
  CalibratedSpeed = 800000;
  SixtySeconds();
  int before = StatusCounter;
  NodeCheck();
  NodeCheck();
  EXPECT_EQ(StatusCounter, before + 2);
}

TEST_F(TimeControlTest, StrengthBudgetSleepsUntilTheNodesAreDue) {
  SearchLimits.TimeMode = TimeModeNoClock;
  CalibratedSpeed = 800000;
  SixtySeconds();
  Options.strengthBudget = 1000;
  NodeCount = 100;   // due at 100 ms
  uint32_t start = GetTickCount();
  NodeCheck();
  uint32_t waited = GetTickCount() - start;
  EXPECT_GE(waited, 90u);
  EXPECT_LT(waited, 1000u);
  EXPECT_EQ(NodeCountdown, 1000 / 8);
  // Behind the budget: no wait and the countdown is not renewed.
  NodeCountdown = 0;
  NodeCount = 1;
  NodeCheck();
  EXPECT_EQ(NodeCountdown, 0);
  // The wait ends at the hard limit.
  SearchLimits.MoveTimeMs = 150;
  SearchClockStart = GetTickCount();
  SetTimeLimit();
  NodeCount = 10000;   // due at 10 s
  NodeCheck();
  EXPECT_EQ(StopReason, StopHardLimit);
  EXPECT_LT(GetTickCount() - SearchClockStart, 1000u);
}

class TimeCheckInputTest : public TimeControlTest {
 protected:
  void SetUp() override {
    TimeControlTest::SetUp();
    ASSERT_EQ(pipe(input_), 0);
    SetInputDescriptor(input_[0]);
    UciStarted = 2;
    ReadInputHook = [] {
      ReadAndDispatch();
      return int(QuitFlag);
    };
  }
  void TearDown() override {
    TimeControlTest::TearDown();
    ReadInputHook = nullptr;
    close(input_[0]);
    if (input_[1] >= 0) close(input_[1]);
    PendingLine = false;
  }
  void Send(const char* text) { ASSERT_EQ(write(input_[1], text, std::strlen(text)), ssize_t(std::strlen(text))); }
  int input_[2] = {-1, -1};
};

TEST_F(TimeCheckInputTest, StopArrivesThroughTheTimeCheck) {
  SearchLimits.TimeMode = TimeModeNoClock;
  CalibratedSpeed = 800000;
  SixtySeconds();
  InputMode = 2;
  Send("stop\n");
  NodeCheck();
  EXPECT_EQ(StopReason, StopByGui);
}

TEST_F(TimeCheckInputTest, NoPollingWithoutAnInputMode) {
  SearchLimits.TimeMode = TimeModeNoClock;
  SixtySeconds();
  Send("stop\n");
  NodeCheck();
  EXPECT_EQ(StopReason, StopNone);
}

TEST_F(TimeCheckInputTest, BeforeTheFirstReportOnlyAnUsedUpCountdownPolls) {
  SearchLimits.TimeMode = TimeModeNoClock;
  CalibratedSpeed = 800000;
  SixtySeconds();
  NodeCountdown = 1000;
  InputMode = 2;
  Send("stop\n");
  SetTimeLimit();   // countdown still running, no report yet
  EXPECT_EQ(StopReason, StopNone);
  ReportFlags = ReportStarted;
  SetTimeLimit();   // after the first report every check polls
  EXPECT_EQ(StopReason, StopByGui);
}

TEST_F(TimeCheckInputTest, StrengthWaitPollsAndEndsAtAStop) {
  SearchLimits.TimeMode = TimeModeNoClock;
  SixtySeconds();
  InputMode = 2;
  Options.strengthBudget = 100;
  NodeCount = 100;   // due at 1 s, waited for in slices of an eighth of what remains
  std::thread writer([this] {
    SleepMs(200);
    Send("stop\n");
  });
  uint32_t start = GetTickCount();
  NodeCheck();
  writer.join();
  EXPECT_EQ(StopReason, StopByGui);
  uint32_t waited = GetTickCount() - start;
  EXPECT_GE(waited, 150u);
  EXPECT_LT(waited, 900u);
}

}  // namespace

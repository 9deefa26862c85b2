// Time management: clock allocation, easy moves, bonus time, the hard limit
// and the time check with its input polling and strength throttling.
#include "search/timecontrol.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <sstream>
#include <thread>

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
      {"first search with Ponder", FlagPonder, 2, TimeModeClock, 30, 60000, 0, 2851, 1710, 27375},
      {"one ply into the game", 0, 1, TimeModeClock, 30, 60000, 0, 2395, 1437, 27375},
      {"six plies into the game", 0, 6, TimeModeClock, 30, 60000, 0, 1825, 1095, 27375},
      {"GUI Time Lag", FlagGuiTimeLag, 0, TimeModeClock, 30, 60000, 0, 1608, 964, 24125},
      {"GUI Time Lag with increment", FlagGuiTimeLag, 0, TimeModeClock, 30, 60000, 1000, 2731, 1638, 40976},
      {"10 moves to go", 0, 0, TimeModeClock, 10, 60000, 0, 5475, 3285, 27375},
      {"40 moves to go with increment", 0, 0, TimeModeClock, 40, 60000, 1600, 3775, 2265, 54750},
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
    EXPECT_EQ(TargetTime, c.target) << c.what;
    EXPECT_EQ(MinTime, c.min) << c.what;
    EXPECT_EQ(MaxTime, c.max) << c.what;
    EXPECT_EQ(HardLimit, c.target) << c.what;
    // A target of a few milliseconds may already be used up on a slow machine.
    if (c.target > 100) {
      EXPECT_EQ(StopReason, StopNone) << c.what;
    }
  }
  StopReason = StopNone;
  SetGameClock(0, 5000, 100);  // no movestogo: 30
  EXPECT_EQ(GameClock.movesToGo, 30);
}

// Bonus time at 60 s (target 1825 ms, maximum 27375): nine targets after a fail low, the maximum
// while being mated, after a falling score sixteenths of the target from the table by
// (changes x 8 - drop) / 8, withdrawn when the score holds.
TEST_F(TimeControlTest, BonusTimeAndTheHardLimit) {
  const struct {
    const char* what;
    int movesToGo, bound;
    uint32_t result;
    int changes, unstable, lastDelta, bonusBefore, score;
    int bonus, hardLimit;
  } cases[] = {
      {"fail low", 30, BoundKindUpper, 0, 0, 0, 0, 0, -50, 14600, 16425},
      {"fail low, 2 moves to go", 2, BoundKindUpper, 0, 0, 0, 0, 0, -50, 219000, 27375},
      {"being mated", 30, BoundKindRunning, 0, 0, 0, 0, 0, -8000, 27375, 27375},
      {"known to be mated", 30, BoundKindRunning, ResultBeingMated | ResultMateSeen, 0, 0, 0, 0, -8000, 0, 1825},
      {"falling score: entry 6", 30, BoundKindExact, 0, 1, 0, 0, 0, -40, 26 * 114, 1825 + 26 * 114},
      {"unstable: 32 more, entry 10", 30, BoundKindExact, 0, 1, 1, 0, 0, -40, 47 * 114, 1825 + 47 * 114},
      {"beyond the table: its last entry", 30, BoundKindExact, 0, 1, 1, -10000, 0, -40, 128 * 114, 16417},
      {"steady score withdraws a bonus", 30, BoundKindExact, 0, 1, 0, 0, 500, 0, 0, 1825},
      {"and keeps an easy-move saving", 30, BoundKindExact, 0, 0, 0, 0, -500, 0, -500, 1325},
      {"until the best move changes", 30, BoundKindExact, 0, 1, 0, 0, -500, 0, 0, 1825},
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
    EXPECT_EQ(TimeBonus, c.bonus) << c.what;
    EXPECT_EQ(HardLimit, c.hardLimit) << c.what;
  }
  SearchLimits.MoveTimeMs = 10000;  // the move time limits as well
  SetTimeLimit();
  EXPECT_EQ(HardLimit, 1902);
  SetupTimeControl(30, 60000, 0);
  RootBound = BoundKindUpper;
  UpdateTimeBonus(-50);
  SetTimeLimit();
  EXPECT_EQ(HardLimit, 10000);

  // Without a clock only the move time limits; pondering has no limit, the calibration its move time.
  SearchLimits.TimeMode = TimeModeNoClock;
  SearchLimits.MoveTimeMs = 5000;
  SixtySeconds();
  EXPECT_EQ(HardLimit, 5000);
  SearchMode = SearchModePonder;
  SetTimeLimit();
  EXPECT_EQ(HardLimit, 2000000000);
  SearchMode = SearchModeCalibration;
  SetTimeLimit();
  EXPECT_EQ(HardLimit, 5000);
}

// An easy move (stable, far ahead of the second at depth 1) gives back half the target of 1825 ms,
// a quarter more when it took most of the nodes or is an even recapture; a score well above the
// last search's halves the saving.
TEST_F(TimeControlTest, EasyMovesAndEvenRecaptures) {
  const struct {
    const char* what;
    const char* game;  // moves played before the search
    const char* best;
    uint32_t bestNodes;  // of 999
    int stable, unstable, lead, previousScore;
    int bonus;
  } cases[] = {
      {"easy move", "", "e2e4", 10, 1, 0, 200, 300, -912},
      {"most of the nodes", "", "e2e4", 900, 1, 0, 200, 300, -1368},
      {"and a rising score", "", "e2e4", 900, 1, 0, 200, 200, -684},
      {"even recapture", "e2e4 d7d5 e4d5", "d8d5", 10, 1, 0, 200, 300, -1368},
      {"best move changed", "", "e2e4", 10, 0, 0, 200, 300, 0},
      {"unstable root", "", "e2e4", 10, 1, 1, 200, 300, 0},
      {"not more than 96 ahead", "", "e2e4", 10, 1, 0, 96, 300, 0},
  };
  for (const auto& c : cases) {
    BoardReady();
    std::istringstream game(c.game);
    for (std::string m; game >> m;) ASSERT_TRUE(Play(m)) << c.what;
    SearchClockStart = GetTickCount();
    SixtySeconds();
    RootList(ParseMoveText(c.best), 300, c.bestNodes, 999);
    IterationDepth = 1;  // iteration 1 is done
    EasyMove = true;
    StableIterations = c.stable;
    RootUnstable = c.unstable;
    SecondScoreAtDepth1 = 300 - c.lead;
    PreviousSearchScore = c.previousScore;
    PreviousIterationScore = 300;
    Pos.Phase = 16;
    ASSERT_EQ(NextIteration(), IterationContinue) << c.what;
    EXPECT_EQ(IterationDepth, 2) << c.what;
    EXPECT_EQ(TimeBonus, c.bonus) << c.what;
    EXPECT_EQ(HardLimit, 1825 + c.bonus) << c.what;
    if (c.bonus > -912) continue;
    // Past the shortened target the next iteration is not started.
    SearchClockStart = GetTickCount() - 1000;
    EXPECT_EQ(NextIteration(), IterationStop) << c.what;
    EXPECT_EQ(StopReason, StopNoTimeForIteration) << c.what;
    EXPECT_EQ(IterationDepth, 2) << c.what;
    StopReason = StopNone;
  }
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
  RootList(ParseMoveText("e2e4"), 0, 500, 999);  // share 50
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

// The time check stops at the hard limit (a pending stop keeps its reason). Its countdown is a
// thirty-second of the calibrated speed near the limit; close enough to the limit it stops at once.
TEST_F(TimeControlTest, CheckTimeStopsAtTheLimitAndChecksMoreOftenNearIt) {
  SearchLimits.TimeMode = TimeModeNoClock;
  SearchLimits.MoveTimeMs = 100;
  SixtySeconds();
  SearchClockStart = GetTickCount() - 100;
  NodeCheck();
  EXPECT_EQ(StopReason, StopHardLimit);
  StopReason = StopByGui;
  NodeCheck();
  EXPECT_EQ(StopReason, StopByGui);

  StopReason = StopNone;
  SearchLimits.MoveTimeMs = 1500;
  CalibratedSpeed = 3200000;
  SearchClockStart = GetTickCount();
  SixtySeconds();
  NodeCheck();
  EXPECT_EQ(NodeCountdown, 400000 / 32);
  SearchClockStart = GetTickCount() - 1480;  // 1/64 of the time used reaches the limit
  NodeCheck();
  EXPECT_EQ(StopReason, StopHardLimit);
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
    SearchLimits.TimeMode = TimeModeNoClock;
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

// A stop arrives through the time check only with an input mode; before the first report only a
// used-up countdown polls, after it every check does.
TEST_F(TimeCheckInputTest, StopArrivesThroughTheTimeCheck) {
  CalibratedSpeed = 800000;
  SixtySeconds();
  Send("stop\n");
  NodeCheck();
  EXPECT_EQ(StopReason, StopNone);
  InputMode = 2;
  NodeCountdown = 1000;
  SetTimeLimit();
  EXPECT_EQ(StopReason, StopNone);
  ReportFlags = ReportStarted;
  SetTimeLimit();
  EXPECT_EQ(StopReason, StopByGui);
}

TEST_F(TimeCheckInputTest, StrengthWaitPollsAndEndsAtAStop) {
  SixtySeconds();
  InputMode = 2;
  Options.strengthBudget = 100;
  NodeCount = 100;  // due at 1 s, waited for in slices of an eighth of what remains
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

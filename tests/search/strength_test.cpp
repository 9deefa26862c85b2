// Strength: the Elo model, the start-up calibration, and the time check
// without a strength budget.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "../board/board_helpers.h"
#include "eval/eval.h"
#include "search/search.h"
#include "search/search_state.h"
#include "search/strength.h"
#include "search/timecontrol.h"
#include "search/tt.h"
#include "shell/engine.h"
#include "core/settings.h"
#include "core/platform.h"

// ---------------------------------------------------------------- Elo model

TEST(EloModel, SixteenAndTenTwentyFourNodesPerSecond) {
  EXPECT_EQ(EloForRate(16), 1250);
  EXPECT_EQ(EloForRate(1024), 2270);
  EXPECT_EQ(RateForElo(2270), 1024u);
}

TEST(EloModel, PowersOfTwoGiveTheTableAndBetweenThemItInterpolates) {
  for (int c = 1; c < EloTableSize; c++) EXPECT_EQ(EloForRate(uint32_t(1) << c), EloTable[c]) << c;
  EXPECT_EQ(EloForRate(24), 1250 + (1555 - 1250) * 8 / 16);
  EXPECT_EQ(EloForRate(17), 1250 + (1555 - 1250) * 1 / 16);
  EXPECT_EQ(EloForRate(1), 850);
  EXPECT_EQ(EloForRate(0), 850);
}

TEST(EloModel, SpeedsBeyondTheTableHoldAtItsLastValue) {
  EXPECT_EQ(EloForRate(1u << 21), 2985);
  EXPECT_EQ(EloForRate((1u << 21) + 1), 2985);
  EXPECT_EQ(EloForRate(3000000), 2985);
  EXPECT_EQ(EloForRate(1u << 22), 2985);
  EXPECT_EQ(EloForRate(UINT32_MAX), 2985);
}

TEST(EloModel, RateForEloInvertsTheTable) {
  for (int k = 1; k < EloTableSize; k++) EXPECT_EQ(RateForElo(EloTable[k]), uint32_t(1) << k) << k;
  EXPECT_EQ(RateForElo(1402), 16u + (1402u - 1250u) * 16u / 305u);
  for (uint32_t n : {16u, 100u, 1000u, 5000u, 70000u, 1500000u}) {
    uint32_t back = RateForElo(EloForRate(n));
    EXPECT_LE(back, n) << n;            // the Elo is rounded down, so is the speed
    EXPECT_GE(back * 100, n * 97) << n;
  }
}

// ---------------------------------------------------------------- time check without a budget

TEST(StrengthLimit, WithoutABudgetTheTimeCheckNeverWaits) {
  BoardReady();
  SearchFlags = SettingsFlags;
  SearchMode = SearchModeNormal;
  StopReason = StopNone;
  InputMode = 0;
  ReportFlags = 0;
  SearchLimits.TimeMode = TimeModeNoClock;
  SearchLimits.MoveTimeMs = 2000000000;
  SearchLimits.DepthLimit = SearchMaxDepth;
  Options.strengthBudget = 0;
  PonderTimeMs = 0;
  SearchClockStart = GetTickCount();
  SetupTimeControl(30, 0, 0);
  // Far ahead of any budget: with one this would wait for hours.
  NodeCount = 4000000000ull;
  uint32_t start = GetTickCount();
  for (int i = 0; i < 100; i++) {
    NodeCountdown = 0;
    CheckTime();
  }
  EXPECT_LT(GetTickCount() - start, 200u);
  EXPECT_EQ(StopReason, StopNone);
  NodeCount = 0;
  SpeedEstimate = 0;
  SearchMode = SearchModeIdle;
}

// ---------------------------------------------------------------- calibration

TEST(Calibration, MeasuresTheSpeedSetsTheEloRangeAndRestoresEverything) {
  BoardReady();
  InitEvaluation();
  ASSERT_NE(ResizeTable(4096), 0);
  NewGame();
  InputMode = 0;
  const OptionTable before = Options;
  Options.threatDepth = -3;
  Options.forwardPruning = 48;
  Options.drawValue = -64;
  SearchLimits.TimeMode = TimeModeClock;
  SearchLimits.MoveTimeMs = 12345;
  SearchLimits.DepthLimit = 7;
  CalibratedSpeed = 0;

  testing::internal::CaptureStdout();
  uint32_t start = GetTickCount();
  CalibrateSpeed();
  uint32_t took = GetTickCount() - start;
  std::string printed = testing::internal::GetCapturedStdout();

  EXPECT_EQ(printed, "");
  EXPECT_GE(took, uint32_t(CalibrationTimeMs) - 50);
  EXPECT_LT(took, uint32_t(CalibrationTimeMs) + 1000);
  EXPECT_GT(CalibratedSpeed, 1000u);
  EXPECT_EQ(Options.eloMin, 1250);
  EXPECT_EQ(Options.eloValue, 2270);
  EXPECT_EQ(Options.eloMax, EloForRate(CalibratedSpeed));
  // The settings and limits in force before it.
  EXPECT_EQ(Options.threatDepth, -3);
  EXPECT_EQ(Options.forwardPruning, 48);
  EXPECT_EQ(Options.drawValue, -64);
  EXPECT_EQ(SettingsFlags, before.settingsFlags);
  EXPECT_EQ(SearchLimits.TimeMode, 4);
  EXPECT_EQ(SearchLimits.MoveTimeMs, 12345);
  EXPECT_EQ(SearchLimits.DepthLimit, 7);

  Options = before;
  SearchLimits.TimeMode = TimeModeNoClock;
  SearchLimits.MoveTimeMs = 2000000000;
  SearchLimits.DepthLimit = SearchMaxDepth;
  CalibratedSpeed = 0;
  SearchMode = SearchModeIdle;
  StopReason = StopNone;
  NodeCount = 0;
  ResizeTable(0);
  NewGame();
}

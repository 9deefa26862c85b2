// Strength: the Elo model and the start-up calibration.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "../board/board_helpers.h"
#include "eval/eval.h"
#include "search/search.h"
#include "search/search_state.h"
#include "search/strength.h"
#include "search/tt.h"
#include "shell/engine.h"
#include "core/settings.h"
#include "core/platform.h"

// ---------------------------------------------------------------- Elo model

// Elo by speed: the table at the powers of two, linear between them, its last value beyond it.
TEST(EloModel, EloOfASpeedAndTheSpeedOfAnElo) {
  const std::pair<uint32_t, int> elos[] = {{0, 850},           {1, 850},      {16, 1250},      {17, 1269},
                                           {24, 1402},         {32, 1555},    {1024, 2270},    {1u << 21, 2985},
                                           {(1u << 21) + 1, 2985}, {3000000, 2985}, {UINT32_MAX, 2985}};
  for (const auto& [rate, elo] : elos) EXPECT_EQ(EloForRate(rate), elo) << rate;
  const std::pair<int, uint32_t> rates[] = {{850, 1}, {1250, 16}, {1402, 23}, {1555, 32}, {2270, 1024}, {2985, 1u << 21}};
  for (const auto& [elo, rate] : rates) EXPECT_EQ(RateForElo(elo), rate) << elo;
  for (uint32_t n : {16u, 100u, 1000u, 5000u, 70000u, 1500000u}) {
    uint32_t back = RateForElo(EloForRate(n));
    EXPECT_LE(back, n) << n;  // the Elo is rounded down, so is the speed
    EXPECT_GE(back * 100, n * 97) << n;
  }
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
  EXPECT_EQ(SearchLimits.TimeMode, TimeModeClock);
  EXPECT_EQ(SearchLimits.MoveTimeMs, 12345);
  EXPECT_EQ(SearchLimits.DepthLimit, 7);

  Options = before;
  SearchLimits.TimeMode = TimeModeNoClock;
  SearchLimits.MoveTimeMs = NoMoveTime;
  SearchLimits.DepthLimit = SearchMaxDepth;
  CalibratedSpeed = 0;
  SearchMode = SearchModeIdle;
  StopReason = StopNone;
  NodeCount = 0;
  ResizeTable(0);
  NewGame();
}

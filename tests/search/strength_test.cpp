// Strength: the Elo model (the start-up calibration is seen in the UCI_Elo range over a pipe).
#include <gtest/gtest.h>

#include <cstdint>

#include "search/strength.h"

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

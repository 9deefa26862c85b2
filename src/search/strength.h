// Playing strength: the start-up speed calibration and the Elo model behind
// UCI_Elo and UCI_LimitStrength.
#pragma once

#include <cstdint>

// Elo by speed: index c = log2 of a speed in nodes per second.
constexpr int EloTableSize = 22;
extern const int16_t EloTable[EloTableSize];

// The calibration search's length in milliseconds.
constexpr int CalibrationTimeMs = 2000;

// Elo of a speed (nodes per second), interpolated linearly between the powers
// of two of EloTable; speeds beyond the table hold at its last value.
int EloForRate(uint32_t nodesPerSecond);

// The inverse: the speed (nodes per second) that plays at `elo`.
uint32_t RateForElo(int elo);

// The silent 2-second search from the current position with White to move and
// fixed settings; sets CalibratedSpeed and the UCI_Elo range, restores the
// settings and limits in force before it and soft-clears the table.
void CalibrateSpeed();

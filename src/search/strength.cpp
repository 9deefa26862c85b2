// Playing strength: the speed calibration at start-up and the Elo model.
#include "search/strength.h"

#include "search/search.h"
#include "search/search_state.h"
#include "search/tt.h"
#include "core/settings.h"
#include "core/platform.h"

// index c = log2 of the speed in nodes per second; value in Elo
const int16_t EloTable[EloTableSize] = {850,  950,  1050, 1150, 1250, 1555, 1760, 1925, 2060, 2170, 2270,
                                        2360, 2445, 2525, 2605, 2675, 2735, 2795, 2850, 2900, 2945, 2985};

namespace {

// The fixed settings of the calibration search (option values as stored).
constexpr int CalibrationThreatDepth = -5;       // Threat Depth 5
constexpr int CalibrationForwardPruning = 160;   // Forward Pruning 10
constexpr int CalibrationTablebaseDepth = 2;
constexpr uint8_t CalibrationTimeMode = TimeModeNoClock;       // no clock: the move time is the limit

// The speeds behind UCI_Elo's minimum and default.
constexpr uint32_t EloMinRate = 16;
constexpr uint32_t EloDefaultRate = 1024;

}  // namespace

int EloForRate(uint32_t n) {
  // c = the smallest c >= 0 with 2^c >= n.
  int c = 0;
  while (c < 32 && (uint64_t(1) << c) < n) c++;
  if (c == 0) return EloTable[0];
  if (c >= EloTableSize) return EloTable[EloTableSize - 1];   // faster than the table reaches
  uint32_t low = uint32_t(1) << (c - 1);
  uint32_t step = uint32_t(EloTable[c] - EloTable[c - 1]);
  return EloTable[c - 1] + int(step * (n - low) / low);
}

uint32_t RateForElo(int elo) {
  if (elo <= EloTable[0]) return 1;
  // k = the smallest k >= 1 with EloTable[k] >= elo.
  int k = 1;
  while (k < EloTableSize && EloTable[k] < elo) k++;
  if (k == EloTableSize) return uint32_t(1) << (EloTableSize - 1);
  uint64_t low = uint64_t(1) << (k - 1);
  return uint32_t(low + uint64_t(elo - EloTable[k - 1]) * low / uint64_t(EloTable[k] - EloTable[k - 1]));
}

void CalibrateSpeed() {
  // Step 1: keep the settings and limits, then fix those the speed depends on.
  const OptionTable savedOptions = Options;
  const SearchLimitsRecord savedLimits = SearchLimits;
  Options.threatDepth = CalibrationThreatDepth;
  Options.forwardPruning = CalibrationForwardPruning;
  Options.tablebaseDepth = CalibrationTablebaseDepth;
  Options.drawValue = 0;
  Options.multiPv = 1;           // one line, no strength limit: the defaults
  Options.strengthBudget = 0;
  SearchLimits.TimeMode = CalibrationTimeMode;
  SearchLimits.MoveTimeMs = CalibrationTimeMs;
  SearchLimits.DepthLimit = SearchMaxDepth;
  SearchLimits.SearchMoveCount = 0;
  SearchLimits.requestedMode = SearchModeCalibration;
  SearchLimits.infinite = false;

  // Step 2: White to move, mode 7; it runs until its move time is used up.
  // The speed is measured afresh (a stale estimate would space the first
  // time checks by another search's speed).
  SpeedEstimate = 0;
  PonderTimeMs = 0;
  SearchClockStart = GetTickCount();
  StartSearch(White, SearchModeCalibration);

  // Step 3: the speed measured, then everything as it was.
  CalibratedSpeed = SpeedEstimate;
  Options = savedOptions;
  SearchLimits = savedLimits;

  // Step 4: the UCI_Elo range, then a soft clear (learned entries survive).
  Options.eloMax = EloForRate(CalibratedSpeed);
  Options.eloMin = EloForRate(EloMinRate);
  Options.eloValue = EloForRate(EloDefaultRate);
  ClearTable(0);
}

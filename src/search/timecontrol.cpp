// Time management. (Placeholder clock check; the full time control follows.)
#include "search/search.h"
#include "search/search_state.h"
#include "shell/platform.h"

int TargetTime, MaxTime, MinTime, TimeBonus, HardLimit;
int NodeCountdown;
uint32_t SpeedEstimate, CalibratedSpeed;
int StatusCounter;
int AverageBestMoveShare, LastScoreDelta, PreviousIterationScore, PreviousSearchScore;
int ReductionThreshold;

uint32_t ElapsedMs() { return GetTickCount() - SearchClockStart; }

int CheckTime() {
  NodeCountdown = 4096;
  return int(ElapsedMs());
}

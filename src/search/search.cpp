// STAND-IN search. It keeps the shell's protocol working before the real
// search exists: it reads and dispatches input the way the real search polls
// it, ends when its limits say so or a stop arrives, and answers
// "bestmove 0000" (no move). The search task replaces this file.
#include "search/search.h"

#include "shell/engine.h"
#include "shell/platform.h"

uint32_t SearchClockStart;
uint32_t PonderTimeMs;
SearchFunction SearchHook;

namespace {

constexpr int32_t NoMoveTime = 2000000000;
constexpr uint32_t IdleSliceMs = 1;

// A search without a depth, a move time or a clock runs until it is stopped.
bool RunsUntilStopped() {
  return SearchLimits.TimeMode == 3 && SearchLimits.MoveTimeMs == NoMoveTime &&
         SearchLimits.DepthLimit == SearchMaxDepth;
}

int StandInSearch(int side, int mode) {
  for (;;) {
    if (StopReason != 0) break;
    if (SearchMode == 4 && !RunsUntilStopped()) {
      bool timed = SearchLimits.TimeMode == 3 && SearchLimits.MoveTimeMs != NoMoveTime;
      if (!timed || GetTickCount() - SearchClockStart >= uint32_t(SearchLimits.MoveTimeMs)) break;
    }
    if (InputWaiting())
      ReadAndDispatch();
    else
      SleepMs(IdleSliceMs);
  }
  Print("bestmove 0000\n");
  return StopReason;
}

}  // namespace

int StartSearch(int side, int mode) {
  StopReason = 0;
  SearchMode = mode;
  int result = SearchHook ? SearchHook(side, mode) : StandInSearch(side, mode);
  SearchMode = 1;
  return result;
}

void PonderHit() {
  if (SearchMode == 6) SearchMode = 4;
  SearchClockStart = GetTickCount();
}

// Search entry points used by the shell.
#pragma once

#include <cstdint>

// The search's own maximum iteration depth; "go" resets DepthLimit to it.
constexpr int SearchMaxDepth = 62;

// Search modes (SearchMode while a search runs).
constexpr int SearchModeNormal = 4;
constexpr int SearchModePonder = 6;
constexpr int SearchModeCalibration = 7;

// Search clock: started at every go, restarted at ponderhit.
extern uint32_t SearchClockStart;
extern uint32_t PonderTimeMs;        // time spent pondering before ponderhit

// Searches the game position for `side` with SearchMode `mode` (4 normal,
// 6 ponder, 7 the silent calibration) within SearchLimits and the clock handed
// over at "go", printing its own output and "bestmove"; returns the final
// StopReason (bit 5: a root result to record in the game history).
int StartSearch(int side, int mode);

// Turns the running ponder search into a normal one.
void PonderHit();

// Game history record of one ply: the score (unless NoRecordedScore), root
// flags, depth and the search clock's time, added to the cumulative time of
// the same side two plies earlier; the nodes go to the side's total. The
// search clock restarts.
// (The words of a GameRecord it writes are named beside GameRecord.)
void RecordGameMove(int side, int ply, int score, uint32_t nodes, int depth, int rootFlags);

// Tests replace the search body through this hook; null = the real search.
using SearchFunction = int (*)(int side, int mode);
extern SearchFunction SearchHook;

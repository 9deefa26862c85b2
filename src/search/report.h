// Search reporting: every "info" line and the final "bestmove" line, with the
// gates that keep the output quiet during the first half second and during the
// start-up calibration.
#pragma once

#include <cstdint>

#include "core/types.h"

// Bound kinds of a reported score (RootBound values).
constexpr int BoundKindUpper = 2;    // fail low: " upperbound "
constexpr int BoundKindRunning = 3;  // final line, iteration under way: no text
constexpr int BoundKindExact = 4;
constexpr int BoundKindLower = 6;    // fail high: " lowerbound "

// First report and current-move gates, in milliseconds since the search clock started.
constexpr uint32_t FirstReportMs = 500;
constexpr uint32_t CurrentMoveReportMs = 2000;

// The score field: "cp %ld" plus the bound text, or "mate %d". Returns a static buffer.
const char* ScoreText(int score, int boundKind);

// One PV line of `line` (0-terminated moves); multiPv 0 prints no multipv field.
void PrintPvLine(const Move* line, int boundKind, int score, int depth, int selDepth, int multiPv);
void PrintDepthLine(int depth, int selDepth);
void PrintCurrentMove(int rootIndex, Move m);
void PrintNodeLine();
// "info nps ... time ...", then "bestmove" (with "ponder" when given). A null
// best move (no legal move at the root) prints "bestmove (none)".
void PrintBestMove(Move best, Move ponder);

// Gates.
bool PvOutputAllowed();      // output level and search mode allow PV lines
bool PvOutputActive();       // allowed, and output has started

// The best root line (MultiPV 1) or the first MultiPV root lines, when PV output is active.
void ReportRootLines();
// At a time check from the search: the first report after 500 ms and the
// current root move after 2000 ms (500 ms with Verbose UCI).
void ReportProgress();
// The final PV line of a search whose output never started.
void ReportFinalLine();

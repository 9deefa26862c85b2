// Search entry points used by the shell.
//
// STAND-IN: until the real search lands, StartSearch runs a placeholder that
// finds no move (see search.cpp). The search task replaces this file's body
// and keeps the signatures.
#pragma once

#include <cstdint>

// The search's own maximum iteration depth; "go" resets DepthLimit to it.
constexpr int SearchMaxDepth = 62;

// Search clock: started at every go, restarted at ponderhit.
extern uint32_t SearchClockStart;
extern uint32_t PonderTimeMs;        // time spent pondering before ponderhit

// Searches the game position for `side` with SearchMode `mode` (4 normal,
// 6 ponder), printing its own output and "bestmove"; returns the result code
// (bit 5: a root result to record in the game history).
int StartSearch(int side, int mode);

// Turns the running ponder search into a normal one.
void PonderHit();

// Tests replace the search body through this hook; null = the stand-in.
using SearchFunction = int (*)(int side, int mode);
extern SearchFunction SearchHook;

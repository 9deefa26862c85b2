// Searching positions from the tools the way "position fen" and "go" search them, silently.
#pragma once

#include <cstdint>

#include "core/types.h"

// The engine's start-up settings without the book and with no input polling, a table of
// `tableKB` and a fixed calibrated speed (so that the search tunes itself the same on every machine).
bool PrepareToolSearches(long tableKB, uint32_t calibratedSpeed);
// From now on the tool searches measure time in nodes: `nodesPerMs` nodes make a millisecond
// (0: real time again). A timed search then plays the same moves on any machine and under any load.
void UseNodeClock(uint32_t nodesPerMs);
// Searches a FEN to `depth` (0 = no depth limit) or for `moveTimeMs` (0 = no time limit) with a
// cleared table; returns the best move (0 when the FEN is refused or there is no move). With
// `clockMs` the search is clock-driven instead, as "go wtime/btime" with that time for both sides.
struct ToolSearchResult {
  uint64_t nodes = 0, ms = 0;
  int stopReason = 0;
  int score = 0;
};
Move SearchFenQuietly(const char* fen, int depth, int moveTimeMs, uint64_t* nodes, uint64_t* ms);
Move SearchFenQuietly(const char* fen, int depth, int moveTimeMs, int clockMs, ToolSearchResult* result);
// Searches the current game position the same way, keeping the table and the game's history
// (so that a game can be played out move by move).
Move SearchGameQuietly(int depth, int moveTimeMs, int clockMs, ToolSearchResult* result);

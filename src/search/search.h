// Search entry points used by the shell.
#pragma once

#include <cstdint>

#include "core/types.h"


// ---- Search modes (SearchMode). A search runs while the mode is 4 or more; a finished search
// leaves 1, 2 or 3 behind, and the command loop sets 0 before every blocking read.
constexpr int SearchModeIdle = 0;
constexpr int SearchModeAfterQuit = 1;         // the search ended through input, or for good
constexpr int SearchModeAfterOther = 2;        // a ponder, analysis or calibration search ended
constexpr int SearchModeAfterTimed = 3;        // a timed search ended
constexpr int SearchModeNormal = 4;
constexpr int SearchModeAnalysis = 5;
constexpr int SearchModePonder = 6;
constexpr int SearchModeCalibration = 7;
constexpr int SearchRunningBit = 4;
extern int SearchMode;
inline bool SearchRunning() { return (SearchMode & SearchRunningBit) != 0; }

// ---- Why a search ended (StopReason); StopNone while it may run on.
constexpr uint8_t StopNone = 0;
constexpr uint8_t StopAllSettled = 4;          // every root move is settled
constexpr uint8_t StopBookMove = 5;
constexpr uint8_t StopNothingToSearch = 6;     // game over at the root, or nothing to search
constexpr uint8_t StopKeptSearchDone = 7;      // the last search's result still holds
constexpr uint8_t StopMateFound = 9;           // a mate within the iteration depth
constexpr uint8_t StopOnlyMove = 10;           // one move worth playing in a clock search
constexpr uint8_t StopDepthLimit = 11;
constexpr uint8_t StopHardLimit = 13;
constexpr uint8_t StopNoTimeForIteration = 14;
constexpr uint8_t StopLeavesIdleState = 20;    // reasons from here on leave SearchModeAfterQuit behind
constexpr uint8_t StopByGui = 64;              // "stop", or a command that needs an idle engine
constexpr uint8_t StopFromInputMask = 0x80;
extern uint8_t StopReason;
// Asks a running search to stop as the GUI's "stop" does.
void RequestStop();

// ---- The parsed "go" parameters
constexpr uint8_t TimeModeNone = 0;            // never set by the UCI shell: no search beyond the root moves
constexpr uint8_t TimeModeIterationOnly = 1;   // one iteration at a time
constexpr uint8_t TimeModeFixed = 2;           // the time left is all for this move
constexpr uint8_t TimeModeNoClock = 3;         // fixed depth, fixed time or infinite
constexpr uint8_t TimeModeClock = 4;           // clock-driven
constexpr int32_t NoMoveTime = 2000000000;     // MoveTimeMs without "movetime"
constexpr int MaxSearchMoves = 128;
struct SearchLimitsRecord {
  uint8_t TimeMode;                  // kept from one go to the next
  int32_t MoveTimeMs;                // reset to NoMoveTime at every go
  int DepthLimit;                    // reset to the search's maximum at every go
  Move SearchMoves[MaxSearchMoves];
  int SearchMoveCount;               // 0 = no restriction
  int requestedMode;                 // SearchModeNormal or SearchModePonder
  int clockTimeMs[2];                // wtime, btime (0 = not given)
  int clockIncMs[2];                 // winc, binc
  int movesToGo;                     // 0 = not given
  bool infinite;                     // "infinite" without a clock: the answer waits for stop
};
extern SearchLimitsRecord SearchLimits;

// ---- The game the engine plays
extern int EngineColour, OpponentColour;       // set at every go
extern int PliesPlayed;                        // plies in the current game record
extern uint64_t NodeTotals[2];                 // nodes searched per side in this game

// ---- Input during a search. The search reads and dispatches waiting input through this hook
// (the shell's line reader); it answers non-zero once the engine is quitting. Null: no input.
using InputHandler = int (*)();
extern InputHandler ReadInputHook;

// Search clock: started at every go, restarted at ponderhit.
extern uint32_t SearchClockStart;
extern uint32_t PonderTimeMs;        // time spent pondering before ponderhit

// Searches the game position for `side` with SearchMode `mode` (4 normal,
// 6 ponder, 7 the silent calibration) within SearchLimits and the clock handed
// over at "go", printing its own output and "bestmove"; returns the final
// StopReason (bit 5: a root result to record in the game history).
int StartSearch(int side, int mode);

// The learning store at the end of a search: when the last finished iteration
// is at least 3 deep, the game is fewer than 50 plies past its learning base
// (LearnBase), Position Learning or Retain Hash is on and the final root
// `score` swung by more than 48 and more than a quarter of its size from the
// `highest` or `lowest` score of the iterations from the second on, the root
// position is pinned into the table for `side` with the bound of RootBound,
// the best root move, its depth, and its learning age; LearnDirty is set.
void LearnFromSearch(int side, int finishedDepth, int score, int lowest, int highest);

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

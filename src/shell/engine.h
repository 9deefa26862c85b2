// The engine shell: start-up, the UCI command loop and the dispatcher.
#pragma once

#include <cstdint>

#include "board/types.h"

// ---- Shell state (one instance, process lifetime)
constexpr int CommandLineSize = 4096;              // a line holds at most 4095 characters
extern char CommandLine[CommandLineSize];          // the current input line
extern bool PendingLine;                           // dispatch CommandLine again instead of reading
extern uint16_t QuitFlag;                          // ends the command loop
extern int UciStarted;                             // 0 until "uci" is answered, then 2
extern int SearchMode;                             // 0 idle; 4 search, 6 ponder, 7 calibration; 1-3 after a search
extern uint8_t StopReason;                         // why a search ends; 64 = the GUI's stop
extern char LastPositionText[CommandLineSize];     // text after "position" in the last position command
extern bool NewGameFlag;                           // set by ucinewgame, cleared by the next position
extern int InputMode;                              // 0 not decided, 1 console, 2 pipe
extern char EngineName[64];
extern char StartFen[CommandLineSize];             // the FEN fields of the last "position fen"
extern int EngineColour, OpponentColour;           // set at every go
extern int PliesPlayed;                            // plies in the current game record
extern uint64_t NodeTotals[2];                     // nodes searched per side in this game
extern uint8_t WorkBuffer[65536];                  // scratch space, also the learning file's read buffer

constexpr int RunningSearchBit = 4;                // SearchMode 4..7: a search is running
inline bool SearchRunning() { return (SearchMode & RunningSearchBit) != 0; }

// ---- The parsed "go" parameters
constexpr int MaxSearchMoves = 128;
struct SearchLimitsRecord {
  uint8_t TimeMode;                  // 3 no clock, 4 clock-driven; kept from one go to the next
  int32_t MoveTimeMs;                // reset to 2,000,000,000 at every go
  int DepthLimit;                    // reset to the search's maximum at every go
  Move SearchMoves[MaxSearchMoves];
  int SearchMoveCount;               // 0 = no restriction
  int requestedMode;                 // 4 normal, 6 ponder
  int clockTimeMs[2];                // wtime, btime (0 = not given)
  int clockIncMs[2];                 // winc, binc
  int movesToGo;                     // 0 = not given
  bool infinite;                     // "infinite" without a clock: the answer waits for stop
};
extern SearchLimitsRecord SearchLimits;

// ---- Operations
int Main(int argc, char** argv);     // banner, EngineStart, returns 0
void EngineStart();                  // start-up, command loop, shut-down
void ReadAndDispatch();              // one line (or the pending one), then more while input waits
int DispatchCommand(const char* line);    // 0 unknown, 1 done or ignored, 2 busy
void RequestStop();                  // StopReason = 64 while a search runs
void NewGame();                      // the standard start position, game counters reset
void FinishGame();                   // the end-of-game routine for the game in progress

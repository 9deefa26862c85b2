// The engine shell: start-up, the UCI command loop and the dispatcher.
#pragma once

#include <cstdint>

#include "core/types.h"
#include "search/search.h"
#include "board/board.h"
#include "core/platform.h"

// ---- Shell state (one instance, process lifetime)
constexpr int CommandLineSize = InputLineCapacity;   // a whole input line, up to 1 MiB
extern char CommandLine[CommandLineSize];          // the current input line
extern bool PendingLine;                           // dispatch CommandLine again instead of reading
extern uint16_t QuitFlag;                          // ends the command loop
extern int UciStarted;                             // 0 until "uci" is answered, then 2
extern char LastPositionText[PositionTextSize];     // text after "position" in the last position command
extern bool NewGameFlag;                           // set by ucinewgame, cleared by the next position

// ---- Operations
int Main(int argc, char** argv);     // banner, EngineStart, returns 0
void EngineStart();                  // start-up, command loop, shut-down
void ReadAndDispatch();              // one line (or the pending one), then more while input waits
int DispatchCommand(const char* line);    // 0 unknown, 1 done or ignored, 2 busy
void NewGame();                      // the standard start position, game counters reset
void FinishGame();                   // the end-of-game routine for the game in progress

// Start-up, the command loop, the line reader and the new-game reset.
#include "eval/eval.h"
#include "shell/engine.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "board/board.h"
#include "book/book.h"
#include "core/fatal.h"
#include "learning/learning.h"
#include "record/record.h"
#include "search/search.h"
#include "search/strength.h"
#include "search/tt.h"
#include "shell/options.h"
#include "core/platform.h"
#include "tablebases/tablebases.h"

char CommandLine[CommandLineSize];
bool PendingLine;
uint16_t QuitFlag;
int UciStarted;
char LastPositionText[PositionTextSize];
bool NewGameFlag;

namespace {

constexpr long StartHashKB = 16384;
constexpr int StartArraySide = 2;   // SetupPosition: place the standard start array, White to move

}  // namespace

int Main(int argc, char** argv) {
  Print("CORVID by %s\n", "Avery Quill");
  Print("Copyright (c) Avery Quill. All rights reserved.\n");
  EngineStart();
  return 0;
}

namespace {

// The search's way to the command loop while it runs.
int ReadCommandsDuringSearch() {
  ReadAndDispatch();
  return QuitFlag != 0;
}

}  // namespace

void EngineStart() {
  ReadInputHook = ReadCommandsDuringSearch;
  TableAllocatedHook = LoadLearning;
  // Step 2: the root-move storage and the work buffer (the learning code's
  // buffer) are static arrays, so nothing can fail here. A fatal error saves
  // the game before the engine ends; the tablebases of NalimovPath (still
  // empty: the working directory) are found. Then the static tables.
  FatalGameSaveHook = FinishGame;
  InitTablebases(1, Options.nalimovPath, Options.nalimovCacheBytes);
  InitBoardTables();
  InitEvaluation();

  // Step 3: settings to their defaults.
  ResetSettings();
  SearchLimits.TimeMode = TimeModeNoClock;

  // Step 4: the book's record window is a static array. The hash tables
  // for 16,384 KB (smaller when memory is short; the allocation also loads
  // the learning file). Without any table steps 5 to 7 are skipped.
  if (ResizeTable(StartHashKB) != 0) {
    // Step 5: a new game from the start position.
    NewGame();

    // Step 6: the silent calibration search measures the node rate and sets
    // the UCI_Elo range; it restores the settings and limits and soft-clears
    // the table. Then the node counter starts from 0 and the game afresh.
    CalibrateSpeed();
    NodeCount = 0;
    NewGame();

    // Step 7: the opening book, and its random generator seeded from the clock.
    SeedBookRandom(GetTickCount());
    OpenBook(Options.bookFile);
  }

  // Step 8: the name the engine reports.
  std::snprintf(EngineName, sizeof EngineName, "%s", "CORVID 11.2 SP");

  // Step 9: a pipe gets unbuffered output so that every line leaves at once.
  if (StdinIsConsole()) {
    InputMode = 1;
    SetOutputUnbuffered(false);
  } else {
    InputMode = 2;
    SetOutputUnbuffered(true);
  }

  // The command loop.
  while (!QuitFlag) {
    SearchMode = SearchModeIdle;
    ReadAndDispatch();
  }

  // Shut-down: the learning file takes what was learned and not yet saved; the book closes.
  FinishLearning();
  CloseBook();
}

void ReadAndDispatch() {
  for (;;) {
    // Step 1: the pending line, or a new one; lost input becomes "quit".
    if (PendingLine) {
      PendingLine = false;
    } else if (int length = ReadInputLine(CommandLine, CommandLineSize); length == LineTooLong) {
      if (UciStarted == 2) Print("info string line of more than %d characters ignored\n", CommandLineSize - 1);
      if (StopReason != StopNone || !InputWaiting()) return;
      continue;
    } else if (length < 0) {
      int error = errno;
      if (FILE* log = std::fopen(AutoSaveFileName, "a+")) {
        std::fprintf(log, "FATAL ERROR: stdin pipe gone errno=%d\n", error);
        std::fclose(log);
      }
      std::snprintf(CommandLine, sizeof CommandLine, "%s", "quit");
    }

    // Steps 2 and 3: a bare "stop", else the dispatcher; busy keeps the line.
    if (std::strcmp(CommandLine, "stop") == 0) {
      RequestStop();
    } else if (DispatchCommand(CommandLine) == 2) {
      RequestStop();
      PendingLine = true;
    }

    // Step 4: go on while more input is waiting and no stop is pending.
    if (StopReason != StopNone || !InputWaiting()) return;
  }
}


void NewGame() {
  EngineColour = Black;
  OpponentColour = White;
  PliesPlayed = 1;
  NodeTotals[White] = NodeTotals[Black] = 0;
  // Game side to move White and game ply 1 belong to the board's game state.
  ResetGameState();
  SetupPosition(StartArraySide, SetupAllCastling);   // a side above 1 asks for the start array
  ResetLearnWindow();
  // The per-side clocks join the time management; the search clock restarts.
  SearchClockStart = GetTickCount();
}

// Search-wide state shared by the root search, the interior and quiescence searches, time
// management, reporting, move ordering, extensions and the evaluation.
#pragma once

#include <cstdint>

#include "board/position.h"
#include "eval/eval.h"
#include "search/search.h"

// ---- Settings and draws
extern uint32_t SearchFlags;   // snapshot of the settings word taken when a search starts

// ---- Root moves and iterations
constexpr int MaxRootMoves = 224;
constexpr int PvLength = 64;
constexpr uint16_t RootSettled = 0x80;
constexpr uint16_t RootExactInWindow = 0x20;
constexpr uint16_t RootBestRecorded = 0x10;
constexpr uint16_t RootResultKindMask = 0xF00;

struct RootMove {
  Move* line;        // entry 1 the move itself (bit 15 when it checks), then the continuation, 0-terminated
  uint32_t nodes;
  int16_t depth;        // depth of the last completed search of the move (0: none yet)
  int16_t score;        // its score; during a re-search the bound that started it
  int16_t shownScore;   // the score of the last completed search, as the MultiPV lines show it
  uint16_t flags;
};

extern RootMove RootMoves[MaxRootMoves];
extern Move RootLines[MaxRootMoves][PvLength + 2];
extern int RootMoveCount;
extern int IterationDepth;     // depth of the current iteration
extern int RootAlpha, RootBeta;
extern int RootBound;          // 3 running, 2 fail low, 4 exact, 6 fail high
extern int RootUnstable;
extern int SettledBestScore;
extern uint32_t RootResultFlags;
extern int BestMoveChanges;
extern int StableIterations;
extern bool EasyMove;
extern int SecondScoreAtDepth1;
extern uint64_t LastIterationNodes;
extern int LastScore;
extern int RootMoveScore[2];   // the current root move's previous score from each side's view
// The game-start ply marker is the book's LearnBase (book/book.h).
extern int CurrentRootIndex;   // the root move being searched (for currmove)
extern int SearchSide;         // the side the search plays for
extern GameRecord LastGameMoveRecord;   // the game record of the last move before the search
extern bool LearnDirty;        // the table holds learned positions the learning file does not have yet

// History of quiet moves that were best or cut off: index side * 384 + (pieceType - 1) * 64 + destination.
constexpr int RootHistorySize = 2 * 6 * 64;
extern uint16_t RootHistory[RootHistorySize];
// Search start: ages (Retain Hash) or resets the history tables and clears the killers.
void AgeHistoryForSearch();

// ---- Interior search
constexpr int NodePv = 0x100;
constexpr int NodeNullWindow = 0x200;
constexpr int NodeVerification = 0x400;
constexpr int NodeBelowNull = 0x1000;
constexpr int NodeFullWidth = 0x2000;
constexpr int ChildFlagsMask = 0xD30F;

extern Move PvTable[MaxPly + 2][PvLength + 2];   // per ply, 0-terminated; entry 0 the ply's best move
extern int SelDepth;
extern int NullReduction;
extern uint64_t VerificationSearches;   // null-move cuts re-searched for zugzwang since the search began

int Search(int ply, int depth, int budget, int alpha, int beta, int flags);
int QuiescenceSearch(int ply, int q, int alpha, int beta, int flags);
// Value of the pawns of `side ^ 1` that threaten to promote, above `threshold`, or 0.
int PromotionThreat(int side, int depth, int threshold);

// ---- Time management (the clock in milliseconds since the search started)
extern int TargetTime, MaxTime, MinTime, TimeBonus, HardLimit;
extern int NodeCountdown;
extern uint32_t SpeedEstimate, CalibratedSpeed;
extern int StatusCounter;
extern int AverageBestMoveShare, LastScoreDelta, PreviousIterationScore, PreviousSearchScore;
extern int ReductionThreshold;
uint32_t ElapsedMs();          // since the search clock started
int CheckTime();               // from the nodes when NodeCountdown runs out; returns the elapsed time

// ---- Reporting
constexpr int ReportCurrMovePending = 1;
constexpr int ReportStarted = 2;
extern int ReportFlags;

// Internals shared by the evaluation's files.
#pragma once

#include <cstdint>

#include "eval/eval.h"

// One cache entry: w0 = D0 ^ key high word, w1 = D1 ^ key low word, w2 = D0, w3 = D1.
// D0: bits 0-12 the checkFlag bits, bits 16-31 staticScore + 8192; D1: secondThreat, threatMove << 16.
struct EvalCacheEntry {
  uint32_t w0, w1, w2, w3;
};

extern EvalCacheEntry* EvalCacheTable[2];   // null without a cache
extern uint32_t EvalCacheMask;

// Ending codes of the material-class table.
constexpr int EndingNone = 15;
constexpr int EndingBishopPawns = 1;
constexpr int EndingQueenPawn = 2;
constexpr int EndingRookPawnRook = 3;
constexpr int EndingRookTwoPawnsRook = 4;
constexpr int EndingLoneKing = 16;
constexpr int EndingBareKingBishopPawns = 17;
constexpr int EndingPawns = 18;
constexpr int EndingKingPawn = 19;
constexpr int EndingMinorDraw = 20;
constexpr int EndingBareDraw = 21;

// Endgame knowledge: the stalemate test and the evaluators of recognised endings.
// An evaluator may lower `scale` and set a result kind in `flags`.
bool HasLegalMove(int side);
int BishopPawnsEnding(int side, int strong, int* scale, int* flags);
int QueenPawnEnding(int side, int strong, int* scale, int* flags);
int RookPawnRookEnding(int side, int strong, int* scale, int* flags);
int LoneKingEnding(int side, int strong);
int PawnEnding(int side, int score);
int KingPawnEnding(int side, int strong, int score, int* flags);

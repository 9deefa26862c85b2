// Internals shared by the evaluation's files.
#pragma once

#include <cstdint>

#include "board/position.h"
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

// Endgame knowledge (endgame*.cpp): the stalemate test and the evaluators of recognised endings.
// An evaluator may lower `scale` (sixteenths) and OR a result kind into `flags`.
void InitEndgameTables();                                  // start-up: the king-and-pawn table
bool HasNoMoves(int side);                                 // king and pawns only, not in check: stalemate?
int LoneKingScore(int side, int strong);                   // side to move's view
int WrongBishopScale(int side, int strong, int* scale, int* flags);   // always 0
int RookPawnScore(int strong, int* scale);                 // strong side's view
int QueenPawnScore(int side, int strong, int* flags);      // strong side's view
int KingPawnKingScore(int side, int strong, int* flags, const AttackEntry* strongAttacks);   // side to move's view
int PawnEndingScore(int side, int score);                  // side to move's view, material included
// King and pawn against king with the pawn side to move: won (kind RecordKindWon) or drawn (RecordKindCertainDraw).
int KPKRule(int strong, int strongKing, int weakKing, int pawn, int* kind);

// Number of set bits, without a library call on machines built without a population-count instruction.
inline int BitCount(uint32_t x) {
  x = x - ((x >> 1) & 0x55555555u);
  x = (x & 0x33333333u) + ((x >> 2) & 0x33333333u);
  return int((((x + (x >> 4)) & 0x0F0F0F0Fu) * 0x01010101u) >> 24);
}

// The record the evaluation writes its result words into: the undo record of the move that led
// to the position (the evaluation's own record at the root).
UndoRecord& EvaluationRecord();

// The positional terms of pieces, threats and king safety, White's view. With `perColour` each
// colour's own term (its own view) is stored there as well.
int PieceScore(int* perColour = nullptr);        // includes the trade bonus
int BishopScore(int sq, int c);                  // the mobility part of a bishop's value
int ThreatScore(int* perColour = nullptr);       // also fills the threat lists
int KingSafety(int* perColour = nullptr);        // may set flags and the threat move in the record
int KingAttack(int c);                           // the attack on c's king, c's view

// Tables the positional terms share: the per-search tables that PrepareEvaluation builds from
// the root position, and the fixed pawn tables (also read by the piece and endgame terms).
#pragma once

#include <array>
#include <cstdint>

// Per-search piece-square tables, by colour and actual square (Black's already mirrored),
// in evaluation units (128 per pawn).
extern int16_t PawnSquareTable[2][64];
extern int16_t KnightSquareTable[2][64];
extern int16_t BishopSquareTable[2][64];
extern int16_t RookSquareTable[2][64];
extern int16_t QueenSquareTable[2][64];
extern int16_t KingSquareTable[2][64];

// Pawn storms planned at the root: NoStorm, or the storm weight 0 (enemy king in the centre
// or on the same wing) or 2 (kings on opposite wings), on the files of StormFiles.
constexpr int NoStorm = 4;
extern int StormLevel[2];
extern uint8_t StormFiles[2];        // file mask, bit f = file f
extern int DevelopedMinors[2];       // 0..4 minor-piece home squares no longer holding their piece
extern int RootSide;                 // the engine's colour in the evaluation: the side to move at the root
extern bool HyperModernPlay;         // the Hyper-Modern Play setting at the root

// Base pawn table, White's view, index a1..h8 (rank 1 first), units of 1/128 pawn.
inline constexpr int8_t BasePawnTable[64] = {
    0, 0,  0,  0,  0,  0,  0,  0,     // rank 1
    0, 0,  -1, -2, -2, -1, 0,  0,     // rank 2
    3, 4,  8,  9,  9,  8,  4,  3,     // rank 3
    3, 8,  16, 22, 22, 16, 8,  3,     // rank 4
    7, 10, 19, 25, 25, 19, 10, 7,     // rank 5
    11, 14, 22, 28, 28, 22, 14, 11,   // rank 6
    14, 17, 24, 30, 30, 24, 17, 14,   // rank 7
    0, 0,  0,  0,  0,  0,  0,  0};    // rank 8

// Centre weight of a square, index a1..h8 (symmetric, so it serves both colours).
inline constexpr uint8_t CentreWeight[64] = {
    0, 1, 2, 3,  3,  2, 1, 0,
    1, 3, 5, 6,  6,  5, 3, 1,
    2, 5, 8, 9,  9,  8, 5, 2,
    3, 6, 9, 12, 12, 9, 6, 3,
    3, 6, 9, 12, 12, 9, 6, 3,
    2, 5, 8, 9,  9,  8, 5, 2,
    1, 3, 5, 6,  6,  5, 3, 1,
    0, 1, 2, 3,  3,  2, 1, 0};

// Penalty for a weak (unprotectable) pawn, White's view, index a1..h8 (rank 1 first), units of 1/128 pawn.
inline constexpr uint8_t WeakPawnPenalty[64] = {
    0, 0, 0, 0, 0, 0, 0, 0,   // rank 1
    3, 4, 6, 9, 9, 6, 4, 3,   // rank 2
    2, 3, 5, 7, 7, 5, 3, 2,   // rank 3
    1, 2, 3, 4, 4, 3, 2, 1,   // rank 4
    0, 0, 1, 2, 2, 1, 0, 0,   // rank 5
    0, 0, 0, 0, 0, 0, 0, 0,   // rank 6
    0, 0, 0, 0, 0, 0, 0, 0,   // rank 7
    0, 0, 0, 0, 0, 0, 0, 0};  // rank 8

// Penalty for an isolated pawn, by file a..h, units of 1/128 pawn.
inline constexpr uint8_t IsolatedPenalty[8] = {4, 6, 8, 10, 10, 8, 6, 4};

// The centre of a king's shelter and zone: the king square clamped to files b-g and ranks 2-7.
inline constexpr std::array<uint8_t, 64> ShelterCentre = [] {
  std::array<uint8_t, 64> t{};
  for (int sq = 0; sq < 64; sq++) {
    int file = sq & 7, rank = sq >> 3;
    file = file < 1 ? 1 : file > 6 ? 6 : file;
    rank = rank < 1 ? 1 : rank > 6 ? 6 : rank;
    t[sq] = uint8_t(rank * 8 + file);
  }
  return t;
}();

// Pawn support by adjacent file, built at start-up. Index = W | B << 5 with W the White pawns of
// one file on rank indices 1..5 (bit r - 1) and B the Black pawns on rank indices 2..6 (bit r - 2).
// Low byte, 2-bit field k (0..3): a White pawn of the file can come to rank index k + 1 without
// passing a Black pawn; high byte, field k: a Black pawn can come to rank index k + 3 without
// passing a White pawn. Entries of the two files beside a pawn are added (fields count 0..2).
extern uint16_t PawnSupportTable[1024];

// Central pawn mass by colour and square shade (0 light, 1 dark), written by PawnStructure and
// read by the bishop term.
extern uint8_t pawnMass[2][2];

// Each pawn's value in its own colour's view from the last PawnStructure (tool and tests).
extern int16_t PawnValues[64];

void InitPawnTables();
// The pawn term of the positional score, White's view; the flags say who is to move (1/0).
int PawnStructure(int whiteToMove, int blackToMove);
// The part of the pawn term read from the root pawn table, White's view.
int PawnTableSum();

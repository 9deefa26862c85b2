// Board arithmetic shared by the endgame evaluators (endgame*.cpp).
#pragma once

#include <algorithm>
#include <cstdlib>

#include "board/position.h"
#include "core/types.h"

namespace endgame {

// A rook's material in pawn units (the material signature counts N/B 3, R 5, Q 10).
constexpr int RookUnits = 5;
constexpr int NoSquare = -1;
constexpr int FileA = 0, FileB = 1, FileC = 2, FileF = 5, FileG = 6, FileH = 7;

// Moves a pawn still needs to promote, by its rank seen from its own side (a pawn on its
// second rank may step twice).
constexpr int PromotionMoves[8] = {0, 5, 5, 4, 3, 2, 1, 0};

inline int FileDistance(int a, int b) { return std::abs(FileOf(a) - FileOf(b)); }
inline int RankDistance(int a, int b) { return std::abs(RankOf(a) - RankOf(b)); }
// King distance: the moves a king needs from one square to the other.
inline int Distance(int a, int b) { return std::max(FileDistance(a, b), RankDistance(a, b)); }
// File plus rank distance.
inline int Manhattan(int a, int b) { return FileDistance(a, b) + RankDistance(a, b); }

// A square seen from colour c: ranks mirrored for Black, so that every side moves up the board.
inline int Relative(int c, int sq) { return c == White ? sq : sq ^ 56; }
inline int RelativeRank(int c, int sq) { return RankOf(Relative(c, sq)); }
inline int Forward(int c) { return c == White ? 8 : -8; }
inline int PromotionSquare(int c, int sq) { return c == White ? 56 + FileOf(sq) : FileOf(sq); }
inline bool EdgeSquare(int sq) { return FileOf(sq) == 0 || FileOf(sq) == 7 || RankOf(sq) == 0 || RankOf(sq) == 7; }

inline int PieceUnits(const Position& p, int c) { return SignatureUnits(p.materialSignature[c]); }
inline bool Attacks(const Position& p, int c, int sq) { return p.attackTable[c][sq].counts != 0; }
// The square of colour c's pawn in its highest pawn slot (the only pawn in the endings that have one).
inline int FirstPawn(const Position& p, int c) {
  return p.pawns(c) ? p.pieceList[c][31 - __builtin_clz(p.pawns(c))] : NoSquare;
}

}  // namespace endgame

// The piece term: rook files, ranks, mobility and the trapped rook; the bishop pair by pawn
// count; bishop mobility, pawns on its diagonals, x-ray targets and the way back.
#include <gtest/gtest.h>

#include "eval/eval_internal.h"
#include "eval/tables.h"
#include "eval_helpers.h"

namespace {

// Each colour's piece term (the pawn term first: the bishops read its pawn mass).
void PieceTerms(const std::string& fen, int terms[2]) {
  SetUpForSearch(fen);
  PawnStructure(Pos.sideToMove == White, Pos.sideToMove == Black);
  PieceScore(terms);
}

TEST(PieceTerm, RookFilesRanksMobilityAndTheTrappedRook) {
  struct Case {
    const char *fen, *rook, *queen;
    int expected;   // White's term beyond the queen's and the rook's table values and endgameHalf
  } cases[] = {
      {"7k/8/8/8/R7/8/8/7K w - - 0 1", "a4", nullptr, 22 + 22},   // open file, RookMobility[14]
      {"7k/8/p7/8/R7/8/8/7K w - - 0 1", "a4", nullptr, 12 + 19},  // half-open, 11 squares
      {"7k/8/8/8/R7/P7/8/7K w - - 0 1", "a4", nullptr, 19},       // behind its own pawn
      // The rank before the king (4 x 6), the seventh (12, + endgameHalf below), open file, 14 squares.
      {"6k1/R7/8/8/8/8/8/7K w - - 0 1", "a7", nullptr, 24 + 12 + 22 + 22},
      // Shut in by the king that left e1, Phase above 3: RookMobility[0] - 38; later only the mobility.
      {"r2q2k1/8/8/8/8/Q7/6PP/6KR w - - 0 1", "h1", "a3", -5 - 38},
      {"r5k1/8/8/8/8/8/6PP/6KR w - - 0 1", "h1", nullptr, -5},
  };
  for (const Case& c : cases) {
    int terms[2];
    PieceTerms(c.fen, terms);
    int expected = c.expected + RookSquareTable[White][SquareOf(c.rook)] + Pos.endgameHalf;
    if (c.queen) expected += QueenSquareTable[White][SquareOf(c.queen)];
    if (SquareOf(c.rook) / 8 == 6) expected += Pos.endgameHalf;
    EXPECT_EQ(terms[White], expected) << c.fen;
  }
  // Two connected rooks on an open first rank: 22 + 7 + RookMobility[13] each.
  int terms[2];
  PieceTerms("7k/8/8/8/8/8/8/R3R2K w - - 0 1", terms);
  EXPECT_EQ(terms[White] - RookSquareTable[White][0] - RookSquareTable[White][4] - 2 * Pos.endgameHalf, 2 * (22 + 7 + 21));
}

TEST(PieceTerm, BishopPairByThePawnCount) {
  // The pair adds 22 - (average pawn count) per bishop: 14 in the opening.
  struct Case {
    const char* pawns;   // ranks 7 to 2
    int perBishop;
  } cases[] = {{"pppppppp/8/8/8/8/PPPPPPPP", 14}, {"pppp4/8/8/8/8/PPPP4", 18}, {"8/8/8/8/8/8", 22}};
  for (const Case& c : cases) {
    int both[2], c1[2], f1[2];
    PieceTerms(std::string("4k3/") + c.pawns + "/2B1KB2 w - - 0 1", both);
    PieceTerms(std::string("4k3/") + c.pawns + "/2B1K3 w - - 0 1", c1);
    PieceTerms(std::string("4k3/") + c.pawns + "/4KB2 w - - 0 1", f1);
    EXPECT_EQ(both[White] - c1[White] - f1[White], 2 * c.perBishop) << c.pawns;
  }
}

TEST(PieceTerm, BishopMobilityDiagonalsAndTheWayBack) {
  // BishopDirections[free directions] + BishopMobility[empty squares] + the diagonal terms.
  struct Case {
    const char *fen, *bishop;
    int colour, expected;
  } cases[] = {
      {"4k3/8/8/8/3B4/8/8/4K3 w - - 0 1", "d4", White, 4 + 22},
      // Own b2 pawn ahead: -3, -12 when blocked; no way back from the first rank: 2 (engine's bishop).
      {"7k/8/8/8/8/8/1P6/2B4K w - - 0 1", "c1", White, -4 + 8 - 3 - 2},
      {"7k/8/8/8/8/1p6/1P6/2B4K w - - 0 1", "c1", White, -4 + 8 - 12 - 2},
      {"2b4k/8/8/8/8/8/8/7K w - - 0 1", "c8", Black, 0 + 12 - 1},   // the opponent's bishop: half
      // g6, defended by f7, with f5 empty behind (-2) closes the way back: 164, halved (opponent's).
      {"6k1/5p1B/6p1/8/8/8/8/K7 b - - 0 1", "h7", White, -12 - 8 - 2 - 82},
      {"r6k/8/8/8/8/8/6N1/4K2B w - - 0 1", "h1", White, -12 - 8 + 4 + 7 - 2},   // x-ray onto a rook
  };
  for (const Case& c : cases) {
    SetUpForSearch(c.fen);
    EXPECT_EQ(BishopScore(SquareOf(c.bishop), c.colour), c.expected) << c.fen;
  }
}

}  // namespace

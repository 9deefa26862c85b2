// The piece term: the rook on an open file and the bishop pair by pawn count.
#include <gtest/gtest.h>

#include "eval/eval_internal.h"
#include "eval/tables.h"
#include "eval_helpers.h"

namespace {

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
  };
  for (const Case& c : cases) {
    int terms[2];
    PieceTerms(c.fen, terms);
    int expected = c.expected + RookSquareTable[White][SquareOf(c.rook)] + Pos.endgameHalf;
    EXPECT_EQ(terms[White], expected) << c.fen;
  }
}

TEST(PieceTerm, BishopPairByThePawnCount) {
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

}  // namespace

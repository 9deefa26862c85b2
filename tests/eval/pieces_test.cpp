// The piece term: the rook on an open file and the bishop pair by pawn count.
#include <gtest/gtest.h>

#include <utility>

#include "eval/eval_internal.h"
#include "eval/tables.h"
#include "eval_helpers.h"

namespace {

void PieceTerms(const std::string& fen, int terms[2]) {
  SetUpForSearch(fen);
  PawnStructure(Pos.sideToMove == White, Pos.sideToMove == Black);
  PieceScore(terms);
}

TEST(PieceTerm, RookOnAnOpenFile) {
  int terms[2];
  PieceTerms("7k/8/8/8/R7/8/8/7K w - - 0 1", terms);
  // The open file 22 and RookMobility[14] 22 beyond the table value and endgameHalf.
  EXPECT_EQ(terms[White], 22 + 22 + RookSquareTable[White][SquareOf("a4")] + Pos.endgameHalf);
}

TEST(PieceTerm, BishopPairByThePawnCount) {
  // Ranks 7 to 2, and the bonus per bishop.
  const std::pair<const char*, int> cases[] = {
      {"pppppppp/8/8/8/8/PPPPPPPP", 14}, {"pppp4/8/8/8/8/PPPP4", 18}, {"8/8/8/8/8/8", 22}};
  for (const auto& [pawns, perBishop] : cases) {
    int both[2], c1[2], f1[2];
    PieceTerms(std::string("4k3/") + pawns + "/2B1KB2 w - - 0 1", both);
    PieceTerms(std::string("4k3/") + pawns + "/2B1K3 w - - 0 1", c1);
    PieceTerms(std::string("4k3/") + pawns + "/4KB2 w - - 0 1", f1);
    EXPECT_EQ(both[White] - c1[White] - f1[White], 2 * perBishop) << pawns;
  }
}

}  // namespace

// The tables prepared at the root: the opening pawn table, pawn storms, the bishop-and-knight corners.
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "../board/board_helpers.h"
#include "eval/eval.h"
#include "eval_helpers.h"
#include "eval/tables.h"

namespace {

using RootTables = BoardTest;

TEST_F(RootTables, OpeningPawnTableIsTheBaseLessEight) {
  SetUpForSearch("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
  ASSERT_EQ(Pos.Phase, 16);
  for (int sq = 0; sq < 64; sq++) {
    EXPECT_EQ(PawnSquareTable[White][sq], BasePawnTable[sq] - 8) << sq;
    EXPECT_EQ(PawnSquareTable[Black][sq], BasePawnTable[sq ^ 56] - 8) << sq;
  }
}

TEST_F(RootTables, PawnStormsNeedAKingOnAWingAndPiecesOnTheBoard) {
  constexpr uint8_t QueenSide = 0x07, KingSide = 0xE0;
  // Storm levels of White and Black, and their files where there is a storm.
  const std::tuple<const char*, int, int, uint8_t, uint8_t> cases[] = {
      {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", NoStorm, NoStorm, 0, 0},
      {"2kr3r/pppqbppp/2n1bn2/8/8/2N1BN2/PPPQBPPP/R4RK1 w - - 0 1", 2, 2, QueenSide, KingSide},
      // Phase 4 (queen and rook against queen and bishop): no storm; phase 5 with a knight more: storms.
      {"2q1b1k1/5ppp/8/8/8/8/5PPP/2Q1R1K1 w - - 0 1", NoStorm, NoStorm, 0, 0},
      {"2q1b1k1/5ppp/8/8/8/8/5PPP/1NQ1R1K1 w - - 0 1", 0, 0, QueenSide, QueenSide},
  };
  for (const auto& [fen, whiteLevel, blackLevel, whiteFiles, blackFiles] : cases) {
    SetUpForSearch(fen);
    EXPECT_EQ(std::tuple(StormLevel[White], StormLevel[Black]), std::tuple(whiteLevel, blackLevel)) << fen;
    EXPECT_TRUE(whiteLevel == NoStorm || StormFiles[White] == whiteFiles) << fen;
    EXPECT_TRUE(blackLevel == NoStorm || StormFiles[Black] == blackFiles) << fen;
  }
}

TEST_F(RootTables, BishopAndKnightDriveTheKingIntoTheBishopsCorners) {
  // Dark-squared bishop (c1): the defender stands worst on a1 and h8.
  SetUpForSearch("8/8/8/4K3/8/8/8/k1B2N2 w - - 0 1");
  EXPECT_EQ(std::tuple(KingCentrality[SquareOf("a1")], KingCentrality[SquareOf("h8")]), std::tuple(1, 1));
  EXPECT_EQ(*std::min_element(KingCentrality, KingCentrality + 64), 1);
  EXPECT_GE(std::min(KingCentrality[SquareOf("a8")], KingCentrality[SquareOf("h1")]), 90);

  // Any other material: the centre table.
  SetUpForSearch("8/8/8/4K3/8/8/8/k1B2NN1 w - - 0 1");
  EXPECT_EQ(KingCentrality, CentreTable);
}

TEST_F(RootTables, RootPhaseIsComputedAfreshForEachPosition) {
  // The same material values, but a rook of the first is five pawns in the second: phase 9 against 7.
  SetUpForSearch("1q1r1rk1/8/8/8/8/8/8/1QBR1RK1 w - - 0 1");
  EXPECT_EQ(Pos.Phase, 9);
  SetUpForSearch("1q1r1rk1/8/8/8/8/8/PPPPP3/1QBR2K1 w - - 0 1");
  EXPECT_EQ(Pos.Phase, 7);
}

}  // namespace

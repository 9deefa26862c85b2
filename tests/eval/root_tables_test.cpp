// The tables prepared at the root: the opening pawn table, pawn storms, the bishop-and-knight corners.
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "../board/board_helpers.h"
#include "eval/eval.h"
#include "eval_helpers.h"
#include "eval/tables.h"

namespace {

class RootTables : public BoardTest {
 protected:
  void Prepare(const std::string& fen) {
    ASSERT_TRUE(SetFen(fen)) << fen;
    PrepareEvaluationForSearch(Pos.sideToMove, 0);
    PrepareEvaluation();
  }
};

TEST_F(RootTables, OpeningPawnTableIsTheBaseLessEight) {
  Prepare("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
  ASSERT_EQ(Pos.Phase, 16);
  for (int sq = 0; sq < 64; sq++) {
    EXPECT_EQ(PawnSquareTable[White][sq], BasePawnTable[sq] - 8) << sq;
    EXPECT_EQ(PawnSquareTable[Black][sq], BasePawnTable[sq ^ 56] - 8) << sq;
  }
}

TEST_F(RootTables, PawnStormsNeedAKingOnAWingAndPiecesOnTheBoard) {
  constexpr uint8_t QueenSide = 0x07, KingSide = 0xE0;
  struct Case {
    const char* fen;
    int whiteLevel, blackLevel;
    uint8_t whiteFiles, blackFiles;
  };
  const Case cases[] = {
      {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", NoStorm, NoStorm, 0, 0},
      {"2kr3r/pppqbppp/2n1bn2/8/8/2N1BN2/PPPQBPPP/R4RK1 w - - 0 1", 2, 2, QueenSide, KingSide},
      // Phase 4 (queen and rook against queen and bishop): no storm; phase 5 with a knight more: storms.
      {"2q1b1k1/5ppp/8/8/8/8/5PPP/2Q1R1K1 w - - 0 1", NoStorm, NoStorm, 0, 0},
      {"2q1b1k1/5ppp/8/8/8/8/5PPP/1NQ1R1K1 w - - 0 1", 0, 0, QueenSide, QueenSide},
  };
  for (const Case& c : cases) {
    Prepare(c.fen);
    EXPECT_EQ(std::tuple(StormLevel[White], StormLevel[Black]), std::tuple(c.whiteLevel, c.blackLevel)) << c.fen;
    EXPECT_TRUE(c.whiteLevel == NoStorm || StormFiles[White] == c.whiteFiles) << c.fen;
    EXPECT_TRUE(c.blackLevel == NoStorm || StormFiles[Black] == c.blackFiles) << c.fen;
  }
}

TEST_F(RootTables, BishopAndKnightDriveTheKingIntoTheBishopsCorners) {
  // Dark-squared bishop (c1): the defender stands worst on a1 and h8.
  Prepare("8/8/8/4K3/8/8/8/k1B2N2 w - - 0 1");
  EXPECT_EQ(std::tuple(KingCentrality[SquareOf("a1")], KingCentrality[SquareOf("h8")]), std::tuple(1, 1));
  EXPECT_EQ(*std::min_element(KingCentrality, KingCentrality + 64), 1);
  EXPECT_GE(std::min(KingCentrality[SquareOf("a8")], KingCentrality[SquareOf("h1")]), 90);

  // Any other material: the centre table.
  Prepare("8/8/8/4K3/8/8/8/k1B2NN1 w - - 0 1");
  EXPECT_EQ(KingCentrality, CentreTable);
}

TEST_F(RootTables, RootPhaseIsComputedAfreshForEachPosition) {
  // Both positions give White 2944 and Black 2528, but a rook of the first is five pawns in the
  // second: phase 9 against phase 7.
  Prepare("1q1r1rk1/8/8/8/8/8/8/1QBR1RK1 w - - 0 1");
  EXPECT_EQ(Pos.Phase, 9);
  Prepare("1q1r1rk1/8/8/8/8/8/PPPPP3/1QBR2K1 w - - 0 1");
  EXPECT_EQ(Pos.Phase, 7);
}

}  // namespace

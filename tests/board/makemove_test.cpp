// Making moves: the rules the rebuild along random games cannot see (where a Chess960 castling
// puts king and rook, which castling rights leave the key, when an en-passant
// square is set, which moves are irreversible).
#include <gtest/gtest.h>

#include <vector>

#include "board/keys.h"
#include "board_helpers.h"

namespace {

using MakeMoves = BoardTest;

TEST_F(MakeMoves, Chess960CastlingPlacesKingAndRook) {
  ASSERT_TRUE(SetFen("rk5r/8/8/8/8/8/8/RK4R1 w GAha - 0 1"));
  MakeMove(MakeMoveWord(1, 0, KindCastle));  // king b1 takes its rook on a1: Kc1, Rd1
  EXPECT_EQ(std::vector<int>(Pos.pieceType, Pos.pieceType + 4), (std::vector<int>{Empty, Empty, King, Rook}));
  EXPECT_EQ(std::vector<int>(Pos.moveCount + 2, Pos.moveCount + 4), (std::vector<int>{1, 1}));
  EXPECT_STREQ(CheckPositionConsistency(), "");
}

// The consistency check lets a lost right stay in the key, so these are checked here.
TEST_F(MakeMoves, RookAndKingMovesGiveUpCastlingInTheKey) {
  ASSERT_TRUE(SetFen("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1"));
  const uint64_t start = Pos.key;
  MakeMove(MakeMoveWord(7, 15));  // Rh1-h2: loses the h1 right
  EXPECT_EQ(Pos.key, start ^ PieceKey(Rook, White, 7) ^ PieceKey(Rook, White, 15) ^ castleEpKey[7]);
  UnmakeMove();
  MakeMove(MakeMoveWord(4, 5));  // Ke1-f1: loses both rights
  const uint64_t afterKing =
      start ^ PieceKey(King, White, 4) ^ PieceKey(King, White, 5) ^ castleEpKey[0] ^ castleEpKey[7];
  EXPECT_EQ(Pos.key, afterKing);
  MakeMove(MakeMoveWord(60, 59));  // Ke8-d8
  const uint64_t afterBlack =
      afterKing ^ PieceKey(King, Black, 60) ^ PieceKey(King, Black, 59) ^ castleEpKey[56] ^ castleEpKey[63];
  EXPECT_EQ(Pos.key, afterBlack);
  MakeMove(MakeMoveWord(5, 4));    // Kf1-e1: nothing more to lose
  MakeMove(MakeMoveWord(59, 51));  // Kd8-d7
  MakeMove(MakeMoveWord(7, 15));   // the rook's right is already gone
  EXPECT_EQ(Pos.key, afterBlack ^ PieceKey(King, White, 5) ^ PieceKey(King, White, 4) ^ PieceKey(King, Black, 59) ^
                         PieceKey(King, Black, 51) ^ PieceKey(Rook, White, 7) ^ PieceKey(Rook, White, 15));
}

TEST_F(MakeMoves, CapturingARookOnItsSquareTakesOnlyTheMoversRightOutOfTheKey) {
  ASSERT_TRUE(SetFen("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1"));
  const uint64_t start = Pos.key;
  MakeMove(MakeMoveWord(7, 63, KindCapture));  // Rh1xh8
  EXPECT_EQ(Pos.key,
            start ^ PieceKey(Rook, White, 7) ^ PieceKey(Rook, White, 63) ^ PieceKey(Rook, Black, 63) ^ castleEpKey[7]);
  EXPECT_STREQ(CheckPositionConsistency(), "");
}

// Each move from the start position: the en-passant square it leaves (only where an enemy pawn
// can take) and whether it resets the irreversible ply (pawn moves and captures).
TEST_F(MakeMoves, EnPassantSquaresAndIrreversibleMoves) {
  const struct {
    Move move;
    int epSquare;
    bool irreversible;
  } moves[] = {
      {MakeMoveWord(12, 28), 0, true},               // e2-e4: no black pawn beside e4
      {MakeMoveWord(57, 42), 0, false},              // Nb8-c6
      {MakeMoveWord(28, 36), 0, true},               // e4-e5
      {MakeMoveWord(51, 35), 43, true},              // d7-d5 beside the pawn on e5
      {MakeMoveWord(6, 21), 0, false},               // Ng1-f3: the square leaves with the next move
      {MakeMoveWord(42, 36, KindCapture), 0, true},  // Nc6xe5
  };
  for (const auto& m : moves) {
    const int lastIrreversible = Pos.lastIrreversiblePly;
    MakeMove(m.move);
    EXPECT_EQ(Pos.epSquare, m.epSquare) << Text(m.move);
    EXPECT_EQ(Pos.lastIrreversiblePly, m.irreversible ? Pos.ply : lastIrreversible) << Text(m.move);
  }
  EXPECT_STREQ(CheckPositionConsistency(), "");
}

}  // namespace

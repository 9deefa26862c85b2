// Making moves: which castling rights leave the key (the consistency check lets a lost right stay in it).
#include <gtest/gtest.h>

#include "board/keys.h"
#include "board_helpers.h"

namespace {

using MakeMoves = BoardTest;

TEST_F(MakeMoves, RookAndKingMovesGiveUpCastlingInTheKey) {
  ASSERT_TRUE(SetFen("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1"));
  const uint64_t start = Pos.key;
  MakeMove(MakeMoveWord(7, 15));  // Rh1-h2: loses the h1 right
  EXPECT_EQ(Pos.key, start ^ PieceKey(Rook, White, 7) ^ PieceKey(Rook, White, 15) ^ castleEpKey[7]);
  UnmakeMove();
  MakeMove(MakeMoveWord(7, 63, KindCapture));  // Rh1xh8 takes only the mover's right out of the key
  EXPECT_EQ(Pos.key,
            start ^ PieceKey(Rook, White, 7) ^ PieceKey(Rook, White, 63) ^ PieceKey(Rook, Black, 63) ^ castleEpKey[7]);
  EXPECT_STREQ(CheckPositionConsistency(), "");
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

}  // namespace

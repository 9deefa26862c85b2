// Set-up from FEN: the accepted and refused forms, and the derived state after set-up.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "board_helpers.h"

namespace {

class Setup : public BoardTest {};

TEST_F(Setup, EnPassantSquareOnlyWhenAPawnCanCapture) {
  ASSERT_TRUE(SetFen("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1"));
  EXPECT_EQ(Pos.epSquare, 0);
  uint64_t without = Pos.key;
  ASSERT_TRUE(SetFen("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq - 0 1"));
  EXPECT_EQ(Pos.key, without);
  ASSERT_TRUE(SetFen("rnbqkbnr/ppp1pppp/8/8/3pP3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1"));
  EXPECT_EQ(Pos.epSquare, 20);
  EXPECT_NE(Pos.key & 0xFFFFFFFFu, without & 0xFFFFFFFFu);
}

TEST_F(Setup, CastlingRightWithoutItsRook) {
  ASSERT_TRUE(SetFen("4k3/8/8/8/8/8/8/4K3 w K - 0 1"));
  EXPECT_EQ(Pos.moveCount[7], 0);
  EXPECT_EQ(Pos.moveCount[4], 0);
  for (Move m : LegalMoves(0)) EXPECT_NE(Text(m), "e1g1");
  Move castle = MakeMoveWord(4, 6);
  EXPECT_EQ(IsPseudoLegal(White, &castle), 0);
}

TEST_F(Setup, RefusedFensKeepThePreviousPosition) {
  ASSERT_TRUE(SetFen("4k3/8/8/8/8/2N5/8/4K2R w K - 0 1"));
  Position before = Pos;
  int side = Game.side;
  const char* bad[] = {
      "4k3/8/8/8/8/PPPPPPPP/P7/4K3 w - - 0 1",      // nine pawns
      "4k3/8/8/8/8/8/8/3KK3 w - - 0 1",             // two white kings
      "4k3/8/8/8/8/8/8/8 w - - 0 1",                // no white king
      "4k3/8/8/8/8/8/8/4K3 w -",                    // ten fields
      "4k3/8/8/8/8/8/8/4X3 w - - 0 1",              // unknown letter
      "4k3/4R3/8/8/8/8/8/4K3 w - - 0 1",            // the side to move could take the king
      "4k3/8/8/8/8/8/8/4K3 {w - - 0 1}",             // a comment hides the other fields
      "nnnn1k2/8/8/8/8/8/8/4K3 w - - 0 1",          // a fourth knight
      "4k3/8/8/8/8/8/8/4K1p1 b - - 0 1",            // a black pawn on its promotion rank
      "4kP2/8/8/8/8/8/8/4K3 w - - 0 1",             // a white pawn on its promotion rank
      "4k3/8/8/8/8/8/8/4K1P1 w - - 0 1",            // a white pawn on its own first rank
      "4k3/8/8/8/8/8/8/4K3 w - - 0 1234567890123456789012345678901234",   // over-long field
  };
  for (const char* fen : bad) {
    EXPECT_EQ(ParseFen(fen), 0) << fen;
    EXPECT_EQ(0, std::memcmp(&Pos, &before, sizeof Pos)) << fen;
    EXPECT_EQ(Game.side, side) << fen;
  }
}

TEST_F(Setup, RandomAndTruncatedTextNeverBreaksThePosition) {
  std::mt19937 rng(1234);
  const std::string good = "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1";
  for (int i = 0; i < 3000; i++) {
    std::string text;
    if (i % 3 == 0) {
      text = good.substr(0, rng() % (good.size() + 1));
    } else if (i % 3 == 1) {
      text = good;
      for (int k = 0; k < 4; k++) text[rng() % text.size()] = char(rng() % 256);
    } else {
      int len = int(rng() % 200);
      for (int k = 0; k < len; k++) text += char(1 + rng() % 255);
    }
    ParseFen(text.c_str());
    ASSERT_STREQ(CheckPositionConsistency(), "") << i;
  }
}

}  // namespace

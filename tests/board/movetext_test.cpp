// Move text: reading coordinate and SAN input, and writing every output style.
#include <gtest/gtest.h>

#include <string>

#include "board_helpers.h"

namespace {

class MoveText : public ::testing::Test {
 protected:
  void SetUp() override { BoardReady(); }

  // The PGN text of a move for the game side, with the SAN information taken before making it.
  static std::string Pgn(Move m) {
    if (GivesCheck(m, Game.side)) m |= CheckMark;
    return MoveToText(m, uint16_t(TextPgn | SanInfo(m)));
  }
};

TEST_F(MoveText, OnePushManySpellings) {
  const Move e2e4 = MakeMoveWord(12, 28);
  for (const char* text : {"e2e4", "e4", "Pe4", "e2-e4", "e4+", "e4!?"}) EXPECT_EQ(ParseMoveText(text), e2e4) << text;
  EXPECT_EQ(ParseMoveText("e5"), 0);   // no pawn behind
  EXPECT_EQ(ParseMoveText("Xe4"), 0);  // unknown piece letter
  EXPECT_EQ(ParseMoveText("e9"), 0);
  EXPECT_EQ(ParseMoveText(""), 0);
  EXPECT_EQ(ParseMoveText("Nf3"), MakeMoveWord(6, 21));
  EXPECT_EQ(ParseMoveText("nc3"), MakeMoveWord(1, 18));  // a lower-case n is still a knight
  EXPECT_EQ(ParseMoveText("Ng1f3"), MakeMoveWord(6, 21));
  EXPECT_EQ(ParseMoveText("Bg1f3"), 0);  // the piece on g1 is no bishop
}

TEST_F(MoveText, OriginFileSettlesAmbiguity) {
  ASSERT_TRUE(SetFen("4k3/8/8/8/8/5N2/8/1N2K3 w - - 0 1"));
  EXPECT_EQ(ParseMoveText("Nbd2"), MakeMoveWord(1, 11));
  EXPECT_EQ(ParseMoveText("Nfd2"), MakeMoveWord(21, 11));
  EXPECT_EQ(ParseMoveText("Nd2"), 0);
  EXPECT_EQ(FindOrigin(White, Knight, -1, -1, 11), 255);
  // With the b1 knight pinned by the rook on a1, only the f3 knight can go.
  ASSERT_TRUE(SetFen("4k3/8/8/8/8/5N2/8/rN2K3 w - - 0 1"));
  EXPECT_EQ(ParseMoveText("Nd2"), MakeMoveWord(21, 11));
}

TEST_F(MoveText, EnPassantInSan) {
  ASSERT_TRUE(SetFen("4k3/3p4/8/4P3/8/8/8/4K3 b - - 0 1"));
  ASSERT_TRUE(Play("d7d5"));
  Move m = ParseMoveText("exd6");
  EXPECT_EQ(m, MakeMoveWord(36, 43));
  ASSERT_EQ(IsPseudoLegal(White, &m), 1);
  EXPECT_EQ(m, MakeMoveWord(36, 43, KindEnPassant));
}

TEST_F(MoveText, PromotionSpellings) {
  ASSERT_TRUE(SetFen("k7/4P3/8/8/8/8/8/4K3 w - - 0 1"));
  const Move queen = MakeMoveWord(52, 60, KindPromoQueen);
  for (const char* text : {"e8=Q+", "e8Q", "e7e8q", "e7e8Q", "e8=q"}) EXPECT_EQ(ParseMoveText(text), queen) << text;
  EXPECT_EQ(ParseMoveText("e8=N"), MakeMoveWord(52, 60, KindPromoKnight));
  EXPECT_EQ(ParseMoveText("e7e8r"), MakeMoveWord(52, 60, KindPromoRook));
}

TEST_F(MoveText, CastlingOnlyInCoordinates) {
  ASSERT_TRUE(SetFen("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1"));
  EXPECT_EQ(ParseMoveText("O-O"), 0);
  EXPECT_EQ(ParseMoveText("O-O-O"), 0);
  Move m = ParseMoveText("e1g1");
  EXPECT_EQ(m, MakeMoveWord(4, 6));
  ASSERT_EQ(IsPseudoLegal(White, &m), 1);
  EXPECT_EQ(m, MakeMoveWord(4, 6, KindCastle));
}

TEST_F(MoveText, UciStyle) {
  // The trailing space separates words on the UCI line; promotion letters are lower case there.
  EXPECT_STREQ(MoveToText(MakeMoveWord(52, 60, KindPromoQueen), TextUci), "e7e8q ");
  EXPECT_STREQ(MoveToText(MakeMoveWord(52, 61, KindPromoKnight), TextUci), "e7f8n ");
  EXPECT_STREQ(MoveToText(MakeMoveWord(4, 6, KindCastle), TextUci), "e1g1 ");
  EXPECT_STREQ(MoveToText(Move(MakeMoveWord(12, 28) | CheckMark), TextUci), "e2e4 ");  // no check sign
  EXPECT_STREQ(MoveToText(0, TextUci), "        ");
}

TEST_F(MoveText, LongAlgebraicAndPadding) {
  EXPECT_STREQ(MoveToText(MakeMoveWord(12, 28), 0), "e2-e4   ");
  EXPECT_STREQ(MoveToText(MakeMoveWord(28, 35, KindCapture), 0), "e4xd5   ");
  EXPECT_STREQ(MoveToText(Move(MakeMoveWord(28, 35, KindCapture) | CheckMark), 0), "e4xd5+  ");
  EXPECT_STREQ(MoveToText(MakeMoveWord(51, 58, KindPromoRook), 0), "d7xc8R  ");
  EXPECT_STREQ(MoveToText(MakeMoveWord(4, 2, KindCastle), 0), "O-O-O   ");
  EXPECT_STREQ(MoveToText(MakeMoveWord(12, 28), TextSan | Pawn), "e4     ");
  EXPECT_STREQ(MoveToText(MakeMoveWord(6, 21), TextSan | Knight), "Nf3    ");
  EXPECT_STREQ(MoveToText(MakeMoveWord(12, 28), TextNoPadding), "e2-e4");
  EXPECT_STREQ(MoveToText(0, 0), "        ");
  EXPECT_STREQ(MoveToText(0, TextPgn), "        ");
}

TEST_F(MoveText, PgnText) {
  ASSERT_TRUE(SetFen("4k3/8/8/8/8/5N2/8/1N2K3 w - - 0 1"));
  EXPECT_EQ(SanInfo(MakeMoveWord(1, 11)), Knight | 8);
  EXPECT_EQ(Pgn(MakeMoveWord(1, 11)), "Nbd2");
  EXPECT_EQ(Pgn(MakeMoveWord(21, 38)), "Ng5");

  ASSERT_TRUE(SetFen("4k3/8/8/8/8/N7/8/N3K3 w - - 0 1"));  // both on the a-file: the rank tells them apart
  EXPECT_EQ(SanInfo(MakeMoveWord(0, 10)), Knight | 16);
  EXPECT_EQ(Pgn(MakeMoveWord(0, 10)), "N1c2");

  ASSERT_TRUE(SetFen("8/8/4k3/3p4/4P3/8/8/4K3 w - - 0 1"));
  EXPECT_EQ(Pgn(MakeMoveWord(28, 35, KindCapture)), "exd5+");

  ASSERT_TRUE(SetFen("8/4P3/1k6/8/8/8/8/4K3 w - - 0 1"));
  EXPECT_EQ(Pgn(MakeMoveWord(52, 60, KindPromoQueen)), "e8Q");
  ASSERT_TRUE(SetFen("3r4/4P3/1k6/8/8/8/8/4K3 w - - 0 1"));
  EXPECT_EQ(Pgn(MakeMoveWord(52, 59, KindPromoKnight)), "exd8N");

  ASSERT_TRUE(SetFen("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1"));
  EXPECT_EQ(Pgn(MakeMoveWord(4, 6, KindCastle)), "O-O");
  EXPECT_EQ(Pgn(MakeMoveWord(4, 2, KindCastle)), "O-O-O");
}

TEST_F(MoveText, GameMovesKeepTheirSanInformation) {
  ASSERT_TRUE(SetFen("4k3/8/8/8/8/5N2/8/1N2K3 w - - 0 1"));
  ASSERT_TRUE(Play("Nbd2"));
  const GameRecord& g = Game.history[Game.index];
  EXPECT_EQ(g.sanWord & 0x3FF, Knight | 8);
  EXPECT_STREQ(MoveToText(g.move, uint16_t(TextPgn | (g.sanWord & 0x3FF))), "Nbd2");
}

}  // namespace

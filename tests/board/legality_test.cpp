// Pseudo-legality of moves from outside the generators, castling tests and check detection.
#include <gtest/gtest.h>

#include "board_helpers.h"

namespace {

class Legality : public ::testing::Test {
 protected:
  void SetUp() override { BoardReady(); }

  // IsPseudoLegal for the game side; the completed word goes to `out`.
  static int Check(int from, int to, Move kind = KindQuiet, Move* out = nullptr) {
    Move m = MakeMoveWord(from, to, kind);
    int ok = IsPseudoLegal(Game.side, &m);
    if (out) *out = m;
    return ok;
  }
};

TEST_F(Legality, PawnPushToTheLastRankBecomesAQueenPromotion) {
  ASSERT_TRUE(SetFen("k7/4P3/8/8/8/8/8/4K3 w - - 0 1"));
  Move m = 0;
  EXPECT_EQ(Check(52, 60, KindQuiet, &m), 1);
  EXPECT_EQ(m, MakeMoveWord(52, 60, KindPromoQueen));
  EXPECT_EQ(Check(52, 60, KindPromoKnight, &m), 1);  // a given promotion kind stays
  EXPECT_EQ(m, MakeMoveWord(52, 60, KindPromoKnight));
}

TEST_F(Legality, PawnCapturesNeedAVictimOrTheEnPassantSquare) {
  EXPECT_EQ(Check(12, 19), 0);  // e2xd3 onto an empty square
  ASSERT_TRUE(SetFen("rnbqkbnr/ppp1pppp/8/8/3pP3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1"));
  Move m = 0;
  EXPECT_EQ(Check(27, 20, KindQuiet, &m), 1);
  EXPECT_EQ(m, MakeMoveWord(27, 20, KindEnPassant));
  EXPECT_EQ(Check(27, 18), 0);  // d4xc3: empty and not the en-passant square
}

TEST_F(Legality, DoubleStepNeedsBothSquaresEmpty) {
  ASSERT_TRUE(SetFen("4k3/8/8/8/8/4n3/4P3/4K3 w - - 0 1"));
  EXPECT_EQ(Check(12, 28), 0);
  EXPECT_EQ(Check(12, 20), 0);
  ASSERT_TRUE(SetFen("4k3/8/8/8/4n3/8/4P3/4K3 w - - 0 1"));
  EXPECT_EQ(Check(12, 28), 0);
  EXPECT_EQ(Check(12, 20), 1);
}

TEST_F(Legality, StandardCastling) {
  ASSERT_TRUE(SetFen("4k3/8/8/8/8/8/8/4K2R w K - 0 1"));
  Move m = 0;
  EXPECT_EQ(Check(4, 6, KindQuiet, &m), 1);
  EXPECT_EQ(m, MakeMoveWord(4, 6, KindCastle));

  ASSERT_TRUE(SetFen("4kr2/8/8/8/8/8/8/4K2R w K - 0 1"));  // f1 is attacked
  EXPECT_EQ(Check(4, 6), 0);

  // A rook without the right stands on h1 with move count 1.
  ASSERT_TRUE(SetFen("4k3/8/8/8/8/8/8/4K2R w - - 0 1"));
  EXPECT_EQ(Pos.moveCount[7], 1);
  EXPECT_EQ(Check(4, 6), 0);

  // The rook leaves h1 and comes back: it has moved, and the right is gone.
  ASSERT_TRUE(SetFen("4k3/8/8/8/8/8/8/4K2R w K - 0 1"));
  for (const char* text : {"h1h2", "e8d8", "h2h1", "d8e8"}) ASSERT_TRUE(Play(text)) << text;
  EXPECT_EQ(Pos.moveCount[7], 2);
  EXPECT_EQ(Check(4, 6), 0);
}

TEST_F(Legality, Chess960QueenSideFromB1) {
  // King b1 takes its own rook on a1: king to c1, rook to d1.
  ASSERT_TRUE(SetFen("rk5r/8/8/8/8/8/8/RK4R1 w GAha - 0 1"));
  ASSERT_TRUE(Chess960Mode());
  Move m = 0;
  EXPECT_EQ(Check(1, 0, KindQuiet, &m), 1);
  EXPECT_EQ(m, MakeMoveWord(1, 0, KindCastle));
  EXPECT_EQ(Check(1, 6, KindQuiet, &m), 1);
  EXPECT_EQ(m, MakeMoveWord(1, 6, KindCastle));
  EXPECT_EQ(Check(1, 2), 1);                                    // an ordinary king step to c1 is no castling
  ASSERT_TRUE(SetFen("rk5r/8/8/8/8/b7/8/RK4R1 w GAha - 0 1"));  // c1 attacked
  EXPECT_EQ(Check(1, 0), 0);
  ASSERT_TRUE(SetFen("rk5r/8/8/8/8/8/8/RKN3R1 w GAha - 0 1"));  // c1 occupied
  EXPECT_EQ(Check(1, 0), 0);
  ASSERT_TRUE(SetFen("rk5r/8/8/8/8/8/8/RK1N2R1 w GAha - 0 1"));  // d1 occupied
  EXPECT_EQ(Check(1, 0), 0);
  // d1 attacked does not matter: the king does not pass it.
  ASSERT_TRUE(SetFen("rk1r4/8/8/8/8/8/8/RK4R1 w Aa - 0 1"));
  EXPECT_EQ(Check(1, 0), 1);
}

TEST_F(Legality, PiecesMoveOnlyWhereTheyAttackDirectly) {
  // The bishop on a1 sees c3 only through its own queen on b2.
  ASSERT_TRUE(SetFen("4k3/8/8/8/8/8/1Q6/B3K3 w - - 0 1"));
  EXPECT_NE(Pos.attackTable[White][18].xrayAttackers & Pos.slotBit[0], 0u);
  EXPECT_EQ(Check(0, 18), 0);
  EXPECT_EQ(Check(9, 18), 1);
  Move m = 0;
  ASSERT_TRUE(SetFen("4k3/8/8/8/8/8/1r6/B3K3 w - - 0 1"));
  EXPECT_EQ(Check(0, 9, KindQuiet, &m), 1);
  EXPECT_EQ(m, MakeMoveWord(0, 9, KindCapture));
  EXPECT_EQ(Check(0, 18), 0);
}

TEST_F(Legality, PinnedKnightPassesHereButNotInTheGame) {
  ASSERT_TRUE(SetFen("4k3/4r3/8/8/8/8/4N3/4K3 w - - 0 1"));
  Move m = 0;
  EXPECT_EQ(Check(12, 18, KindQuiet, &m), 1);
  EXPECT_EQ(PlayGameMove(m, White), 0);
  EXPECT_EQ(Pos.pieceType[12], Knight);
  EXPECT_STREQ(CheckPositionConsistency(), "");
}

TEST_F(Legality, KingMayNotStepOntoAnAttackedSquare) {
  ASSERT_TRUE(SetFen("4k3/8/8/8/8/8/3r4/4K3 w - - 0 1"));
  EXPECT_EQ(Check(4, 11, KindQuiet), 1);  // takes the undefended rook
  EXPECT_EQ(Check(4, 12), 0);             // e2 is on the rook's rank
  ASSERT_TRUE(SetFen("3rk3/8/8/8/8/8/3r4/4K3 w - - 0 1"));
  EXPECT_EQ(Check(4, 11), 0);  // now defended
}

TEST_F(Legality, GivesCheck) {
  ASSERT_TRUE(SetFen("4k3/8/8/8/6N1/8/8/R3K3 w - - 0 1"));
  EXPECT_EQ(GivesCheck(MakeMoveWord(30, 45), White), 11 * 8 + Knight);  // Ng4-f6: jump +15 to e8
  EXPECT_EQ(GivesCheck(MakeMoveWord(30, 36), White), 0);                // Ng4-e5
  EXPECT_EQ(GivesCheck(MakeMoveWord(0, 56), White), 0 * 8 + Rook);      // Ra1-a8 along the rank
  EXPECT_EQ(GivesCheck(MakeMoveWord(0, 8), White), 0);                  // Ra1-a2

  // The rook on c6 leaves the bishop's diagonal a4-e8.
  ASSERT_TRUE(SetFen("4k3/8/2R5/8/B7/8/8/4K3 w - - 0 1"));
  EXPECT_EQ(GivesCheck(MakeMoveWord(42, 10), White), 5 * 8 + Bishop);
  EXPECT_EQ(GivesCheck(MakeMoveWord(42, 58), White), 0 * 8 + Rook);    // Rc6-c8 checks itself
  EXPECT_EQ(GivesCheck(MakeMoveWord(42, 43), White), 5 * 8 + Bishop);  // Rc6-d6 also uncovers it

  // A pawn checks diagonally.
  ASSERT_TRUE(SetFen("8/8/4k3/8/4P3/8/8/4K3 w - - 0 1"));
  EXPECT_EQ(GivesCheck(MakeMoveWord(28, 36), White), 0);
  ASSERT_TRUE(SetFen("8/8/4k3/3p4/4P3/8/8/4K3 w - - 0 1"));
  EXPECT_EQ(GivesCheck(MakeMoveWord(28, 35, KindCapture), White), 1);
}

}  // namespace

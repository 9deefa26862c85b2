// Making and unmaking moves: every derived field stays exact and comes back unchanged,
// and the key follows the castling and en-passant rules.
#include <gtest/gtest.h>

#include <string>

#include "board/keys.h"
#include "board_helpers.h"
#include "same_position.h"

namespace {

const char* StartFen = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";
const char* Kiwipete = "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1";

class MakeUnmake : public ::testing::Test {
 protected:
  void SetUp() override { BoardReady(); }

  // Parses and completes a move for the game side of the current position.
  static Move Completed(const std::string& text) {
    Move m = ParseMoveText(text.c_str());
    if (!m || !IsPseudoLegal(Game.side, &m)) return 0;
    return m;
  }

  static void RoundTrip(const std::string& fen, const std::string& text, Move expected) {
    SCOPED_TRACE(fen + " " + text);
    ASSERT_TRUE(SetFen(fen));
    Move m = Completed(text);
    ASSERT_EQ(m, expected);
    Position before = Pos;
    MakeMove(m);
    EXPECT_STREQ(CheckPositionConsistency(), "");
    EXPECT_EQ(Pos.lastTo, MoveTo(m));
    EXPECT_EQ(Pos.sideToMove, before.sideToMove ^ 1);
    UnmakeMove();
    EXPECT_STREQ(CheckPositionConsistency(), "");
    EXPECT_EQ(FirstDifference(Pos, before), "");
  }
};

TEST_F(MakeUnmake, QuietCaptureAndEnPassant) {
  RoundTrip(StartFen, "g1f3", MakeMoveWord(6, 21));
  RoundTrip(StartFen, "e2e4", MakeMoveWord(12, 28));
  RoundTrip(Kiwipete, "e5f7", MakeMoveWord(36, 53, KindCapture));
  RoundTrip(Kiwipete, "d5e6", MakeMoveWord(35, 44, KindCapture));
  RoundTrip(Kiwipete, "f3f6", MakeMoveWord(21, 45, KindCapture));
  RoundTrip("rnbqkbnr/ppp1pppp/8/8/3pP3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1", "d4e3",
            MakeMoveWord(27, 20, KindEnPassant));
}

TEST_F(MakeUnmake, PromotionsWithAndWithoutCapture) {
  const char* fen = "r3k3/1P6/8/8/8/8/8/4K3 w - - 0 1";
  const char letters[] = {'q', 'n', 'r', 'b'};
  const Move kinds[] = {KindPromoQueen, KindPromoKnight, KindPromoRook, KindPromoBishop};
  for (int i = 0; i < 4; i++) {
    RoundTrip(fen, std::string("b7b8") + letters[i], MakeMoveWord(49, 57, kinds[i]));
    RoundTrip(fen, std::string("b7a8") + letters[i], MakeMoveWord(49, 56, kinds[i]));
  }
}

TEST_F(MakeUnmake, CastlingStandardAndChess960) {
  RoundTrip(Kiwipete, "e1g1", MakeMoveWord(4, 6, KindCastle));
  RoundTrip(Kiwipete, "e1c1", MakeMoveWord(4, 2, KindCastle));
  RoundTrip("r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1", "e8c8", MakeMoveWord(60, 58, KindCastle));
  // Chess960: king b1, rooks a1 and g1; the move names the rook's square.
  const char* fen960 = "rk5r/8/8/8/8/8/8/RK4R1 w GAha - 0 1";
  RoundTrip(fen960, "b1g1", MakeMoveWord(1, 6, KindCastle));
  RoundTrip(fen960, "b1a1", MakeMoveWord(1, 0, KindCastle));
}

TEST_F(MakeUnmake, Chess960CastlingPlacesKingAndRook) {
  ASSERT_TRUE(SetFen("rk5r/8/8/8/8/8/8/RK4R1 w GAha - 0 1"));
  MakeMove(MakeMoveWord(1, 0, KindCastle));
  EXPECT_EQ(Pos.pieceType[2], King);
  EXPECT_EQ(Pos.pieceType[3], Rook);
  EXPECT_EQ(Pos.pieceType[0], Empty);
  EXPECT_EQ(Pos.pieceType[1], Empty);
  EXPECT_EQ(Pos.moveCount[2], 1);
  EXPECT_EQ(Pos.moveCount[3], 1);
  EXPECT_STREQ(CheckPositionConsistency(), "");
}

TEST_F(MakeUnmake, NullMove) {
  ASSERT_TRUE(SetFen("rnbqkbnr/ppp1pppp/8/8/3pP3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1"));
  Position before = Pos;
  MakeNullMove();
  EXPECT_EQ(Pos.sideToMove, White);
  EXPECT_EQ(Pos.epSquare, 0);
  EXPECT_EQ(Pos.key, before.key ^ castleEpKey[20]);
  EXPECT_EQ(Pos.ply, before.ply + 1);
  EXPECT_STREQ(CheckPositionConsistency(), "");
  UnmakeNullMove();
  EXPECT_EQ(FirstDifference(Pos, before), "");
}

TEST_F(MakeUnmake, RookAndKingMovesGiveUpCastlingInTheKey) {
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
  MakeMove(MakeMoveWord(5, 4));  // Kf1-e1: nothing more to lose
  EXPECT_EQ(Pos.key, afterBlack ^ PieceKey(King, White, 5) ^ PieceKey(King, White, 4));
  MakeMove(MakeMoveWord(59, 51));  // Kd8-d7
  MakeMove(MakeMoveWord(7, 15));   // the rook's right is already gone
  EXPECT_EQ(Pos.key, afterBlack ^ PieceKey(King, White, 5) ^ PieceKey(King, White, 4) ^ PieceKey(King, Black, 59) ^
                         PieceKey(King, Black, 51) ^ PieceKey(Rook, White, 7) ^ PieceKey(Rook, White, 15));
  EXPECT_STREQ(CheckPositionConsistency(), "");
}

TEST_F(MakeUnmake, CapturingARookOnItsSquareAddsNoCastlingKey) {
  ASSERT_TRUE(SetFen("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1"));
  const uint64_t start = Pos.key;
  MakeMove(MakeMoveWord(7, 63, KindCapture));  // Rh1xh8: the mover's right goes, the victim's adds nothing
  EXPECT_EQ(Pos.key,
            start ^ PieceKey(Rook, White, 7) ^ PieceKey(Rook, White, 63) ^ PieceKey(Rook, Black, 63) ^ castleEpKey[7]);
  EXPECT_STREQ(CheckPositionConsistency(), "");
}

TEST_F(MakeUnmake, DoubleStepWithoutEnemyPawnSetsNoEnPassant) {
  const uint64_t start = Pos.key;
  MakeMove(MakeMoveWord(12, 28));
  EXPECT_EQ(Pos.epSquare, 0);
  EXPECT_EQ(Pos.key, start ^ PieceKey(Pawn, White, 12) ^ PieceKey(Pawn, White, 28));
  EXPECT_EQ(Pos.lastIrreversiblePly, Pos.ply);  // a pawn move
  MakeMove(MakeMoveWord(57, 42));               // a knight move keeps it
  EXPECT_EQ(Pos.lastIrreversiblePly, Pos.ply - 1);
  MakeMove(MakeMoveWord(28, 36));
  MakeMove(MakeMoveWord(51, 35));  // d7-d5 next to the pawn on e5
  EXPECT_EQ(Pos.epSquare, 43);
  EXPECT_EQ(Pos.key, start ^ PieceKey(Pawn, White, 12) ^ PieceKey(Pawn, White, 36) ^ PieceKey(Knight, Black, 57) ^
                         PieceKey(Knight, Black, 42) ^ PieceKey(Pawn, Black, 51) ^ PieceKey(Pawn, Black, 35) ^
                         castleEpKey[43]);
  MakeMove(MakeMoveWord(6, 21));  // the en-passant key leaves with the next move
  EXPECT_EQ(Pos.epSquare, 0);
  EXPECT_STREQ(CheckPositionConsistency(), "");
}

TEST_F(MakeUnmake, CaptureSetsLastIrreversiblePly) {
  ASSERT_TRUE(SetFen(Kiwipete));
  MakeMove(MakeMoveWord(21, 22));  // Qf3-g3: reversible
  EXPECT_EQ(Pos.lastIrreversiblePly, Pos.ply - 1);
  MakeMove(MakeMoveWord(44, 35, KindCapture));  // exd5
  EXPECT_EQ(Pos.lastIrreversiblePly, Pos.ply);
  UnmakeMove();
  EXPECT_EQ(Pos.lastIrreversiblePly, Pos.ply - 1);
}

}  // namespace

// Pseudo-legality of moves from outside the generators, castling tests and pins.
#include <gtest/gtest.h>

#include <tuple>

#include "board_helpers.h"

namespace {

using Legality = BoardTest;

const char* const Start = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

TEST_F(Legality, MovesFromOutsideAreCheckedAndCompleted) {
  // A move word from outside (FEN, origin, destination, kind): whether it passes, the kind it is completed to.
  const std::tuple<const char*, int, int, Move, int, Move> cases[] = {
      {"k7/4P3/8/8/8/8/8/4K3 w - - 0 1", 52, 60, KindQuiet, 1, KindPromoQueen},  // a push to the last rank
      {Start, 12, 19, KindQuiet, 0, 0},                                          // a pawn capture onto an empty square
      {"rnbqkbnr/ppp1pppp/8/8/3pP3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1", 27, 20, KindQuiet, 1, KindEnPassant},
      {"4k3/8/8/8/8/4n3/4P3/4K3 w - - 0 1", 12, 28, KindQuiet, 0, 0},  // the double step needs both squares
      {"4k3/8/8/8/8/8/8/4K2R w K - 0 1", 4, 6, KindQuiet, 1, KindCastle},
      // Chess960: the king takes its own rook; an ordinary step to c1 is no castling.
      {"rk5r/8/8/8/8/8/8/RK4R1 w GAha - 0 1", 1, 0, KindQuiet, 1, KindCastle},  // king b1, rooks a1 and g1
      {"rk5r/8/8/8/8/b7/8/RK4R1 w GAha - 0 1", 1, 0, KindQuiet, 0, 0},         // c1 attacked
      {"rk1r4/8/8/8/8/8/8/RK4R1 w Aa - 0 1", 1, 0, KindQuiet, 1, KindCastle},  // d1 attacked: the king does not pass it
      // Pieces move only where they attack directly: the bishop sees c3 only through its queen.
      {"4k3/8/8/8/8/8/1Q6/B3K3 w - - 0 1", 0, 18, KindQuiet, 0, 0},
      // The king may not step onto an attacked square, nor take a defended piece.
      {"3rk3/8/8/8/8/8/3r4/4K3 w - - 0 1", 4, 11, KindQuiet, 0, 0},
  };
  for (const auto& [fen, from, to, kind, ok, completed] : cases) {
    ASSERT_TRUE(SetFen(fen)) << fen;
    Move m = MakeMoveWord(from, to, kind);
    EXPECT_EQ(IsPseudoLegal(Game.side, &m), ok) << fen << " " << from << "-" << to;
    EXPECT_TRUE(!ok || m == MakeMoveWord(from, to, completed)) << fen << " " << from << "-" << to;
  }
  // A rook that leaves h1 and comes back has moved: the right is gone.
  ASSERT_TRUE(SetFen("4k3/8/8/8/8/8/8/4K2R w K - 0 1"));
  for (const char* text : {"h1h2", "e8d8", "h2h1", "d8e8"}) ASSERT_TRUE(Play(text)) << text;
  Move castle = MakeMoveWord(4, 6);
  EXPECT_EQ(IsPseudoLegal(White, &castle), 0);
}

TEST_F(Legality, PinnedKnightPassesHereButNotInTheGame) {
  ASSERT_TRUE(SetFen("4k3/4r3/8/8/8/8/4N3/4K3 w - - 0 1"));
  Move m = MakeMoveWord(12, 18);
  EXPECT_EQ(IsPseudoLegal(White, &m), 1);
  EXPECT_EQ(PlayGameMove(m, White), 0);
  EXPECT_EQ(Pos.pieceType[12], Knight);
  EXPECT_STREQ(CheckPositionConsistency(), "");
}

}  // namespace

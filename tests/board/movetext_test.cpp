// Move text: reading coordinate and SAN input (the written forms are seen in the pipe sessions and the PGN tests).
#include <gtest/gtest.h>

#include <tuple>

#include "board_helpers.h"

namespace {

using MoveText = BoardTest;

const char* const Start = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";
const char* const TwoKnights = "4k3/8/8/8/8/5N2/8/1N2K3 w - - 0 1";

// The move word a text reads as for the side to move (0: none); the kind is completed later.
TEST_F(MoveText, ReadingCoordinatesAndSan) {
  const std::tuple<const char*, const char*, Move> cases[] = {
      {Start, "Nf3", MakeMoveWord(6, 21)},
      {Start, "Bg1f3", 0},  // the piece on g1 is no bishop
      {TwoKnights, "Nbd2", MakeMoveWord(1, 11)},
      {TwoKnights, "Nd2", 0},                                              // ambiguous
      {"4k3/8/8/8/8/5N2/8/rN2K3 w - - 0 1", "Nd2", MakeMoveWord(21, 11)},  // the b1 knight is pinned
      {"k7/4P3/8/8/8/8/8/4K3 w - - 0 1", "e8=Q+", MakeMoveWord(52, 60, KindPromoQueen)},
      {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", "O-O", 0},  // castling only in coordinates
      {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", "e1g1", MakeMoveWord(4, 6)},
  };
  for (const auto& [fen, text, move] : cases) {
    ASSERT_TRUE(SetFen(fen));
    EXPECT_EQ(ParseMoveText(text), move) << fen << " " << text;
  }
  ASSERT_TRUE(SetFen(Start));
  for (const char* text : {"e2e4", "e4", "Pe4", "e2-e4", "e4+", "e4!?"})
    EXPECT_EQ(ParseMoveText(text), MakeMoveWord(12, 28)) << text;
  // No pawn behind e5, an unknown piece letter, no such square, nothing.
  for (const char* text : {"e5", "Xe4", "e9", ""}) EXPECT_EQ(ParseMoveText(text), 0) << text;
  ASSERT_TRUE(SetFen(TwoKnights));
  EXPECT_EQ(FindOrigin(White, Knight, -1, -1, 11), 255);  // two knights reach d2
  ASSERT_TRUE(SetFen("4k3/3p4/8/4P3/8/8/8/4K3 b - - 0 1"));
  ASSERT_TRUE(Play("d7d5"));
  Move m = ParseMoveText("exd6");
  ASSERT_EQ(IsPseudoLegal(White, &m), 1);
  EXPECT_EQ(m, MakeMoveWord(36, 43, KindEnPassant));
}

}  // namespace

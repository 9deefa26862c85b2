// Move text: reading coordinate and SAN input, and writing every output style.
#include <gtest/gtest.h>

#include <string>

#include "board_helpers.h"

namespace {

using MoveText = BoardTest;

const char* const Start = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";
const char* const TwoKnights = "4k3/8/8/8/8/5N2/8/1N2K3 w - - 0 1";
const char* const Promotion = "k7/4P3/8/8/8/8/8/4K3 w - - 0 1";

// The move word a text reads as for the side to move (0: none); the kind is completed later.
TEST_F(MoveText, ReadingCoordinatesAndSan) {
  const struct {
    const char* fen;
    const char* text;
    Move move;
  } cases[] = {
      {Start, "Nf3", MakeMoveWord(6, 21)},
      {Start, "nc3", MakeMoveWord(1, 18)},  // a lower-case n is a knight
      {Start, "Ng1f3", MakeMoveWord(6, 21)},
      {Start, "Bg1f3", 0},  // the piece on g1 is no bishop
      {TwoKnights, "Nbd2", MakeMoveWord(1, 11)},
      {TwoKnights, "Nfd2", MakeMoveWord(21, 11)},
      {TwoKnights, "Nd2", 0},                                              // ambiguous
      {"4k3/8/8/8/8/5N2/8/rN2K3 w - - 0 1", "Nd2", MakeMoveWord(21, 11)},  // the b1 knight is pinned
      {Promotion, "e8=Q+", MakeMoveWord(52, 60, KindPromoQueen)},
      {Promotion, "e8Q", MakeMoveWord(52, 60, KindPromoQueen)},
      {Promotion, "e7e8q", MakeMoveWord(52, 60, KindPromoQueen)},
      {Promotion, "e8=q", MakeMoveWord(52, 60, KindPromoQueen)},
      {Promotion, "e8=N", MakeMoveWord(52, 60, KindPromoKnight)},
      {Promotion, "e7e8r", MakeMoveWord(52, 60, KindPromoRook)},
      {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", "O-O", 0},  // castling only in coordinates
      {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", "O-O-O", 0},
      {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", "e1g1", MakeMoveWord(4, 6)},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(SetFen(c.fen));
    EXPECT_EQ(ParseMoveText(c.text), c.move) << c.fen << " " << c.text;
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

TEST_F(MoveText, WritingEachStyle) {
  const struct {
    Move move;
    uint16_t flags;
    const char* text;
  } cases[] = {
      // On the UCI line a trailing space separates words; promotion letters are lower case there.
      {MakeMoveWord(52, 60, KindPromoQueen), TextUci, "e7e8q "},
      {MakeMoveWord(52, 61, KindPromoKnight), TextUci, "e7f8n "},
      {MakeMoveWord(4, 6, KindCastle), TextUci, "e1g1 "},
      {Move(MakeMoveWord(12, 28) | CheckMark), TextUci, "e2e4 "},  // no check sign
      {0, TextUci, "        "},
      {MakeMoveWord(12, 28), 0, "e2-e4   "},
      {MakeMoveWord(28, 35, KindCapture), 0, "e4xd5   "},
      {Move(MakeMoveWord(28, 35, KindCapture) | CheckMark), 0, "e4xd5+  "},
      {MakeMoveWord(51, 58, KindPromoRook), 0, "d7xc8R  "},
      {MakeMoveWord(4, 2, KindCastle), 0, "O-O-O   "},
      {MakeMoveWord(12, 28), uint16_t(TextSan | Pawn), "e4     "},
      {MakeMoveWord(6, 21), uint16_t(TextSan | Knight), "Nf3    "},
      {MakeMoveWord(12, 28), TextNoPadding, "e2-e4"},
      {0, 0, "        "},
      {0, TextPgn, "        "},
  };
  for (const auto& c : cases) EXPECT_STREQ(MoveToText(c.move, c.flags), c.text) << c.text;
}

// PGN text for the side to move, with the SAN information taken before making the move.
TEST_F(MoveText, PgnText) {
  const struct {
    const char* fen;
    Move move;
    const char* text;
  } cases[] = {
      {TwoKnights, MakeMoveWord(1, 11), "Nbd2"},
      {TwoKnights, MakeMoveWord(21, 38), "Ng5"},
      {"4k3/8/8/8/8/N7/8/N3K3 w - - 0 1", MakeMoveWord(0, 10), "N1c2"},  // the rank tells them apart
      {"8/8/4k3/3p4/4P3/8/8/4K3 w - - 0 1", MakeMoveWord(28, 35, KindCapture), "exd5+"},
      {"8/4P3/1k6/8/8/8/8/4K3 w - - 0 1", MakeMoveWord(52, 60, KindPromoQueen), "e8Q"},
      {"3r4/4P3/1k6/8/8/8/8/4K3 w - - 0 1", MakeMoveWord(52, 59, KindPromoKnight), "exd8N"},
      {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", MakeMoveWord(4, 6, KindCastle), "O-O"},
      {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", MakeMoveWord(4, 2, KindCastle), "O-O-O"},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(SetFen(c.fen));
    Move m = GivesCheck(c.move, Game.side) ? Move(c.move | CheckMark) : c.move;
    EXPECT_EQ(MoveToText(m, uint16_t(TextPgn | SanInfo(m))), std::string(c.text)) << c.text;
  }
  // A game move keeps its SAN information.
  ASSERT_TRUE(SetFen(TwoKnights));
  ASSERT_TRUE(Play("Nbd2"));
  const GameRecord& g = Game.history[Game.index];
  constexpr uint16_t SanInfoBits = 0x3FF;  // the low bits of sanWord
  EXPECT_STREQ(MoveToText(g.move, uint16_t(TextPgn | (g.sanWord & SanInfoBits))), "Nbd2");
}

}  // namespace

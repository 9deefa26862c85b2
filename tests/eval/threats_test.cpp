// The threat term: pieces en prise that can or cannot get away, pins and skewers, and a
// defender overloaded by two pieces.
#include <gtest/gtest.h>

#include "eval/eval.h"
#include "eval/eval_internal.h"
#include "eval_helpers.h"

namespace {

// White's threat term, with White's threat list in largest and second.
int WhiteThreats(const std::string& fen) {
  SetUpForSearch(fen);
  Pos.largestThreat[White] = Pos.secondThreat[White] = Pos.largestThreat[Black] = Pos.secondThreat[Black] = 0;
  int terms[2];
  ThreatScore(terms);
  return terms[White];
}

TEST(ThreatTerm, PiecesEnPriseCountTwiceWhenTheyCannotGetAway) {
  const int knight = 6 + (416 >> 6), pawn = 6 + (128 >> 6);
  struct Case {
    const char* fen;
    int term, largest, second;
  } cases[] = {
      {"1k1r4/8/8/8/3N4/8/8/4K3 w - - 0 1", -knight, 416, 0},        // the knight moves away
      {"Nk6/p7/8/8/8/8/8/4K3 w - - 0 1", -2 * knight, 416, 416},     // b6 and c7 are held
      {"4k3/8/8/8/8/8/r3P3/7K w - - 0 1", -pawn, 128, 0},            // e3 is safe
      {"4k3/8/8/8/8/4n3/r3P3/7K w - - 0 1", -2 * pawn, 128, 128},    // blocked, nothing to take
  };
  for (const Case& c : cases) {
    EXPECT_EQ(WhiteThreats(c.fen), c.term) << c.fen;
    EXPECT_EQ(Pos.largestThreat[White], c.largest) << c.fen;
    EXPECT_EQ(Pos.secondThreat[White], c.second) << c.fen;
  }
}

TEST(ThreatTerm, PinsAndSkewersNameTheValueBehind) {
  struct Case {
    const char *fen, *square;
    int value;
  } cases[] = {
      {"4k3/8/8/8/4r3/8/4N3/4K3 w - - 0 1", "e2", 1248},   // pinned to the king
      {"4k3/8/8/8/1b6/2R5/3Q4/7K w - - 0 1", "c3", 1248},  // the queen behind is undefended
      {"4k3/8/8/8/1b6/2N5/3P4/4K3 w - - 0 1", "c3", 0},    // the pawn behind is defended
      {"4k3/8/8/8/1b6/2N5/8/7K w - - 0 1", "c3", 0},       // nothing behind
  };
  for (const Case& c : cases) {
    SetUpForSearch(c.fen);
    int penalty = 0;
    EXPECT_EQ(PinScore(White, SquareOf(c.square), &penalty), c.value) << c.fen;
    EXPECT_EQ(penalty < -3 - (c.value >> 7), c.value > 0) << c.fen << " penalty " << penalty;
  }
}

TEST(ThreatTerm, ADefenderOfTwoPiecesIsOverloaded) {
  // The queen alone guards c3 (and e3), each attacked by a rook: (624 + 416) >> 7 for the first
  // knight; for the second her mark adds 16 x (416 >> 4) + 416.
  EXPECT_EQ(WhiteThreats("2r3k1/8/8/8/8/2N5/3Q4/6K1 w - - 0 1"), -((624 + 416) >> 7));
  EXPECT_EQ(WhiteThreats("2r1r1k1/8/8/8/8/2N1N3/3Q4/6K1 w - - 0 1"),
            -((624 + 416) >> 7) - ((624 + 416 + 16 * 26 + 416) >> 7));
}

}  // namespace

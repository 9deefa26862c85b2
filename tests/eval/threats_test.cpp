// The threat term: pieces en prise that can or cannot get away, pins and skewers, and a
// defender overloaded by two pieces.
#include <gtest/gtest.h>

#include "../board/board_helpers.h"
#include "eval/eval.h"
#include "eval/eval_internal.h"
#include "eval_helpers.h"

namespace {

void Prepare(const std::string& fen) {
  ASSERT_TRUE(SetFen(fen)) << fen;
  PrepareEvaluationForSearch(Pos.sideToMove, 0);
  PrepareEvaluation();
  UpdatePhase();
  Pos.largestThreat[White] = Pos.largestThreat[Black] = Pos.secondThreat[White] = Pos.secondThreat[Black] = 0;
}

struct EnPriseCase {
  const char* name;
  const char* fen;
  int term;              // White's threat term
  int largest, second;   // White's threat list
};

TEST(ThreatTerm, PiecesEnPriseCountTwiceWhenTheyCannotGetAway) {
  BoardReady();
  // A knight taken for nothing: 6 + (416 >> 6) for the threat; once more when it has no safe square.
  const int knight = 6 + (416 >> 6);
  const std::vector<EnPriseCase> cases = {
      {"knight that can move away", "1k1r4/8/8/8/3N4/8/8/4K3 w - - 0 1", -knight, 416, 0},
      // a8: b6 is held by the a7 pawn, c7 by the king; both squares would lose the knight.
      {"cornered knight", "Nk6/p7/8/8/8/8/8/4K3 w - - 0 1", -2 * knight, 416, 416},
      // A pawn attacked by a rook, free to step forward to a square the rook does not reach.
      {"pawn that can advance", "4k3/8/8/8/8/8/r3P3/7K w - - 0 1", -(6 + 2), 128, 0},
      // The same pawn blocked and with nothing to take: it is lost.
      {"blocked pawn", "4k3/8/8/8/8/4n3/r3P3/7K w - - 0 1", -2 * (6 + 2), 128, 128},
  };
  for (const EnPriseCase& c : cases) {
    Prepare(c.fen);
    int terms[2];
    ThreatScore(terms);
    EXPECT_EQ(terms[White], c.term) << c.name;
    EXPECT_EQ(Pos.largestThreat[White], c.largest) << c.name;
    EXPECT_EQ(Pos.secondThreat[White], c.second) << c.name;
  }
}

struct PinCase {
  const char* name;
  const char* fen;
  const char* square;   // White's piece in front
  int value;            // the value at stake behind it, 0 for none
};

TEST(ThreatTerm, PinsAndSkewersNameTheValueBehind) {
  BoardReady();
  const std::vector<PinCase> cases = {
      // The knight on e2 shields the king from the rook: everything is at stake.
      {"pin to the king", "4k3/8/8/8/4r3/8/4N3/4K3 w - - 0 1", "e2", 1248},
      // The bishop skewers the rook to the undefended queen behind it.
      {"skewer of the queen", "4k3/8/8/8/1b6/2R5/3Q4/7K w - - 0 1", "c3", 1248},
      // A pawn behind, defended by the king: taking it loses the bishop.
      {"defended pawn behind", "4k3/8/8/8/1b6/2N5/3P4/4K3 w - - 0 1", "c3", 0},
      // Nothing of White's behind the knight.
      {"nothing behind", "4k3/8/8/8/1b6/2N5/8/7K w - - 0 1", "c3", 0},
  };
  for (const PinCase& c : cases) {
    Prepare(c.fen);
    int penalty = 0;
    EXPECT_EQ(PinScore(White, SquareOf(c.square), &penalty), c.value) << c.name;
    if (c.value) EXPECT_LT(penalty, -3 - (c.value >> 7)) << c.name;
    else EXPECT_EQ(penalty, 0) << c.name;
  }
}

TEST(ThreatTerm, ADefenderOfTwoPiecesIsOverloaded) {
  BoardReady();
  // The queen alone guards the knights on c3 and e3, each attacked by a rook: tied to one knight
  // it costs (624 + 416) >> 7; tied to a second one its mark adds 16 x (416 >> 4) + 416 there.
  Prepare("2r3k1/8/8/8/8/2N5/3Q4/6K1 w - - 0 1");
  int one[2];
  ThreatScore(one);
  Prepare("2r1r1k1/8/8/8/8/2N1N3/3Q4/6K1 w - - 0 1");
  int two[2];
  ThreatScore(two);
  EXPECT_EQ(one[White], -((624 + 416) >> 7));
  EXPECT_EQ(two[White], -((624 + 416) >> 7) - ((624 + 416 + 16 * 26 + 416) >> 7));
  EXPECT_EQ(Pos.largestThreat[White], 0);   // the queen itself is not en prise
}

}  // namespace

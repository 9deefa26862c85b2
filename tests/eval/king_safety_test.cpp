// The king term: the playing style's amplification and the bare endgame's king activity.
#include <gtest/gtest.h>

#include <tuple>

#include "../board/board_helpers.h"
#include "eval/eval_internal.h"
#include "eval/tables.h"
#include "eval_helpers.h"

namespace {

TEST(KingTerm, OnlyTheStyledColourKeepsItsKingTermPlain) {
  const std::string fen = "r1bqk2r/pppp1ppp/2n2n2/2b1p2Q/2B1P3/5N2/PPPP1PPP/RNB1K2R w KQkq - 4 5";
  int terms[3][2];
  for (int style = 0; style < 3; style++) {
    SetUpForSearch(fen, style);
    KingSafety(terms[style]);
  }
  for (int c = 0; c < 2; c++) {
    const int styled = c == White ? 1 : 2, other = 3 - styled;   // the style that leaves c plain
    const int table = KingSquareTable[c][Pos.kingSquare(c)];
    EXPECT_EQ(terms[other][c], terms[0][c]) << c;
    EXPECT_NE(terms[styled][c], terms[0][c]) << c;
    EXPECT_EQ((5 * (terms[styled][c] - table)) >> 2, terms[0][c] - table) << c;
  }
}

TEST(KingTerm, BareEndgameAveragesTheKingSquareAndItsBestSafeStep) {
  // The colour, its king's square and the best of that square and its safe neighbours.
  const std::tuple<const char*, int, const char*, const char*> cases[] = {
      {"7k/8/8/8/8/8/8/4K3 w - - 0 1", White, "e1", "e2"},
      {"7k/8/8/8/8/8/r7/4K3 w - - 0 1", White, "e1", "e1"},  // the rook holds the second rank
      {"7k/8/8/8/8/8/r7/4K3 w - - 0 1", Black, "h8", "g7"},
  };
  for (const auto& [fen, colour, king, best] : cases) {
    SetUpForSearch(fen);
    ASSERT_EQ(Pos.Phase, 1) << fen;
    int terms[2];
    KingSafety(terms);
    const int16_t* table = KingSquareTable[colour];
    EXPECT_EQ(terms[colour], (table[SquareOf(king)] + table[SquareOf(best)]) / 2) << fen;
  }
}

}  // namespace

// The king term: the playing style's amplification, the bare endgame's king activity, and the
// flags and threat move that the attack part leaves for the search.
#include <gtest/gtest.h>

#include "../board/board_helpers.h"
#include "eval/eval.h"
#include "eval/eval_internal.h"
#include "eval/tables.h"
#include "eval_helpers.h"

namespace {

TEST(KingTerm, OnlyTheStyledColourKeepsItsKingTermPlain) {
  // Both kings under some pressure, White (the engine) to move; style 1 Aggressive, 2 Solid.
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
  struct Case {
    const char* fen;
    int colour;
    const char *king, *best;   // the best of the king's square and its safe neighbours
  } cases[] = {
      {"7k/8/8/8/8/8/8/4K3 w - - 0 1", White, "e1", "e2"},
      {"7k/8/8/8/8/8/r7/4K3 w - - 0 1", White, "e1", "e1"},   // the rook holds the second rank
      {"7k/8/8/8/8/8/r7/4K3 w - - 0 1", Black, "h8", "g7"},
      {"8/8/8/8/7k/8/8/4K1R1 b - - 0 1", Black, "h4", "h4"},   // the rook holds the g-file
      {"8/8/8/8/7k/8/8/4K3 b - - 0 1", Black, "h4", "g4"},
  };
  for (const Case& c : cases) {
    SetUpForSearch(c.fen);
    ASSERT_EQ(Pos.Phase, 1) << c.fen;
    int terms[2];
    KingSafety(terms);
    const int16_t* table = KingSquareTable[c.colour];
    EXPECT_EQ(terms[c.colour], (table[SquareOf(c.king)] + table[SquareOf(c.best)]) / 2) << c.fen;
  }
}

TEST(KingTerm, MatingNetsDiscoveredChecksAndTheThreatMove) {
  ResizeEvalCache(0);
  const uint16_t net = RecordMatingNet[White] | RecordThreat[White] | RecordThreatMoveSet;
  const uint16_t watched = net | RecordKingAttack[White];
  // The FEN's side to move passes (a null move) and the other side evaluates; queens on both
  // sides keep the Phase above the bare endgame, where no attack is evaluated.
  struct Case {
    const char* fen;
    uint16_t flags;
    const char* threatMove;
  } cases[] = {
      {"r5kq/5ppp/8/8/7Q/8/5PPP/6K1 w - - 0 1", net, "a8a1"},   // Black to move mates with Ra1
      {"r5kq/5ppp/8/8/8/3Q4/5PPP/6K1 w - - 0 1", 0, nullptr},   // the queen guards f1 twice
      {"r5kq/5ppp/8/8/7Q/8/5PPP/6K1 b - - 0 1", 0, nullptr},    // White to move: no threat yet
      {"q5k1/8/8/8/Q3n3/8/6PP/6RK w - - 0 1", net, "e4f2"},     // smothered
      {"b3q2k/8/8/8/4n3/Q7/7P/7K w - - 0 1", RecordKingAttack[White], nullptr},   // discovered check, g1 free
  };
  for (const Case& c : cases) {
    SetUpForSearch(c.fen);
    PrepareEvaluationForSearch(Pos.sideToMove ^ 1, 0);
    MakeNullMove();
    Evaluate(Pos.sideToMove, 2, FullEvalDepth, -16384, 16384);
    const UndoRecord record = Pos.undoStack[Pos.undoTop - 1];
    UnmakeNullMove();
    EXPECT_EQ(record.checkFlag & watched, c.flags) << c.fen;
    if (c.threatMove) {
      EXPECT_EQ(Text(record.threatMove), c.threatMove) << c.fen;
      EXPECT_EQ(Pos.largestThreat[White], 1248) << c.fen;   // the net ranks as the largest threat
    }
  }
}

}  // namespace

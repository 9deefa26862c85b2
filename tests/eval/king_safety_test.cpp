// The king term: the playing style's amplification, the bare endgame's king activity, and the
// flags and threat move that the attack part leaves for the search.
#include <gtest/gtest.h>

#include "../board/board_helpers.h"
#include "eval/eval.h"
#include "eval/eval_internal.h"
#include "eval/tables.h"
#include "eval_helpers.h"

namespace {

void Prepare(const std::string& fen, int style = 0) {
  ASSERT_TRUE(SetFen(fen)) << fen;
  PrepareEvaluationForSearch(Pos.sideToMove, style);
  PrepareEvaluation();
  UpdatePhase();
}

TEST(KingTerm, OnlyTheStyledColourKeepsItsKingTermPlain) {
  BoardReady();
  // Both kings under some pressure, White (the engine) to move.
  const std::string fen = "r1bqk2r/pppp1ppp/2n2n2/2b1p2Q/2B1P3/5N2/PPPP1PPP/RNB1K2R w KQkq - 4 5";
  int normal[2], aggressive[2], solid[2];
  Prepare(fen, 0);
  KingSafety(normal);
  Prepare(fen, 1);
  KingSafety(aggressive);
  Prepare(fen, 2);
  KingSafety(solid);
  const int table[2] = {KingSquareTable[White][Pos.kingSquare(White)], KingSquareTable[Black][Pos.kingSquare(Black)]};
  // Aggressive: the engine's own (White's) term is left plain, the opponent's is amplified.
  EXPECT_EQ(aggressive[Black], normal[Black]);
  EXPECT_NE(aggressive[White], normal[White]);
  EXPECT_EQ((5 * (aggressive[White] - table[White])) >> 2, normal[White] - table[White]);
  // Solid: the opposite.
  EXPECT_EQ(solid[White], normal[White]);
  EXPECT_NE(solid[Black], normal[Black]);
  EXPECT_EQ((5 * (solid[Black] - table[Black])) >> 2, normal[Black] - table[Black]);
}

struct EndgameKingCase {
  const char* name;
  const char* fen;
  int colour;
  const char* king;
  const char* best;   // the best square among the king's and its safe neighbours
};

TEST(KingTerm, BareEndgameAveragesTheKingSquareAndItsBestSafeStep) {
  BoardReady();
  const std::vector<EndgameKingCase> cases = {
      {"free king", "7k/8/8/8/8/8/8/4K3 w - - 0 1", White, "e1", "e2"},
      // The rook on the second rank takes d2, e2 and f2: the first rank is as good as it gets.
      {"cut off", "7k/8/8/8/8/8/r7/4K3 w - - 0 1", White, "e1", "e1"},
      {"the rook's own king", "7k/8/8/8/8/8/r7/4K3 w - - 0 1", Black, "h8", "g7"},
      // The rook holds the g-file: the king on the edge can only stay where it is.
      {"edge king", "8/8/8/8/7k/8/8/4K1R1 b - - 0 1", Black, "h4", "h4"},
      {"edge king, free", "8/8/8/8/7k/8/8/4K3 b - - 0 1", Black, "h4", "g4"},
  };
  for (const EndgameKingCase& c : cases) {
    Prepare(c.fen);
    ASSERT_EQ(Pos.Phase, 1) << c.name;
    int terms[2];
    KingSafety(terms);
    const int16_t* table = KingSquareTable[c.colour];
    EXPECT_EQ(terms[c.colour], (table[SquareOf(c.king)] + table[SquareOf(c.best)]) / 2) << c.name;
  }
}

// Evaluates with the other side to move after a null move, so that the result words land in an
// undo record the test can read.
UndoRecord EvaluateAfterNull(const std::string& fen) {
  EXPECT_TRUE(SetFen(fen)) << fen;
  PrepareEvaluationForSearch(Pos.sideToMove ^ 1, 0);
  PrepareEvaluation();
  MakeNullMove();
  Evaluate(Pos.sideToMove, 2, FullEvalDepth, -16384, 16384);
  UndoRecord record = Pos.undoStack[Pos.undoTop - 1];
  UnmakeNullMove();
  return record;
}

struct FlagCase {
  const char* name;
  const char* fen;   // the side to move evaluates after the null move
  uint16_t flags;    // of RecordMatingNet, RecordThreat, RecordKingAttack and RecordThreatMoveSet for White
  const char* threatMove;
};

TEST(KingTerm, MatingNetsDiscoveredChecksAndTheThreatMove) {
  BoardReady();
  ResizeEvalCache(0);
  const uint16_t net = RecordMatingNet[White] | RecordThreat[White] | RecordThreatMoveSet;
  const uint16_t watched = RecordMatingNet[White] | RecordThreat[White] | RecordKingAttack[White] | RecordThreatMoveSet;
  // Queens on both sides keep the Phase above the bare endgame, where no attack is evaluated.
  const std::vector<FlagCase> cases = {
      // Black to move mates on the back rank: Ra1.
      {"back rank, Black to move", "r5kq/5ppp/8/8/7Q/8/5PPP/6K1 w - - 0 1", net, "a8a1"},
      // The queen on d3 guards f1 twice: the back rank holds (she can interpose).
      {"back rank, guarded", "r5kq/5ppp/8/8/8/3Q4/5PPP/6K1 w - - 0 1", 0, nullptr},
      // With White to move it is no threat yet.
      {"back rank, White to move", "r5kq/5ppp/8/8/7Q/8/5PPP/6K1 b - - 0 1", 0, nullptr},
      // Smothered: Nf2 leaves the king no square.
      {"smothered", "q5k1/8/8/8/Q3n3/8/6PP/6RK w - - 0 1", net, "e4f2"},
      // The knight on e4 can uncover the a8 bishop's check; g1 stays free.
      {"discovered check", "b3q2k/8/8/8/4n3/Q7/7P/7K w - - 0 1", RecordKingAttack[White], nullptr},
  };
  for (const FlagCase& c : cases) {
    const UndoRecord record = EvaluateAfterNull(c.fen);
    EXPECT_EQ(record.checkFlag & watched, c.flags) << c.name;
    if (c.threatMove) {
      EXPECT_EQ(Text(record.threatMove), c.threatMove) << c.name;
    }
  }
  // A mating net ranks as the largest threat against the king's side.
  EvaluateAfterNull(cases[0].fen);
  EXPECT_EQ(Pos.largestThreat[White], 1248);
}

}  // namespace

// The evaluation driver: recognised draws, material classes, scaling, the cache, the lazy path.
#include <gtest/gtest.h>

#include "../board/board_helpers.h"
#include "eval/eval.h"
#include "search/search_state.h"
#include "core/settings.h"

namespace {

class Evaluation : public ::testing::Test {
 protected:
  void SetUp() override {
    BoardReady();
    InitEvaluation();
    ResizeEvalCache(0);
    Options.drawValue = 0;
    SetDrawScores(White);
    PrepareEvaluationForSearch(White, 0);
  }
  void TearDown() override {
    ResizeEvalCache(0);
    Options.drawValue = 0;
    SetDrawScores(White);
  }
  int Full(const std::string& fen) {
    EXPECT_TRUE(SetFen(fen)) << fen;
    PrepareEvaluationForSearch(Pos.sideToMove, 0);
    return Evaluate(Pos.sideToMove, 1, FullEvalDepth, -16384, 16384);
  }
};

// Evaluates after a null move so that the result words land in the undo stack where the test can read them.
int EvalAfterNull(int depth, uint16_t* flags, int alpha = -16384, int beta = 16384) {
  MakeNullMove();
  int side = Pos.sideToMove;
  int score = Evaluate(side, 2, depth, alpha, beta);
  *flags = Pos.undoStack[Pos.undoTop - 1].checkFlag;
  UnmakeNullMove();
  return score;
}

TEST_F(Evaluation, RecognisedDrawsScoreTheDrawValue) {
  EXPECT_EQ(Full("4k3/8/8/8/8/8/8/4K3 w - - 0 1"), 0);
  EXPECT_EQ(Full("4k3/8/8/8/8/8/8/4KN2 w - - 0 1"), 416 >> 7);          // 3
  EXPECT_EQ(Full("4k3/8/8/8/8/8/8/4KN2 b - - 0 1"), -416 >> 7);         // -4
  EXPECT_EQ(Full("4k3/8/8/8/8/8/8/4KB2 b - - 0 1"), -4);
  uint16_t flags;
  SetFen("4k3/8/8/8/8/8/8/4KN2 w - - 0 1");
  EXPECT_EQ(EvalAfterNull(FullEvalDepth, &flags), -4);
  EXPECT_EQ(flags & RecordKindMask, RecordKindMaterialDraw);

  // The draw value moves every recognised draw: option 20 gives the engine's side 25.
  Options.drawValue = -(20 * 128 / 100);
  SetDrawScores(Black);
  SetFen("4k3/8/8/8/8/8/8/4K3 w - - 0 1");
  EXPECT_EQ(EvalAfterNull(FullEvalDepth, &flags), 25);
  EXPECT_EQ(flags & RecordKindMask, RecordKindMaterialDraw);
}

TEST_F(Evaluation, TwoKnightsDrawUnlessTheKingIsCornered) {
  uint16_t flags;
  SetFen("8/8/3k4/8/8/8/8/2NNK3 b - - 0 1");   // White to move after the null move; Black king central
  int score = EvalAfterNull(FullEvalDepth, &flags);
  EXPECT_EQ(flags & RecordKindMask, RecordKindMaterialDraw);
  EXPECT_EQ(score, (832 >> 7));
  SetFen("k7/8/8/8/8/8/8/2NNK3 b - - 0 1");   // Black king in the corner: no kind, plain draw score
  score = EvalAfterNull(FullEvalDepth, &flags);
  EXPECT_EQ(flags & RecordKindMask, 0);
  EXPECT_EQ(score, 0);
}

TEST_F(Evaluation, CacheReturnsWhatAFullEvaluationReturns) {
  ResizeEvalCache(64);
  SetFen("r1bqkbnr/pppp1ppp/2n5/4p3/3PP3/5N2/PPP2PPP/RNBQKB1R b KQkq d3 0 3");
  uint16_t first, second;
  int a = EvalAfterNull(1, &first);
  int b = EvalAfterNull(1, &second);
  EXPECT_EQ(a, b);
  EXPECT_EQ(first & RecordEvaluationBits, second & RecordEvaluationBits);
  EXPECT_TRUE(first & RecordFullEvaluation);
}

TEST_F(Evaluation, LazyEstimateOnlyAtQuiescenceDepths) {
  // A lopsided position outside the margins: at depth 0 the lazy estimate is used...
  SetFen("r3k3/8/8/8/8/8/8/QQQ1K3 b - - 0 1");
  uint16_t flags;
  EvalAfterNull(0, &flags, -50, 50);
  EXPECT_FALSE(flags & RecordFullEvaluation);
  // ...but never at a positive depth or with the full marker.
  EvalAfterNull(1, &flags, -50, 50);
  EXPECT_TRUE(flags & RecordFullEvaluation);
  // Inside the window the full evaluation runs even at depth 0.
  SetFen("4k3/4p3/8/8/8/8/4P3/4K3 b - - 0 1");
  EvalAfterNull(0, &flags, -50, 50);
  EXPECT_TRUE(flags & RecordFullEvaluation);
}

TEST_F(Evaluation, LazyEstimateAfterANullMoveCountsNoCapture) {
  // White has just taken the queen; after Black's null move the estimate is the parent's score
  // turned round, with no capture taken off a second time.
  SetFen("r3k3/8/8/3q4/8/8/8/3QK2R w - - 0 1");
  ASSERT_TRUE(Play("d1d5"));
  const int parent = Evaluate(Black, 1, 1, -16384, 16384);
  uint16_t flags;
  EXPECT_EQ(EvalAfterNull(0, &flags, 10000, 10001), 16 - parent);
  EXPECT_FALSE(flags & RecordFullEvaluation);
}

}  // namespace

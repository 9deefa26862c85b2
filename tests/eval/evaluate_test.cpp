// The evaluation driver: the lazy estimate after a null move.
#include <gtest/gtest.h>

#include "../board/board_helpers.h"
#include "core/settings.h"
#include "eval/eval.h"

namespace {

TEST(Evaluation, LazyEstimateAfterANullMoveCountsNoCapture) {
  BoardReady();
  InitEvaluation();
  ResizeEvalCache(0);
  Options.drawValue = 0;
  SetDrawScores(White);
  PrepareEvaluationForSearch(White, 0);
  // White has just taken the queen: after the null move, the parent turned round, no capture taken twice.
  SetFen("r3k3/8/8/3q4/8/8/8/3QK2R w - - 0 1");
  ASSERT_TRUE(Play("d1d5"));
  const int parent = Evaluate(Black, 1, 1, -16384, 16384);
  MakeNullMove();
  EXPECT_EQ(Evaluate(Pos.sideToMove, 2, 0, 10000, 10001), 16 - parent);
  EXPECT_FALSE(Pos.undoStack[Pos.undoTop - 1].checkFlag & RecordFullEvaluation);
  UnmakeNullMove();
}

}  // namespace

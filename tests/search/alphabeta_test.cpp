// The interior and quiescence searches on small tactical positions, driven without the root search.
#include <gtest/gtest.h>

#include "../board/board_helpers.h"
#include "eval/eval.h"
#include "search/search_state.h"
#include "search/tt.h"
#include "shell/engine.h"
#include "core/settings.h"

namespace {

class InteriorSearch : public ::testing::Test {
 protected:
  void SetUp() override {
    BoardReady();
    InitEvaluation();
    ResizeTable(1024);
    ClearTable(1);
    SearchFlags = SettingsFlags;
    StopReason = StopNone;
    NodeCountdown = 1 << 30;
    RootResultFlags = 0;
    IterationDepth = 1;
    SetDrawScores(White);
  }
  void TearDown() override { ResizeTable(0); }

  // The best root move by a plain loop over the root moves, each answered by Search.
  Move BestMove(const std::string& fen, int depth, int* scoreOut) {
    EXPECT_TRUE(SetFen(fen));
    Game.searchRootPly = Pos.ply;
    PrepareEvaluationForSearch(Pos.sideToMove, 0);
    NewSearchAge();
    Move best = 0;
    int bestScore = -MateValue;
    for (Move m : LegalMoves(1)) {
      MakeMove(m);
      const int score = -Search(2, depth - 1, 0, -MateValue, -bestScore, NodePv);
      UnmakeMove();
      EXPECT_STREQ(CheckPositionConsistency(), "");
      if (score > bestScore) bestScore = score, best = m;
    }
    *scoreOut = bestScore;
    return best;
  }
};

TEST_F(InteriorSearch, WinsHangingMaterialAndAvoidsLosingIt) {
  int score;
  Move m = BestMove("4k3/8/8/3q4/8/8/3R4/4K3 w - - 0 1", 3, &score);
  EXPECT_EQ(Text(m), "d2d5");
  m = BestMove("4k3/8/8/8/8/8/3p4/3Q1K2 b - - 0 1", 3, &score);
  EXPECT_NE(Text(m), "d2d1q");
}

}  // namespace

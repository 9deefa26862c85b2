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
    int side = Pos.sideToMove;
    int n = Pos.InCheck() ? GenerateEvasions(side, 1, 0, nullptr) : GenerateMoves(side, 1, 0);
    std::vector<Move> moves;
    for (int i = 0; i < n; i++) moves.push_back(Move(MoveListBegin(1)[i].move & ~CheckMark));
    Move best = 0;
    int bestScore = -MateValue;
    for (Move m : moves) {
      MakeMove(m);
      if (!Pos.attackTable[side ^ 1][Pos.kingSquare(side)].counts) {
        int score = -Search(2, depth - 1, 0, -MateValue, -bestScore, NodePv);
        if (score > bestScore) {
          bestScore = score;
          best = m;
        }
      }
      UnmakeMove();
      EXPECT_STREQ(CheckPositionConsistency(), "");
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

TEST_F(InteriorSearch, DeepSearchesLeaveThePositionIntact) {
  int score;
  for (const char* fen : {"r1bqkbnr/pppp1ppp/2n5/4p3/3PP3/5N2/PPP2PPP/RNBQKB1R b KQkq d3 0 3",
                          "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
                          "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1"}) {
    ASSERT_TRUE(SetFen(fen));
    Position before = Pos;
    BestMove(fen, 6, &score);
    ASSERT_STREQ(CheckPositionConsistency(), "") << fen;
    EXPECT_EQ(Pos.key, before.key);
  }
}

}  // namespace

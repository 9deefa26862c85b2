// The root search in-process: promotion of a new best move and the root-move preparation.
#include <gtest/gtest.h>

#include <string>

#include "../board/board_helpers.h"
#include "board/board.h"
#include "eval/eval.h"
#include "search/root.h"
#include "search/search.h"
#include "search/search_state.h"
#include "search/tt.h"
#include "shell/engine.h"
#include "core/settings.h"
#include "search/report.h"

namespace {

class RootList : public ::testing::Test {
 protected:
  void SetUp() override {
    BoardReady();
    SearchFlags = SettingsFlags;
    Options.multiPv = 1;
    InputMode = 0;            // no polling, no output
    SearchMode = SearchModeNormal;
    StopReason = StopNone;
    ReportFlags = 0;
    HardLimit = 2000000000;
    TargetTime = MaxTime = 1000000;
    BestMoveChanges = 0;
    StableIterations = 5;
    RootBound = BoundKindRunning;
  }
  void TearDown() override {
    SearchMode = SearchModeIdle;
    Options.multiPv = 1;
  }
  // Root moves with the given scores and node counts; the move word is the index + 1.
  static void Fill(std::initializer_list<std::pair<int, uint32_t>> moves) {
    RootMoveCount = 0;
    for (auto [score, nodes] : moves) {
      RootMove& rm = RootMoves[RootMoveCount];
      rm.line = RootLines[RootMoveCount];
      rm.line[1] = Move(RootMoveCount + 1);
      rm.line[2] = 0;
      rm.score = int16_t(score);
      rm.nodes = nodes;
      rm.depth = 0;
      rm.flags = 0;
      RootMoveCount++;
    }
  }
  std::string Order() const {
    std::string s;
    for (int i = 0; i < RootMoveCount; i++) s += char('0' + RootMoves[i].line[1]);
    return s;
  }
};

}  // namespace

// A move that becomes best moves up: to the top with one line; with MultiPV lines to the first
// of the first min(index, MultiPV - 1) places with a lower score, else to place MultiPV - 1.
TEST_F(RootList, PromotedMoveFindsItsPlace) {
  const struct {
    int multiPv;
    std::initializer_list<std::pair<int, uint32_t>> moves;
    int index, place;
    const char* order;
  } cases[] = {
      {1, {{10, 0}, {5, 0}, {3, 0}, {40, 0}, {1, 0}}, 3, 0, "41235"},
      {3, {{50, 0}, {20, 0}, {10, 0}, {5, 0}, {30, 0}}, 4, 1, "15234"},
      {3, {{50, 0}, {20, 0}, {10, 0}, {5, 0}, {1, 0}}, 4, 2, "12534"},
  };
  for (const auto& c : cases) {
    Options.multiPv = c.multiPv;
    Fill(c.moves);
    BestMoveChanges = 0;
    StableIterations = 5;
    EXPECT_EQ(PromoteRootMove(c.index), c.place) << c.order;
    EXPECT_EQ(Order(), c.order);
    if (c.multiPv == 1) {  // a new best move is a change of mind
      EXPECT_EQ(BestMoveChanges, c.index ? 1 : 0) << c.order;
      EXPECT_EQ(StableIterations, c.index ? 0 : 5) << c.order;
    }
  }
}

TEST_F(RootList, PreparationSettlesMateInOneAndSortsItFirst) {
  ASSERT_TRUE(SetFen("7k/8/6K1/8/8/8/8/5Q2 w - - 0 1"));
  SetDrawScores(White);
  RootResultFlags = 0;
  int n = GenerateMoves(Pos.sideToMove, 1, 0);
  PrepareRootMoves(n);
  ASSERT_GT(RootMoveCount, 0);
  EXPECT_EQ(RootMoves[0].score, 8191);
  EXPECT_EQ(RootMoves[0].flags & (RootSettled | RootResultKindMask), RootSettled | KindCheckmateGiven);
  EXPECT_TRUE(RootMoves[0].line[1] & CheckMark);
  EXPECT_EQ(SettledBestScore, 8191);
  for (int i = 1; i < RootMoveCount; i++) EXPECT_LE(RootMoves[i].score, RootMoves[i - 1].score);
}

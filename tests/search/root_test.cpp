// The root search in-process: score text, the two sorts of the root list,
// promotion of a new best move, and the root-move preparation.
#include <gtest/gtest.h>

#include <string>

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
  static void SetUpTestSuite() {
    InitBoardTables();
    InitEvaluation();
  }
  void SetUp() override {
    ResetSettings();
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
    RootBound = 3;
  }
  void TearDown() override {
    SearchMode = SearchModeIdle;
    Options.multiPv = 1;
  }
  // Root moves with the given scores and node counts; the move word is the index + 1.
  void Fill(std::initializer_list<std::pair<int, uint32_t>> moves) {
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
  bool SetFen(const char* fen) {
    ResetGameState();
    return ParseFen(fen) != 0;
  }
};

}  // namespace

TEST(ScoreText, CentipawnsTruncateTowardZero) {
  EXPECT_STREQ(ScoreText(7799, 4), "cp 6092");
  EXPECT_STREQ(ScoreText(-64, 4), "cp -50");
  EXPECT_STREQ(ScoreText(-1, 3), "cp 0");
  EXPECT_STREQ(ScoreText(128, 5), "cp 100");
  EXPECT_STREQ(ScoreText(-7799, 4), "cp -6092");
}

TEST(ScoreText, BoundTexts) {
  EXPECT_STREQ(ScoreText(64, 2), "cp 50 upperbound ");
  EXPECT_STREQ(ScoreText(64, 6), "cp 50 lowerbound ");
  EXPECT_STREQ(ScoreText(64, 3), "cp 50");
  EXPECT_STREQ(ScoreText(8191, 6), "mate 1");   // mates carry no bound text
}

TEST(ScoreText, MateDistances) {
  EXPECT_STREQ(ScoreText(7800, 4), "mate 196");
  EXPECT_STREQ(ScoreText(8191, 4), "mate 1");
  EXPECT_STREQ(ScoreText(8189, 4), "mate 2");
  EXPECT_STREQ(ScoreText(-8190, 4), "mate -1");
  EXPECT_STREQ(ScoreText(-8188, 4), "mate -2");
  EXPECT_STREQ(ScoreText(-7800, 4), "mate -196");
}

TEST_F(RootList, SortByScoreIsStableAndClearsExactMarks) {
  Fill({{10, 0}, {30, 0}, {10, 0}, {30, 0}, {-5, 0}});
  RootMoves[2].flags = RootExactInWindow;
  SortRootMovesByScore();
  EXPECT_EQ(Order(), "24135");
  for (int i = 0; i < RootMoveCount; i++) EXPECT_FALSE(RootMoves[i].flags & RootExactInWindow);
}

TEST_F(RootList, SortByNodesKeepsExactMovesInPlace) {
  Fill({{0, 100}, {0, 50}, {0, 900}, {0, 10}, {0, 500}});
  RootMoves[0].flags = RootExactInWindow;
  RootMoves[3].flags = RootExactInWindow;
  SortRootMovesByNodes();
  EXPECT_EQ(Order(), "13542");
  EXPECT_TRUE(RootMoves[0].flags & RootExactInWindow);
  EXPECT_TRUE(RootMoves[3].flags & RootExactInWindow);
}

TEST_F(RootList, PromoteWithOneLineMovesToTheTop) {
  Fill({{10, 0}, {5, 0}, {3, 0}, {40, 0}, {1, 0}});
  EXPECT_EQ(PromoteRootMove(3), 0);
  EXPECT_EQ(Order(), "41235");
  EXPECT_EQ(BestMoveChanges, 1);
  EXPECT_EQ(StableIterations, 0);
}

TEST_F(RootList, PromoteTheFirstMoveChangesNothing) {
  Fill({{10, 0}, {5, 0}});
  EXPECT_EQ(PromoteRootMove(0), 0);
  EXPECT_EQ(Order(), "12");
  EXPECT_EQ(BestMoveChanges, 0);
  EXPECT_EQ(StableIterations, 5);
}

TEST_F(RootList, PromoteWithThreeLinesFindsItsPlaceAmongThem) {
  Options.multiPv = 3;
  Fill({{50, 0}, {20, 0}, {10, 0}, {5, 0}, {30, 0}});
  // Among the first min(4, 2) = 2 positions the first with a lower score is position 1.
  EXPECT_EQ(PromoteRootMove(4), 1);
  EXPECT_EQ(Order(), "15234");
  // A move below every line goes to position MultiPV - 1.
  Fill({{50, 0}, {20, 0}, {10, 0}, {5, 0}, {1, 0}});
  EXPECT_EQ(PromoteRootMove(4), 2);
  EXPECT_EQ(Order(), "12534");
  // An index below MultiPV - 1 limits the search to the positions above it.
  Fill({{50, 0}, {20, 0}, {60, 0}});
  EXPECT_EQ(PromoteRootMove(1), 1);
  EXPECT_EQ(Order(), "123");
}

TEST_F(RootList, PreparationSettlesMateInOneAndSortsItFirst) {
  ASSERT_TRUE(SetFen("7k/8/6K1/8/8/8/8/5Q2 w - - 0 1"));
  SetDrawScores(White);
  RootResultFlags = 0;
  int n = GenerateMoves(Pos.sideToMove, 1, 0);
  PrepareRootMoves(n);
  ASSERT_GT(RootMoveCount, 0);
  EXPECT_EQ(RootMoves[0].score, 8191);
  EXPECT_EQ(RootMoves[0].flags & (RootSettled | RootResultKindMask), RootSettled | 0x500);
  EXPECT_TRUE(RootMoves[0].line[1] & CheckMark);
  EXPECT_EQ(SettledBestScore, 8191);
  for (int i = 1; i < RootMoveCount; i++) EXPECT_LE(RootMoves[i].score, RootMoves[i - 1].score);
}

TEST_F(RootList, PreparationDropsIllegalMoves) {
  // The pinned knight on e2 may not move; the king has three squares.
  ASSERT_TRUE(SetFen("4r2k/8/8/8/8/8/4N3/4K3 w - - 0 1"));
  SetDrawScores(White);
  RootResultFlags = 0;
  int n = GenerateMoves(Pos.sideToMove, 1, 0);
  PrepareRootMoves(n);
  EXPECT_EQ(RootMoveCount, 4);   // Kd1 Kd2 Kf1 Kf2
  for (int i = 0; i < RootMoveCount; i++) EXPECT_EQ(MoveFrom(RootMoves[i].line[1]), 4);
}

TEST_F(RootList, PreparationWithoutMovesMarksTheGameOver) {
  ASSERT_TRUE(SetFen("7k/5Q2/6K1/8/8/8/8/8 b - - 0 1"));   // stalemate
  RootResultFlags = 0;
  PrepareRootMoves(GenerateMoves(Pos.sideToMove, 1, 0));
  EXPECT_EQ(RootMoveCount, 0);
  EXPECT_EQ(RootResultFlags, 0xC80u);
  ASSERT_TRUE(SetFen("7k/6Q1/6K1/8/8/8/8/8 b - - 0 1"));   // checkmate
  RootResultFlags = 0;
  PrepareRootMoves(GenerateEvasions(Pos.sideToMove, 1, 0, nullptr));
  EXPECT_EQ(RootMoveCount, 0);
  EXPECT_EQ(RootResultFlags, 0x580u);
}

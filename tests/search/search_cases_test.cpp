// Whole searches as "go" runs them: the stop reasons a user can observe.
#include <gtest/gtest.h>

#include <tuple>
#include <utility>

#include "../board/board_helpers.h"
#include "eval/eval.h"
#include "search/root.h"
#include "search/search_state.h"
#include "tool/tool_search.h"

namespace {

class WholeSearch : public ::testing::Test {
 protected:
  void SetUp() override {
    BoardReady();
    InitEvaluation();
    ASSERT_TRUE(PrepareToolSearches(4096, 1000000));
  }
};

TEST_F(WholeSearch, MateInTwoEndsTheSearchOnceTheDepthCoversIt) {
  ToolSearchResult r;
  EXPECT_NE(SearchFenQuietly("7k/8/8/8/8/8/1R6/R5K1 w - - 0 1", 30, 0, 0, &r), 0);
  EXPECT_EQ(std::tuple(int(r.stopReason), r.score), std::tuple(int(StopMateFound), 8192 - 3));
}

// Zugzwang mates in two: the null-move cut is verified, not answered by an earlier unverified bound.
TEST_F(WholeSearch, ZugzwangMatesInTwoAreFoundThroughTheNullMoveVerification) {
  for (const auto& [fen, move] : {std::pair{"5Kbk/6pp/6P1/8/8/8/8/7R w - - 0 1", "h1h6"},
                                  std::pair{"r7/8/8/8/8/1p6/PP6/KBk5 b - - 0 1", "a8a3"}}) {
    ToolSearchResult r;
    EXPECT_EQ(Text(SearchFenQuietly(fen, 8, 0, 0, &r)), move) << fen;
    EXPECT_EQ(r.score, MateValue - 3) << fen;  // mate in two
    EXPECT_GT(VerificationSearches, 0u) << fen;
  }
}

TEST_F(WholeSearch, RootMoveThatRepeatsIsSettledAsADraw) {
  // After two rounds of knight moves, Ng1 would bring back a position seen before.
  ASSERT_TRUE(SetFen("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"));
  for (const char* mv : {"g1f3", "g8f6", "f3g1", "f6g8", "g1f3", "g8f6", "f3g1", "f6g8", "g1f3", "g8f6"})
    ASSERT_TRUE(Play(mv)) << mv;
  SetDrawScores(White);
  RootResultFlags = 0;
  PrepareRootMoves(GenerateMoves(Pos.sideToMove, 1, 0));
  bool found = false;
  for (int i = 0; i < RootMoveCount; i++) {
    if (Text(Move(RootMoves[i].line[1] & ~CheckMark)) != "f3g1") continue;
    found = true;
    EXPECT_EQ(RootMoves[i].flags & (RootSettled | RootResultKindMask), RootSettled | KindRepetitionTest);
    EXPECT_EQ(RootMoves[i].score, DrawScore[White]);
  }
  EXPECT_TRUE(found);
}

}  // namespace

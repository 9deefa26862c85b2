// The root search in-process: promotion of a new best move and the root-move preparation.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <tuple>
#include <vector>

#include "../board/board_helpers.h"
#include "search_helpers.h"
#include "board/board.h"
#include "eval/eval.h"
#include "search/root.h"
#include "search/search.h"
#include "search/search_state.h"
#include "shell/options.h"
#include "core/settings.h"
#include "shell/engine_process.h"
#include "tool/tool_search.h"

namespace {

class RootList : public ::testing::Test {
 protected:
  void SetUp() override {
    BoardReady();
    SearchStarting();
    SearchFlags = SettingsFlags;
    Options.multiPv = 1;
    HardLimit = 2000000000;
    TargetTime = MaxTime = 1000000;
  }
  void TearDown() override {
    SearchMode = SearchModeIdle;
    Options.multiPv = 1;
  }
  // Root moves with the given scores; the move word is the index + 1.
  static void Fill(const std::vector<int>& scores) {
    RootMoveCount = 0;
    for (int score : scores) {
      RootMove& rm = RootMoves[RootMoveCount];
      rm.line = RootLines[RootMoveCount];
      rm.line[1] = Move(++RootMoveCount);
      rm.line[2] = 0;
      rm.score = int16_t(score);
      rm.nodes = rm.depth = rm.flags = 0;
    }
  }
  std::string Order() const {
    std::string s;
    for (int i = 0; i < RootMoveCount; i++) s += char('0' + RootMoves[i].line[1]);
    return s;
  }
};

// Single iterations of a real search after one to depth 1; each new best move shows as a PV line.
class RootIteration : public ::testing::Test {
 protected:
  void SetUp() override {
    BoardReady();
    InitEvaluation();
    ASSERT_TRUE(PrepareToolSearches(4096, 1000000));
  }
  void TearDown() override {
    SetOption("Corvid Draw Value value 0");
    SearchMode = SearchModeIdle;
  }
  // The game position searched to depth 1, then readied for one iteration in the window (alpha, beta).
  static void ReadyIteration(int depth, int alpha, int beta) {
    ToolSearchResult r;
    SearchGameQuietly(1, 0, 0, &r);
    SearchStarting(ReportStarted);
    IterationDepth = depth;
    RootAlpha = alpha;
    RootBeta = beta;
  }
  // The best moves announced by the PV lines of `output`, with their scores in centipawns.
  static std::vector<std::pair<std::string, int>> Announced(const std::string& output) {
    std::vector<std::pair<std::string, int>> lines;
    for (const std::string& line : Lines(output)) {
      size_t cp = line.find(" score cp "), pv = line.find(" pv ");
      if (cp == std::string::npos || pv == std::string::npos) continue;
      std::string move = line.substr(pv + 4);
      lines.push_back({move.substr(0, move.find(' ')), std::atoi(line.c_str() + cp + 10)});
    }
    return lines;
  }
};

}  // namespace

// A move that becomes best moves up: to the top with one line, with MultiPV to its place by score.
TEST_F(RootList, PromotedMoveFindsItsPlace) {
  // MultiPV, the scores of the root moves, the move promoted, the place it gets, the order after.
  const std::tuple<int, std::vector<int>, int, int, const char*> cases[] = {
      {1, {10, 5, 3, 40, 1}, 3, 0, "41235"},
      {3, {50, 20, 10, 5, 30}, 4, 1, "15234"},
      {3, {50, 20, 10, 5, 1}, 4, 2, "12534"},
  };
  for (const auto& [multiPv, scores, index, place, order] : cases) {
    Options.multiPv = multiPv;
    Fill(scores);
    BestMoveChanges = 0;
    StableIterations = 5;
    EXPECT_EQ(PromoteRootMove(index), place) << order;
    EXPECT_EQ(Order(), order);
    if (multiPv == 1) {  // a new best move is a change of mind
      EXPECT_EQ(std::pair(BestMoveChanges, StableIterations), std::pair(index ? 1 : 0, index ? 0 : 5)) << order;
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

// A settled draw that replaced a first move failing below it is the score to beat for later moves.
TEST_F(RootIteration, SettledDrawThatReplacedTheFirstMoveIsNotOvertakenByWorseMoves) {
  for (int depth : {2, 4, 6, 8}) {
    ASSERT_TRUE(SetFen("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"));
    for (const char* mv : {"g1f3", "g8f6", "f3g1", "f6g8"}) ASSERT_TRUE(Play(mv)) << mv;
    SetOption("Corvid Draw Value value 20");   // g1f3 repeats: a settled draw the engine likes
    ReadyIteration(depth, DrawScore[White], DrawScore[White] + 64);
    testing::internal::CaptureStdout();
    SearchRoot(depth);
    auto lines = Announced(testing::internal::GetCapturedStdout());
    size_t draw = 0;
    while (draw < lines.size() && lines[draw].first != "g1f3") draw++;
    ASSERT_LT(draw, lines.size()) << "depth " << depth << ": the first move did not fail below the draw";
    for (size_t i = draw + 1; i < lines.size(); i++) {
      if (lines[i].first == "g1f3") continue;   // the draw itself, shown again
      EXPECT_GT(lines[i].second, lines[draw].second) << "depth " << depth << ": " << lines[i].first;
    }
  }
}

// A move failing low loses an earlier iteration's in-window mark and is sorted by its nodes.
TEST_F(RootIteration, MovesThatFailLowAreSortedByNodesDespiteEarlierMarks) {
  for (int depth : {2, 3, 4}) {
    ASSERT_TRUE(SetFen("4k3/8/8/3q4/8/8/8/3QK3 w - - 0 1"));   // Qxd5 wins the queen; the rest fail low
    ReadyIteration(depth, -MateThreshold, MateThreshold);
    for (int i = 0; i < RootMoveCount; i++) RootMoves[i].flags |= RootExactInWindow;   // as left before
    testing::internal::CaptureStdout();
    SearchRoot(depth);
    testing::internal::GetCapturedStdout();
    SortRootMovesByNodes();
    ASSERT_EQ(Text(Move(RootMoves[0].line[1] & ~CheckMark)), "d1d5") << "depth " << depth;
    for (int i = 2; i < RootMoveCount; i++)
      EXPECT_GE(RootMoves[i - 1].nodes, RootMoves[i].nodes) << "depth " << depth << " place " << i;
  }
}

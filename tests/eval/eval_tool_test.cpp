// corvid-tool eval: every term by colour, the ending and the scale, then "eval N" with the
// value the engine's evaluation gives the position.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "../board/board_helpers.h"
#include "eval/eval.h"

namespace {

std::vector<std::string> ToolLines(const std::string& fen) {
  std::vector<std::string> lines;
  FILE* out = popen((std::string(CORVID_TOOL_BINARY) + " eval " + fen).c_str(), "r");
  if (!out) return lines;
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, out)) lines.emplace_back(buffer);
  pclose(out);
  return lines;
}

TEST(EvalTool, PrintsEveryTermBeforeTheScore) {
  const std::string fen = "r1bqkb1r/pppp1ppp/2n2n2/4p2Q/2B1P3/8/PPPP1PPP/RNB1K1NR w KQkq - 4 4";
  const std::vector<std::string> lines = ToolLines(fen);
  ASSERT_FALSE(lines.empty());
  const std::vector<std::string> expected = {"material", "pawns", "pieces", "threats", "king safety", "ending", "scale",
                                             "eval "};
  size_t at = 0;
  for (const std::string& line : lines)
    if (at < expected.size() && line.rfind(expected[at], 0) == 0) at++;
  EXPECT_EQ(at, expected.size()) << "missing: " << (at < expected.size() ? expected[at] : "");
  ASSERT_EQ(lines.back().rfind("eval ", 0), 0u);

  // The printed value is the evaluation's own.
  BoardReady();
  ASSERT_TRUE(SetFen(fen));
  PrepareEvaluationForSearch(Pos.sideToMove, 0);
  PrepareEvaluation();
  const int score = Evaluate(Pos.sideToMove, 1, FullEvalDepth, -16384, 16384);
  EXPECT_EQ(lines.back(), "eval " + std::to_string(score) + "\n");
}

}  // namespace

// Searches over pipes: info lines, bestmove, stop, isready while pondering or infinite, MultiPV.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "shell/engine_process.h"

TEST(SearchSession, ShortSearchesAndSpecialPositions) {
  // Lines sent, the whole bestmove line ("": any; a mate has no ponder move), a part of each "info depth" line.
  const std::tuple<std::string, const char*, std::vector<std::string>> cases[] = {
      // A quick search prints only its final line, without a bound.
      {"position startpos moves e2e4\ngo depth 3\n", "", {"info depth 3 seldepth "}},
      {"position startpos\ngo depth 0\n", "", {"info depth 1 "}},
      {"position fen 7k/8/6K1/8/8/8/8/5Q2 w - - 0 1\ngo depth 1\n", "bestmove f1f8 ", {" score mate 1 pv f1f8 "}},
      {"position fen 7k/5Q2/6K1/8/8/8/8/8 b - - 0 1\ngo depth 3\n", "bestmove (none)", {}},  // stalemate
  };
  EngineSession s;
  for (const auto& [lines, bestmove, expected] : cases) {
    ASSERT_TRUE(s.Search(lines)) << s.Fresh();
    auto info = s.Starting("info depth ");
    ASSERT_EQ(info.size(), expected.size()) << s.Fresh();
    for (size_t i = 0; i < info.size(); i++) {
      EXPECT_NE(info[i].find(expected[i]), std::string::npos) << info[i];
      EXPECT_EQ(info[i].find("bound"), std::string::npos) << info[i];
    }
    EXPECT_TRUE(!*bestmove || s.Starting("bestmove ").back() == bestmove) << s.Fresh();
    EXPECT_TRUE(s.Starting("info currmove").empty());
  }
  s.Quit();
}

// "go infinite" and a ponder search answer isready at once and bestmove only after stop.
TEST(SearchSession, InfiniteAndPonderSearchesAnswerOnlyAfterStop) {
  EngineSession s;
  for (const char* go :
       {"position startpos\ngo infinite\n", "position startpos moves e2e4\ngo ponder wtime 60000 btime 60000\n"}) {
    s.Mark();
    s.engine.Send(go);
    s.engine.ReadFor(500);
    int64_t start = NowMs();
    s.engine.Send("isready\n");
    ASSERT_TRUE(s.WaitFor("readyok\n")) << s.Fresh();
    EXPECT_LT(NowMs() - start, 3000);
    EXPECT_EQ(s.Fresh().find("bestmove"), std::string::npos) << s.Fresh();
    start = NowMs();
    s.engine.Send("stop\n");
    ASSERT_TRUE(s.WaitFor("bestmove")) << s.Fresh();
    EXPECT_LT(NowMs() - start, 3000);
    s.engine.ReadUntil("\n", 2000, s.engine.Output().rfind("bestmove"));
    // The final two lines: "info nps N nodes N hashfull N time T" and the bestmove line.
    const std::vector<std::string> lines = Lines(s.Fresh());
    auto best = std::find_if(lines.begin(), lines.end(), [](const auto& l) { return StartsWith(l, "bestmove "); });
    ASSERT_TRUE(best != lines.begin() && best != lines.end()) << s.Fresh();
    const std::string& info = best[-1];
    EXPECT_TRUE(StartsWith(info, "info nps ") && info.find(" nodes ") != std::string::npos &&
                info.find(" hashfull ") != std::string::npos && NumberAfter(info, "time") > 0)
        << info;
  }
  s.Quit();
}

// MultiPV: numbered exact lines sorted by score, one score per move and depth, mates only where real.
TEST(SearchSession, MultiPvPrintsNumberedExactLinesOfCompletedSearches) {
  // The position, the depth, the lines per depth and whether mate scores are real there.
  const std::tuple<const char*, int, size_t, bool> cases[] = {
      {"startpos", 5, 3, false},
      {"fen r1bq1rk1/pp2bppp/2n1pn2/2pp4/3P4/2PBPN2/PP1N1PPP/R1BQ1RK1 w - - 0 8", 6, 3, false},
      {"fen k7/8/2K5/8/8/8/P7/7R b - - 0 1", 4, 2, true}};  // two legal moves, both mated
  EngineSession s;
  s.Answer("setoption name MultiPV value 3\n");
  for (const auto& [position, depth, perDepth, mated] : cases) {
    ASSERT_TRUE(s.Search(std::string("position ") + position + "\ngo depth " + std::to_string(depth) + "\n"));
    auto lines = s.Starting("info multipv ");
    ASSERT_TRUE(!lines.empty() && lines.size() % perDepth == 0) << s.Fresh();
    EXPECT_TRUE(StartsWith(lines[0], "info multipv 1 depth 1 ")) << lines[0];
    EXPECT_TRUE(StartsWith(lines[lines.size() - perDepth], "info multipv 1 depth " + std::to_string(depth) + " "));
    std::map<std::pair<std::string, long>, std::string> scoreAt;  // (first move, depth) -> score
    for (size_t i = 0; i < lines.size(); i++) {
      const std::string& line = lines[i];
      EXPECT_TRUE(StartsWith(line, "info multipv " + std::to_string(i % perDepth + 1) + " depth ")) << line;
      EXPECT_EQ(line.find("bound"), std::string::npos) << line;
      EXPECT_TRUE(mated || line.find("score mate") == std::string::npos) << line;
      std::string score = line.substr(line.find(" score "), line.find(" pv ") - line.find(" score "));
      std::string move = line.substr(line.find(" pv ") + 4, 4);
      auto [it, fresh] = scoreAt.emplace(std::make_pair(move, NumberAfter(line, "depth")), score);
      EXPECT_TRUE(fresh || it->second == score) << line;
      const bool sameDepth = i % perDepth && NumberAfter(line, "depth") == NumberAfter(lines[i - 1], "depth");
      EXPECT_TRUE(!sameDepth || NumberAfter(lines[i - 1], "cp") >= NumberAfter(line, "cp")) << lines[i - 1] << line;
    }
  }
  s.Quit();
}

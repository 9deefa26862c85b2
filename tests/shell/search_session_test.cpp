// Searches over pipes: info lines, bestmove, stop, isready while pondering or infinite, MultiPV.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "shell/engine_process.h"

namespace {

const std::string MateInOne = "position fen 7k/8/6K1/8/8/8/8/5Q2 w - - 0 1\n";  // Qf8 mates

// The final two lines: "info nps N nodes N hashfull N time T" and the bestmove line.
void ExpectFinalLines(const EngineSession& s) {
  auto lines = Lines(s.Fresh());
  size_t i = 0;
  while (i < lines.size() && !StartsWith(lines[i], "bestmove ")) i++;
  ASSERT_TRUE(i >= 1 && i < lines.size()) << s.Fresh();
  const std::string& info = lines[i - 1];
  ASSERT_TRUE(StartsWith(info, "info nps ")) << info;
  EXPECT_NE(info.find(" nodes "), std::string::npos) << info;
  EXPECT_NE(info.find(" hashfull "), std::string::npos) << info;
  EXPECT_GT(NumberAfter(info, "time"), 0) << info;
}

}  // namespace

TEST(SearchSession, ShortSearchesAndSpecialPositions) {
  const struct {
    std::string lines;
    const char* bestmove;           // the whole line, or "" for any
    std::vector<std::string> info;  // the "info depth" lines expected: a part of each
  } cases[] = {
      // A quick search prints only its final line, without a bound.
      {"position startpos moves e2e4\ngo depth 3\n", "", {"info depth 3 seldepth "}},
      {"position startpos\ngo depth 0\n", "", {"info depth 1 "}},
      {MateInOne + "go depth 1\n", "bestmove f1f8 ", {" score mate 1 pv f1f8 "}},            // no ponder move
      {"position fen 7k/5Q2/6K1/8/8/8/8/8 b - - 0 1\ngo depth 3\n", "bestmove (none)", {}},  // stalemate
  };
  EngineSession s;
  for (const auto& c : cases) {
    ASSERT_TRUE(s.Search(c.lines)) << s.Fresh();
    auto info = s.Starting("info depth ");
    ASSERT_EQ(info.size(), c.info.size()) << s.Fresh();
    for (size_t i = 0; i < info.size(); i++) {
      EXPECT_NE(info[i].find(c.info[i]), std::string::npos) << info[i];
      EXPECT_EQ(info[i].find("bound"), std::string::npos) << info[i];
    }
    EXPECT_TRUE(!*c.bestmove || s.Starting("bestmove ").back() == c.bestmove) << s.Fresh();
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
    ExpectFinalLines(s);
  }
  s.Quit();
}

// MultiPV: numbered exact lines sorted by score, one score per move and depth, mates only where real.
TEST(SearchSession, MultiPvPrintsNumberedExactLinesOfCompletedSearches) {
  const struct {
    const char* position;
    int depth;
    size_t lines;
    bool mated;  // mate scores are real here
  } cases[] = {{"startpos", 5, 3, false},
               {"fen r1bq1rk1/pp2bppp/2n1pn2/2pp4/3P4/2PBPN2/PP1N1PPP/R1BQ1RK1 w - - 0 8", 6, 3, false},
               {"fen k7/8/2K5/8/8/8/P7/7R b - - 0 1", 4, 2, true}};  // two legal moves, both mated
  EngineSession s;
  s.Answer("setoption name MultiPV value 3\n");
  for (const auto& c : cases) {
    ASSERT_TRUE(s.Search(std::string("position ") + c.position + "\ngo depth " + std::to_string(c.depth) + "\n"));
    auto lines = s.Starting("info multipv ");
    ASSERT_TRUE(!lines.empty() && lines.size() % c.lines == 0) << s.Fresh();
    EXPECT_TRUE(StartsWith(lines[0], "info multipv 1 depth 1 ")) << lines[0];
    EXPECT_TRUE(StartsWith(lines[lines.size() - c.lines], "info multipv 1 depth " + std::to_string(c.depth) + " "));
    std::map<std::pair<std::string, long>, std::string> scoreAt;  // (first move, depth) -> score
    for (size_t i = 0; i < lines.size(); i++) {
      const std::string& line = lines[i];
      EXPECT_TRUE(StartsWith(line, "info multipv " + std::to_string(i % c.lines + 1) + " depth ")) << line;
      EXPECT_EQ(line.find("bound"), std::string::npos) << line;
      EXPECT_TRUE(c.mated || line.find("score mate") == std::string::npos) << line;
      std::string score = line.substr(line.find(" score "), line.find(" pv ") - line.find(" score "));
      std::string move = line.substr(line.find(" pv ") + 4, 4);
      auto [it, fresh] = scoreAt.emplace(std::make_pair(move, NumberAfter(line, "depth")), score);
      EXPECT_TRUE(fresh || it->second == score) << line;
      if (i % c.lines && NumberAfter(line, "depth") == NumberAfter(lines[i - 1], "depth")) {
        EXPECT_GE(NumberAfter(lines[i - 1], "cp"), NumberAfter(line, "cp")) << lines[i - 1] << "\n" << line;
      }
    }
  }
  s.Quit();
}

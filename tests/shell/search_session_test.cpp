// Searches driven over pipes: info lines, bestmove and ponder, stop, ponderhit,
// isready during a search, the waits of pondering and "go infinite", MultiPV.
// (What the dispatcher does with other lines during a search is tested in-process.)
// Timing assertions are generous: the tests run in parallel on small machines.
#include <gtest/gtest.h>

#include <map>
#include <sstream>
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
  ASSERT_LT(i, lines.size()) << s.Fresh();
  ASSERT_GE(i, 1u) << s.Fresh();
  const std::string& info = lines[i - 1];
  ASSERT_TRUE(StartsWith(info, "info nps ")) << info;
  EXPECT_NE(info.find(" nodes "), std::string::npos) << info;
  EXPECT_NE(info.find(" hashfull "), std::string::npos) << info;
  EXPECT_GT(NumberAfter(info, "time"), 0) << info;
}

}  // namespace

TEST(SearchSession, GoDepthPrintsItsLineThenBestmoveAndPonder) {
  EngineSession s;
  ASSERT_TRUE(s.Search("position startpos\ngo depth 6\n")) << s.Fresh();
  ExpectFinalLines(s);
  auto pv = s.Starting("info depth ");
  ASSERT_FALSE(pv.empty()) << s.Fresh();
  EXPECT_TRUE(StartsWith(pv.back(), "info depth 6 seldepth ")) << pv.back();
  EXPECT_NE(pv.back().find(" score "), std::string::npos);
  // The best move is the first move of the last line, the ponder move its second.
  std::istringstream moves(pv.back().substr(pv.back().find(" pv ") + 4));
  std::string first, second;
  moves >> first >> second;
  EXPECT_EQ(s.Starting("bestmove ").back(), "bestmove " + first + (second.empty() ? " " : "  ponder " + second + " "));
  s.Quit();
}

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
    if (*c.bestmove) {
      EXPECT_EQ(s.Starting("bestmove ").back(), c.bestmove);
    }
    EXPECT_TRUE(s.Starting("info currmove").empty());
  }
  ASSERT_TRUE(s.Search("position startpos\ngo depth 4 searchmoves a2a3 h2h4\n"));
  EXPECT_TRUE(s.BestMove() == "a2a3" || s.BestMove() == "h2h4") << s.Fresh();
  s.Quit();
}

TEST(SearchSession, ClockSearchFromTheStartUsesItsTarget) {
  // 60 s without increment: 1825 ms from the clock, +4/16 early in the game, +1/4 for Ponder = 2851 ms.
  EngineSession s;
  int64_t start = NowMs();
  ASSERT_TRUE(s.Search("position startpos\ngo wtime 60000 btime 60000\n")) << s.Fresh();
  int64_t took = NowMs() - start;
  EXPECT_GE(took, 1000) << s.Fresh();
#ifndef CORVID_SANITIZED
  // The upper bound only holds at full speed (a sanitized build checks the clock too rarely) and without a fail low.
  if (s.Fresh().find("upperbound") == std::string::npos) {
    EXPECT_LE(took, 4500) << s.Fresh();  // room for a loaded machine, still far below the 27 s maximum
  }
#endif
  ExpectFinalLines(s);
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

// A search that ends by itself (a mate found at once) waits for the command that ends it.
TEST(SearchSession, FinishedPonderAndInfiniteSearchesWait) {
  EngineSession s;
  for (const auto& [go, end] :
       {std::pair{"go ponder wtime 60000 btime 60000\n", "ponderhit\n"}, std::pair{"go infinite\n", "stop\n"}}) {
    s.Mark();
    s.engine.Send(MateInOne + go);
    s.engine.ReadFor(500);
    s.engine.Send("isready\n");
    ASSERT_TRUE(s.WaitFor("readyok\n")) << s.Fresh();
    s.engine.ReadFor(200);
    EXPECT_EQ(s.Fresh().find("bestmove"), std::string::npos) << s.Fresh();
    ASSERT_TRUE(s.Search(end)) << s.Fresh();
    EXPECT_EQ(s.BestMove(), "f1f8");
  }
  s.Quit();
}

TEST(SearchSession, PonderhitTurnsThePonderSearchIntoATimedOne) {
  EngineSession s;
  s.engine.Send("position startpos moves e2e4 e7e5\ngo ponder wtime 3000 btime 3000\n");
  s.engine.ReadFor(300);
  EXPECT_EQ(s.Fresh().find("bestmove"), std::string::npos) << s.Fresh();
  int64_t start = NowMs();
  ASSERT_TRUE(s.Search("ponderhit\n")) << s.Fresh();
  EXPECT_LT(NowMs() - start, 3000);
  ExpectFinalLines(s);
  s.Quit();
}

// MultiPV: every report a run of lines numbered 1..n, exact (no bound), sorted by score within a
// depth, printed from the first iteration on; each line shows its move's last completed search, so
// no mate score where there is none and one score per move and depth however often it is repeated.
TEST(SearchSession, MultiPvPrintsNumberedExactLinesOfCompletedSearches) {
  const struct {
    const char* position;
    int depth;
    size_t lines;
    bool mated;  // mate scores are real here
  } cases[] = {{"startpos", 5, 3, false},
               {"startpos moves e2e4", 6, 3, false},
               {"fen r1bq1rk1/pp2bppp/2n1pn2/2pp4/3P4/2PBPN2/PP1N1PPP/R1BQ1RK1 w - - 0 8", 6, 3, false},
               {"fen k7/8/2K5/8/8/8/P7/7R b - - 0 1", 4, 2, true}};  // two legal moves, both mated
  EngineSession s;
  s.Answer("setoption name MultiPV value 3\n");
  for (const auto& c : cases) {
    ASSERT_TRUE(s.Search(std::string("position ") + c.position + "\ngo depth " + std::to_string(c.depth) + "\n"));
    auto lines = s.Starting("info multipv ");
    ASSERT_FALSE(lines.empty());
    ASSERT_EQ(lines.size() % c.lines, 0u) << s.Fresh();
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

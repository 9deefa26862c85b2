// The engine over pipes with NalimovPath set to the rebuilt tables.
#include <gtest/gtest.h>

#include <string>

#include "tablebase_helpers.h"

namespace {

// The tables' mate distances, announced within the second, with tbhits.
TEST(TablebaseSession, AnnouncesTheTablesMates) {
  EngineSession s;
  s.Answer("setoption name NalimovPath value " + ThreeManDir("emd") + "\n");
  const struct {
    const char* fen;
    const char* score;
  } cases[] = {
      {"8/8/8/4k3/8/8/1KQ5/8 w - - 0 1", "mate 8"},   // table: White mates in 8
      {"8/8/8/4k3/8/8/1KQ5/8 b - - 0 1", "mate -8"},  // table: Black is mated in 8
      {"8/7K/8/8/5k2/8/8/7R b - - 0 1", "mate -15"},
  };
  for (const auto& c : cases) {
    const int64_t start = NowMs();
    ASSERT_TRUE(s.Search(std::string("position fen ") + c.fen + "\ngo movetime 1000\n")) << c.fen;
    EXPECT_LT(NowMs() - start, 1000 + 500) << c.fen;  // the tables settle every root move at once
    auto info = s.Starting("info depth ");
    ASSERT_FALSE(info.empty()) << s.Fresh();
    EXPECT_NE(info.back().find(std::string(" score ") + c.score + " tbhits "), std::string::npos) << info.back();
  }
  s.Quit();
}

}  // namespace

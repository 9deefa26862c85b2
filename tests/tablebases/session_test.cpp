// The engine over pipes with NalimovPath set to the rebuilt tables, and corvid-tool tb.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tablebase_helpers.h"

namespace {

constexpr int WaitMs = 10000;

// The last "score" of the info lines before the bestmove, and whether any carried tbhits.
struct Answer {
  std::string score;
  bool tbhits = false;
  int64_t ms = 0;
};

Answer Search(EngineProcess& engine, const std::string& fen) {
  size_t from = engine.Output().size();
  int64_t start = NowMs();
  engine.Send("position fen " + fen + "\ngo movetime 1000\n");
  Answer answer;
  EXPECT_TRUE(engine.ReadUntil("bestmove ", WaitMs, from)) << fen;
  answer.ms = NowMs() - start;
  for (const std::string& line : Lines(engine.Output().substr(from))) {
    size_t score = line.find(" score ");
    if (!StartsWith(line, "info ") || score == std::string::npos) continue;
    size_t end = line.find(" tbhits ", score);
    answer.tbhits |= end != std::string::npos;
    answer.score = line.substr(score + 7, (end != std::string::npos ? end : line.find(" pv ", score)) - score - 7);
  }
  return answer;
}

// The mate distances are the tables' own (the table distance plus the root move for a win).
TEST(TablebaseSession, AnnouncesTheTablesMates) {
  TempDir dir;
  EngineProcess engine(dir.Path());
  engine.Send("uci\nsetoption name NalimovPath value " + ThreeManDir("emd") + "\nisready\n");
  ASSERT_TRUE(engine.ReadUntil("readyok", WaitMs));
  struct Case {
    const char* fen;
    const char* score;
  } cases[] = {
      {"8/8/8/4k3/8/8/1KQ5/8 w - - 0 1", "mate 8"},   // table: White mates in 8
      {"8/8/8/4k3/8/8/1KQ5/8 b - - 0 1", "mate -8"},  // table: Black is mated in 8
      {"7K/8/8/3k4/8/8/8/1R6 w - - 0 1", "mate 16"},  // the longest rook mate
      {"8/7K/8/8/5k2/8/8/7R b - - 0 1", "mate -15"},
      {"q7/8/5k2/8/8/3K4/8/8 w - - 0 1", "mate -7"},  // colours exchanged
  };
  for (const Case& c : cases) {
    Answer answer = Search(engine, c.fen);
    EXPECT_EQ(answer.score, c.score) << c.fen;
    EXPECT_TRUE(answer.tbhits) << c.fen;
    EXPECT_LT(answer.ms, 1000 + 500) << c.fen;  // the tables settle every root move at once
  }
  engine.Send("quit\n");
  EXPECT_EQ(engine.WaitExit(WaitMs), 0);
}

std::string Tool(const std::string& arguments, int* status) {
  std::string output;
  FILE* pipe = popen((std::string(CORVID_TOOL_BINARY) + " " + arguments + " 2>&1").c_str(), "r");
  char buffer[256];
  while (pipe && std::fgets(buffer, sizeof buffer, pipe)) output += buffer;
  *status = pipe ? pclose(pipe) : -1;
  return output;
}

TEST(TablebaseTool, ProbeAndCheck) {
  int status;
  EXPECT_EQ(Tool("tb probe " + ThreeManDir("emd") + " 8/8/8/4k3/8/8/1KQ5/8 b - - 0 1", &status),
            "table kqk.nbb, index 28510 of 28644\nmated in 8\n");
  EXPECT_EQ(status, 0);
  EXPECT_EQ(Tool("tb probe " + ThreeManDir("uncompressed") + " 8/8/5K2/6Qk/8/8/8/8 b - - 0 1", &status),
            "table kqk.nbb, index 9992 of 28644\ncheckmated\n");
  std::string out = Tool("tb check " + ThreeManDir("emd"), &status);
  EXPECT_NE(out.find("ok   " + ThreeManDir("emd") + "/kqk.nbw.emd: 25629 entries, 4 blocks\n"), std::string::npos);
  EXPECT_NE(out.find("10 files checked, 0 failed\n"), std::string::npos) << out;
  EXPECT_EQ(status, 0);

  TempDir dir;
  std::string packed = ReadFile(ThreeManDir("emd/krk.nbb.emd"));
  packed[packed.size() - 10] ^= 0x55;  // one byte of the last block
  WriteFile(dir.File("krk.nbb.emd"), packed);
  WriteFile(dir.File("kqk.nbw"), "short");
  out = Tool("tb check " + dir.Path(), &status);
  EXPECT_NE(out.find("FAIL " + dir.File("kqk.nbw") + ": 5 bytes, expected 25629\n"), std::string::npos) << out;
  EXPECT_NE(out.find("FAIL " + dir.File("krk.nbb.emd") + ": block 3 of 4 does not decode"), std::string::npos) << out;
  EXPECT_NE(out.find("2 files checked, 2 failed\n"), std::string::npos);
  EXPECT_NE(status, 0);
}

}  // namespace

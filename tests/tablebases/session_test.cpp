// The engine over pipes with NalimovPath set to the rebuilt tables, and corvid-tool tb.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "tablebase_helpers.h"

namespace {

TEST(TablebaseSession, AnnouncesTheTablesMates) {
  EngineSession s;
  s.Answer("setoption name NalimovPath value " + ThreeManDir("emd") + "\n");
  const std::pair<const char*, const char*> cases[] = {
      {"8/8/8/4k3/8/8/1KQ5/8 w - - 0 1", "mate 8"},   // table: White mates in 8
      {"8/8/8/4k3/8/8/1KQ5/8 b - - 0 1", "mate -8"},  // table: Black is mated in 8
      {"7K/8/8/3k4/8/8/8/1R6 w - - 0 1", "mate 16"},  // the longest rook mate
      {"8/7K/8/8/5k2/8/8/7R b - - 0 1", "mate -15"},
      {"q7/8/5k2/8/8/3K4/8/8 w - - 0 1", "mate -7"},  // colours exchanged
  };
  for (const auto& [fen, score] : cases) {
    const int64_t start = NowMs();
    ASSERT_TRUE(s.Search(std::string("position fen ") + fen + "\ngo movetime 1000\n")) << fen;
    EXPECT_LT(NowMs() - start, 1000 + 500) << fen;  // the tables settle every root move at once
    auto info = s.Starting("info depth ");
    ASSERT_FALSE(info.empty()) << s.Fresh();
    EXPECT_NE(info.back().find(std::string(" score ") + score + " tbhits "), std::string::npos) << info.back();
  }
  s.Quit();
}

TEST(TablebaseTool, ProbeAndCheck) {
  int status;
  EXPECT_EQ(RunTool("tb probe " + ThreeManDir("emd") + " 8/8/8/4k3/8/8/1KQ5/8 b - - 0 1", &status),
            "table kqk.nbb, index 28510 of 28644\nmated in 8\n");
  EXPECT_EQ(status, 0);
  EXPECT_EQ(RunTool("tb probe " + ThreeManDir("uncompressed") + " 8/8/5K2/6Qk/8/8/8/8 b - - 0 1"),
            "table kqk.nbb, index 9992 of 28644\ncheckmated\n");
  std::string out = RunTool("tb check " + ThreeManDir("emd"), &status);
  EXPECT_NE(out.find("ok   " + ThreeManDir("emd") + "/kqk.nbw.emd: 25629 entries, 4 blocks\n"), std::string::npos);
  EXPECT_NE(out.find("10 files checked, 0 failed\n"), std::string::npos) << out;
  EXPECT_EQ(status, 0);

  TempDir dir;
  std::string packed = ReadFile(ThreeManDir("emd/krk.nbb.emd"));
  packed[packed.size() - 10] ^= 0x55;  // one byte of the last block
  WriteFile(dir.File("krk.nbb.emd"), packed);
  WriteFile(dir.File("kqk.nbw"), "short");
  out = RunTool("tb check " + dir.Path(), &status);
  EXPECT_NE(out.find("FAIL " + dir.File("kqk.nbw") + ": 5 bytes, expected 25629\n"), std::string::npos) << out;
  EXPECT_NE(out.find("FAIL " + dir.File("krk.nbb.emd") + ": block 3 of 4 does not decode"), std::string::npos) << out;
  EXPECT_NE(out.find("2 files checked, 2 failed\n"), std::string::npos);
  EXPECT_NE(status, 0);
}

}  // namespace

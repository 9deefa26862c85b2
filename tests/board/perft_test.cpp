// Perft against the shared suites: the shallow depths here, the whole files under the slow label.
#include <gtest/gtest.h>

#include <sstream>
#include <utility>

#include "board_helpers.h"
#include "tool/perft.h"

namespace {

constexpr uint64_t ShallowNodeLimit = 200000;

// The positions of a suite, and the depths compared.
std::pair<int, int> RunSuite(const char* file) {
  int positions = 0, depths = 0;
  for (const std::string& line : ReadLines(file)) {
    std::string fen = line.substr(0, line.find(';'));
    EXPECT_TRUE(SetupPerftPosition(fen.c_str())) << fen;
    positions++;
    std::istringstream rest(line.substr(line.find(';')));
    std::string tag;
    uint64_t expected;
    while (rest >> tag >> expected) {
      int depth = std::stoi(tag.substr(2));
      if (depth > 3 || expected > ShallowNodeLimit) continue;
      EXPECT_EQ(Perft(depth), expected) << fen << " depth " << depth;
      depths++;
    }
  }
  return {positions, depths};
}

class PerftSuite : public BoardTest {
 protected:
  void TearDown() override { CountEveryPromotion = false; }
};

TEST_F(PerftSuite, StandardPositions) {
  const auto [positions, depths] = RunSuite("perft.epd");
  EXPECT_EQ(positions, 327);
  EXPECT_GT(depths, 800);
}

TEST_F(PerftSuite, Chess960Positions) {
  const auto [positions, depths] = RunSuite("perft960.epd");
  EXPECT_EQ(positions, 48);
  EXPECT_GT(depths, 40);
}

}  // namespace

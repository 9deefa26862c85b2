// The engine at one second a move mates a lone king within 50 moves with Q, R or B+N (`ctest -L slow`).
// The second is measured in nodes, at the engine's speed in these endings on a desktop machine,
// so that the games come out the same on any machine and under any load.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

#include "board/board.h"
#include "board/board_helpers.h"
#include "eval/eval.h"
#include "tool/tool_search.h"

namespace {

constexpr int MoveLimit = 50, AttackerMs = 1000, DefenderMs = 200, PositionsPerEnding = 3;
constexpr unsigned Seed = 20240611;
constexpr uint32_t NodesPerMs = 2000;

// White's king and pieces against Black's king on random squares, White to move, Black not in check.
std::string RandomStart(std::mt19937& rng, const std::vector<PieceType>& pieces) {
  std::uniform_int_distribution<int> square(0, 63);
  for (;;) {
    for (int sq = 0; sq < 64; sq++) Pos.pieceType[sq] = Empty, Pos.colour[sq] = NoColour;
    std::string text;
    auto put = [&](PieceType t, int c) {
      int sq;
      do sq = square(rng);
      while (Pos.pieceType[sq]);
      Pos.pieceType[sq] = t, Pos.colour[sq] = uint8_t(c);
      text += std::string(1, PieceLetters[t + 6 * c]) + char('a' + FileOf(sq)) + char('1' + RankOf(sq)) + " ";
    };
    put(King, White);
    put(King, Black);
    for (PieceType t : pieces) put(t, White);
    ResetGameState();
    if (SetupPosition(White, 0) && !LegalMoves(0).empty()) return text;
  }
}

// Plays the game out; true when White mates in time. `log` collects the moves.
bool MatesInTime(std::string* log) {
  const int material = Pos.material[White];
  for (int move = 1; move <= MoveLimit; move++) {
    for (int ms : {AttackerMs, DefenderMs}) {
      ToolSearchResult r;
      Move m = SearchGameQuietly(0, ms, 0, &r);
      *log += MoveToText(m, TextCoordinate | TextNoPadding) + std::string(" ");
      if (!m || !PlayGameMove(m, Game.side)) return false;
      Game.side ^= 1;
      if (Pos.material[White] != material) return false;  // a piece lost
      if (LegalMoves(0).empty()) return Pos.sideToMove == Black && Pos.InCheck();
    }
  }
  return false;
}

TEST(BasicMates, EngineMatesALoneKingWithinFiftyMoves) {
  InitBoardTables();
  InitEvaluation();
  ASSERT_TRUE(PrepareToolSearches(16384, 1000000));
  UseNodeClock(NodesPerMs);
  const std::pair<const char*, std::vector<PieceType>> endings[] = {
      {"queen", {Queen}}, {"rook", {Rook}}, {"bishop and knight", {Bishop, Knight}}};
  std::mt19937 rng(Seed);
  for (const auto& [name, pieces] : endings)
    for (int i = 0; i < PositionsPerEnding; i++) {
      std::string start = RandomStart(rng, pieces), log;
      EXPECT_TRUE(MatesInTime(&log)) << name << " from " << start << "\nmoves: " << log;
    }
}

}  // namespace

// Search extensions: checks, mate threats, recaptures, threats, pawns on the sixth, window and depth limits.
#include "search/extensions.h"

#include <gtest/gtest.h>

#include <sstream>
#include <tuple>

#include "board/board_helpers.h"
#include "core/settings.h"
#include "search/search_state.h"
#include "search/tt.h"

namespace {

constexpr int Wide = 8192;
constexpr int Unset = -999;

class Extensions : public ::testing::Test {
 protected:
  void SetUp() override {
    BoardReady();
    SearchFlags = DefaultSettingsFlags | FlagCombinations;
    IterationDepth = 10;
  }
  void TearDown() override {
    while (Pos.undoTop > 0) UnmakeMove();
  }
  // Sets up the FEN and makes the moves the way the search does (no game history).
  static void Reach(const char* fen, const char* moves) {
    while (Pos.undoTop > 0) UnmakeMove();
    ASSERT_TRUE(SetFen(fen)) << fen;
    std::istringstream in(moves);
    for (std::string text; in >> text;) {
      Move m = ParseMoveText(text.c_str());
      ASSERT_EQ(IsPseudoLegal(Pos.sideToMove, &m), 1) << text;
      MakeMove(m);
    }
  }
};

const char* const Pawns = "4k3/pppppppp/8/8/8/8/PPPPPPPP/4K3 w - - 0 1";
const char* const Rook = "4k3/8/8/8/8/8/8/R3K3 w - - 0 1";
const char* const Exchange = "3qk3/8/8/3p4/4P3/8/8/4K3 w - - 0 1";

constexpr int Pv = NodePv, Off = NodeNullWindow, Threat = EntryMateThreat, W = Wide;

// The extension of the node after the moves, in 1/32 ply.
TEST_F(Extensions, EachRuleExtendsWhereItCanDecideTheNode) {
  // FEN, moves, iteration, node flags, eval, window, table flags, estimates, threat swing set before, extension.
  const std::tuple<const char*, const char*, const char*, int, int, int, int, int, int, int, int, int, int> cases[] = {
      {"check", Rook, "a1a8", 10, Off, 0, -W, W, 0, -W, W, Unset, 32},
      {"mate threat", Pawns, "e2e3", 10, Off, 0, -W, W, Threat, -W, W, Unset, 16},
      // Beyond twice the iteration depth extensions count half; a check and a mate threat do not add up.
      {"beyond", "4k3/8/8/8/8/8/8/R3K3 b - - 0 1", "e8d8 a1a8", 1, Off, 0, -W, W, 0, -W, W, Unset, 16},
      // Estimates outside the window give nothing.
      {"lower >= beta", Rook, "a1a8", 10, Off, 0, -50, 50, Threat, 50, 400, Unset, 0},
      // A growing threat extends on the PV; off it only if the evaluation plus the change stays at or below alpha.
      {"threat on the PV", Pawns, "e2e3", 10, Pv, 0, -W, W, 0, -W, W, 12, 12},
      {"threat below alpha", Pawns, "e2e3", 10, Off, -100, -50, 50, 0, -W, W, 12, 0},
      {"Rd1 on the loose knight, on the PV", "4k3/8/8/3n4/8/8/8/R3K3 w - - 0 1", "a1d1", 10, Pv, 100, 0, 200, 0, -W, W, Unset, 6},
      {"Rd1 on the loose knight, off it", "4k3/8/8/3n4/8/8/8/R3K3 w - - 0 1", "a1d1", 10, Off, 100, 0, 200, 0, -W, W, Unset, 0},
      // A recapture on the PV; off it only when the exchange can matter for the window.
      {"recapture", Exchange, "e4d5 d8d5", 10, Pv, 0, -W, W, 0, -W, W, Unset, 32},
      // A pawn on its sixth rank, by how well the square before it is held; none when blocked.
      {"pawn to the sixth", "4k3/8/8/4P3/8/8/8/4K3 w - - 0 1", "e5e6", 10, Off, 0, -W, W, 0, -W, W, Unset, 16},
      {"blocked", "4k3/4p3/8/4P3/1B6/8/8/4K3 w - - 0 1", "e5e6", 10, Off, 0, -W, W, 0, -W, W, Unset, 0},
  };
  for (const auto& [what, fen, moves, iteration, flags, eval, alpha, beta, tableFlags, lower, upper, swing, extension] :
       cases) {
    Reach(fen, moves);
    IterationDepth = iteration;
    if (swing != Unset) Pos.threatSwingScaled = swing;
    EXPECT_EQ(ComputeExtension(Pos.ply, flags, eval, alpha, beta, tableFlags, 0, lower, upper), extension) << what;
  }
  // A recapture off the PV far below the window is not worth the full ply.
  Reach(Exchange, "e4d5 d8d5");
  Pos.threatSwingScaled = 0;
  EXPECT_LT(ComputeExtension(Pos.ply, Off, -500, -50, 50, 0, 0, -W, W), 32);
}

}  // namespace

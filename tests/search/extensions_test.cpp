// Search extensions: checks, mate threats, recaptures, the extension budget, the window and
// depth limits, and the threat accumulator's corrections.
#include "search/extensions.h"

#include <gtest/gtest.h>

#include "board/board_helpers.h"
#include "search/search_state.h"
#include "core/settings.h"

namespace {

constexpr int PvNode = 0x100;
constexpr int NonPvNode = 0x200;
constexpr int MateThreatEntry = 0x20;
constexpr int Wide = 8192;

int Sq(const char* name) { return (name[1] - '1') * 8 + (name[0] - 'a'); }

// Makes a move on the board the way the search does (no game history).
void Make(const char* from, const char* to, Move kind = KindQuiet) { MakeMove(MakeMoveWord(Sq(from), Sq(to), kind)); }

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
  // The extension of the current node with a full window and estimates inside it.
  static int Extension(int flags, int tableFlags = 0, int eval = 0) {
    return ComputeExtension(Pos.ply, flags, eval, -Wide, Wide, tableFlags, 0, -Wide, Wide);
  }
};

TEST_F(Extensions, TwoHalfPlyExtensionsMakeOnePlyAtTheSecondNode) {
  ASSERT_TRUE(SetFen("4k3/pppppppp/8/8/8/8/PPPPPPPP/4K3 w - - 0 1"));
  int depth = 6, budget = 0;
  Make("e2", "e3");
  const int first = Extension(NonPvNode, MateThreatEntry);
  EXPECT_EQ(first, 16);
  AddExtension(first, depth, budget);
  EXPECT_EQ(depth, 6);
  EXPECT_EQ(budget, 16);

  depth -= 1;  // the child, with the inherited budget
  Make("e7", "e6");
  const int second = Extension(NonPvNode, MateThreatEntry);
  EXPECT_EQ(second, 16);
  AddExtension(second, depth, budget);
  EXPECT_EQ(depth, 6);
  EXPECT_EQ(budget, 0);
}

TEST_F(Extensions, ACheckExtendsOnePlyAtOnce) {
  ASSERT_TRUE(SetFen("4k3/8/8/8/8/8/8/R3K3 w - - 0 1"));
  Make("a1", "a8");
  const int ext = Extension(NonPvNode);
  EXPECT_EQ(ext, 32);
  int depth = 3, budget = 5;
  AddExtension(ext, depth, budget);
  EXPECT_EQ(depth, 4);
  EXPECT_EQ(budget, 5);
}

TEST_F(Extensions, BeyondTwiceTheIterationDepthExtensionsCountHalf) {
  ASSERT_TRUE(SetFen("4k3/8/8/8/8/8/8/R3K3 b - - 0 1"));
  Make("e8", "d8");
  Make("a1", "a8");  // check at ply 3
  ASSERT_EQ(Pos.ply, 3);
  IterationDepth = 2;
  EXPECT_EQ(Extension(NonPvNode), 32);
  IterationDepth = 1;
  EXPECT_EQ(Extension(NonPvNode), 16);
  EXPECT_EQ(Extension(NonPvNode, MateThreatEntry), 16);  // a check and a mate threat do not add up
}

TEST_F(Extensions, EstimatesOutsideTheWindowGiveNothing) {
  ASSERT_TRUE(SetFen("4k3/8/8/8/8/8/8/R3K3 w - - 0 1"));
  Make("a1", "a8");
  const int ply = Pos.ply;
  EXPECT_EQ(ComputeExtension(ply, NonPvNode, 0, -50, 50, MateThreatEntry, 0, 50, 400), 0);    // lower >= beta
  EXPECT_EQ(ComputeExtension(ply, NonPvNode, 0, -50, 50, MateThreatEntry, 0, -400, -50), 0);  // upper <= alpha
  EXPECT_EQ(ComputeExtension(ply, PvNode, 0, -50, 50, 0, 0, -400, 400), 32);
}

TEST_F(Extensions, WithoutCombinationsTheAccumulatorsAreHalvedAtEveryNode) {
  ASSERT_TRUE(SetFen("4k3/pppppppp/8/8/8/8/PPPPPPPP/4K3 w - - 0 1"));
  Make("e2", "e3");
  Pos.threatSwingScaled = 24;  // as a threatening move would leave them
  Pos.gainScaled = 20;
  SearchFlags = DefaultSettingsFlags & ~FlagCombinations;
  EXPECT_EQ(Extension(PvNode), 12);
  EXPECT_EQ(Pos.threatSwingScaled, 12);
  EXPECT_EQ(Pos.gainScaled, 10);
  // Halved even where the window rules the extension out.
  EXPECT_EQ(ComputeExtension(Pos.ply, PvNode, 0, -50, 50, 0, 0, 60, 400), 0);
  EXPECT_EQ(Pos.threatSwingScaled, 6);
  EXPECT_EQ(Pos.gainScaled, 5);

  SearchFlags = DefaultSettingsFlags | FlagCombinations;
  EXPECT_EQ(Extension(PvNode), 6);
  EXPECT_EQ(Pos.gainScaled, 5);
}

TEST_F(Extensions, ThreatsAreExtendedOnlyWhereTheyCanDecideTheNode) {
  ASSERT_TRUE(SetFen("4k3/pppppppp/8/8/8/8/PPPPPPPP/4K3 w - - 0 1"));
  Make("e2", "e3");
  Pos.threatSwingScaled = 12;
  EXPECT_EQ(Extension(PvNode), 12);
  // Off the PV, a threat when the evaluation is already below alpha is not worth extending.
  EXPECT_EQ(ComputeExtension(Pos.ply, NonPvNode, -100, -50, 50, 0, 0, -Wide, Wide), 0);
  EXPECT_EQ(Pos.threatSwingScaled, 0);
  // A real threat: Ra1-d1 attacks the loose knight (416 threatened, 416 / 64 = 6 in the
  // accumulator). Off the PV it is extended when the evaluation stands at or above alpha and
  // losing the knight would take it down to alpha.
  UnmakeMove();
  ASSERT_TRUE(SetFen("4k3/8/8/3n4/8/8/8/R3K3 w - - 0 1"));
  Make("a1", "d1");
  ASSERT_EQ(Pos.threatSwingScaled, 6);
  EXPECT_EQ(ComputeExtension(Pos.ply, NonPvNode, 100, 0, 200, 0, 0, -Wide, Wide), 6);
  EXPECT_EQ(ComputeExtension(Pos.ply, NonPvNode, 500, 0, 600, 0, 0, -Wide, Wide), 0);  // 500 - 416 stays above
  // A negative accumulator stays off the PV: the node is reduced.
  Pos.threatSwingScaled = -8;
  EXPECT_EQ(Extension(NonPvNode), -8);
  EXPECT_EQ(Extension(PvNode), 0);
}

TEST_F(Extensions, RecaptureOnThePvExtendsAPly) {
  ASSERT_TRUE(SetFen("3qk3/8/8/3p4/4P3/8/8/4K3 w - - 0 1"));
  Make("e4", "d5", KindCapture);
  Make("d8", "d5", KindCapture);
  ASSERT_EQ(Pos.ply, 3);
  EXPECT_EQ(Extension(PvNode), 32);
  // Off the PV only when the exchange can matter for the window.
  EXPECT_EQ(ComputeExtension(Pos.ply, NonPvNode, 0, -50, 50, 0, 0, -Wide, Wide), 32);
  EXPECT_LT(ComputeExtension(Pos.ply, NonPvNode, -500, -50, 50, 0, 0, -Wide, Wide), 32);
}

TEST_F(Extensions, PawnReachingItsSixthRankExtends) {
  ASSERT_TRUE(SetFen("4k3/8/8/4P3/8/8/8/4K3 w - - 0 1"));
  Make("e5", "e6");
  EXPECT_EQ(Extension(NonPvNode), 16);  // Black's king guards e7 more than White does
  UnmakeMove();
  ASSERT_TRUE(SetFen("4k3/8/8/4P3/1B6/8/8/4K3 w - - 0 1"));
  Make("e5", "e6");
  EXPECT_EQ(Extension(NonPvNode), 16 + 8);  // the bishop holds e7 as well: half as much again
  UnmakeMove();
  ASSERT_TRUE(SetFen("4k3/4p3/8/4P3/1B6/8/8/4K3 w - - 0 1"));
  Make("e5", "e6");
  EXPECT_EQ(Extension(NonPvNode), 0);  // blocked by a pawn
}

TEST_F(Extensions, TableMoveCorrectsTheAccumulator) {
  ASSERT_TRUE(SetFen("8/4k3/4p3/3n4/8/8/8/3RK3 b - - 0 1"));
  Make("e7", "f7");
  // White's table move takes the knight, which the pawn defends (no threat value) and yet the
  // table says it wins: the gain (table score - eval, at most the knight) / 32 comes off the
  // accumulator.
  Pos.threatSwingScaled = 20;
  AdjustAccumulatorForTableMove(MakeMoveWord(Sq("d1"), Sq("d5"), KindCapture), 300, 0);
  EXPECT_EQ(Pos.threatSwingScaled, 20 - 300 / 32);
  AdjustAccumulatorForTableMove(MakeMoveWord(Sq("d1"), Sq("d5"), KindCapture), 1000, 0);
  EXPECT_EQ(Pos.threatSwingScaled, 20 - 300 / 32 - 416 / 32);
  // A quiet table move drops a negative accumulator, a checking one keeps it.
  Pos.threatSwingScaled = -6;
  AdjustAccumulatorForTableMove(Move(MakeMoveWord(Sq("d1"), Sq("d7")) | CheckMark), 0, 0);
  EXPECT_EQ(Pos.threatSwingScaled, -6);
  AdjustAccumulatorForTableMove(MakeMoveWord(Sq("d1"), Sq("d2")), 0, 0);
  EXPECT_EQ(Pos.threatSwingScaled, 0);

  // Taking a piece that hangs anyway (it carries a threat value) changes nothing.
  UnmakeMove();
  ASSERT_TRUE(SetFen("8/4k3/8/3n4/8/8/8/3RK3 b - - 0 1"));
  Make("e7", "f7");
  ASSERT_GT(Pos.threatValue[Sq("d5")], 0);
  Pos.threatSwingScaled = 20;
  AdjustAccumulatorForTableMove(MakeMoveWord(Sq("d1"), Sq("d5"), KindCapture), 300, 0);
  EXPECT_EQ(Pos.threatSwingScaled, 20);
}

TEST_F(Extensions, NegativeBudgetBorrowsAPly) {
  int depth = 5, budget = 3;
  AddExtension(-8, depth, budget);
  EXPECT_EQ(depth, 4);
  EXPECT_EQ(budget, 27);
}

}  // namespace

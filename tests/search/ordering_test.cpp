// Move ordering: the table move, captures, promotions and the queen contact mate.
#include "search/ordering.h"

#include <gtest/gtest.h>

#include <tuple>

#include "board/board_helpers.h"
#include "search/search_glue.h"

namespace {

constexpr int Ply = 1;

Move Quiet(const char* from, const char* to) { return MakeMoveWord(SquareOf(from), SquareOf(to)); }
Move Capture(const char* from, const char* to) { return MakeMoveWord(SquareOf(from), SquareOf(to), KindCapture); }
Move Promotion(const char* from, const char* to, Move kind) { return MakeMoveWord(SquareOf(from), SquareOf(to), kind); }

class Ordering : public ::testing::Test {
 protected:
  void SetUp() override {
    BoardReady();
    ClearHistoryTables();
  }

  static MoveEntry* Find(Move m) {
    for (MoveEntry *e = MoveListBegin(Ply), *end = MoveListEnd(Ply); e < end; e++)
      if (Move(e->move & ~CheckMark) == m) return e;
    return nullptr;
  }
  static int ScoreOf(Move m) {
    MoveEntry* e = Find(m);
    return e ? e->score : -99999;
  }
  static Move First() { return SelectNextMove(MoveListBegin(Ply), MoveListEnd(Ply))->move; }
};

TEST_F(Ordering, TableMoveComesFirstEvenWhenItLosesAndKeepsItsCheckMark) {
  // Qd1xd5 loses the queen for a pawn (e6 defends d5); Ng1xh3 wins a free knight.
  ASSERT_TRUE(SetFen("4k3/8/4p3/3p4/8/7n/1P6/3QK1N1 w - - 0 1"));
  GenerateOrderedMoves(White, Ply, 0);
  const Move qxd5 = Capture("d1", "d5");
  ASSERT_LT(ScoreOf(qxd5), -30000);  // rated as a losing capture
  EXPECT_EQ(First(), Capture("g1", "h3"));

  GenerateOrderedMoves(White, Ply, 0);
  ASSERT_TRUE(MarkTableMove(Ply, Move(qxd5 | CheckMark)));
  MoveEntry* first = SelectNextMove(MoveListBegin(Ply), MoveListEnd(Ply));
  EXPECT_EQ(first->move, Move(qxd5 | CheckMark));
  EXPECT_EQ(first->score, TableMoveScore);
  EXPECT_FALSE(MarkTableMove(Ply, Quiet("d1", "d8")));  // not in the list
}

// A promotion onto a guarded square: the plain pass risks the pawn, the king-zone pass (mode 1) a queen.
TEST_F(Ordering, PromotionOntoAGuardedSquareRisks) {
  const char* straightGuarded = "8/P1n5/6k1/8/8/8/8/4K3 w - - 0 1";
  const char* straightFree = "8/P7/6k1/8/8/8/8/4K2n w - - 0 1";
  const char* captureGuarded = "r7/1Pn5/6k1/8/8/8/8/4K3 w - - 0 1";
  const char* captureFree = "r7/1P6/6k1/8/8/8/8/4K2n w - - 0 1";
  // The position with the square guarded and free, the promotion, the pass, the score risked.
  const std::tuple<const char*, const char*, const char*, Move, int, int> cases[] = {
      {"queen, plain pass", straightGuarded, straightFree, Promotion("a7", "a8", KindPromoQueen), 0, 128},
      {"queen, king-zone pass", straightGuarded, straightFree, Promotion("a7", "a8", KindPromoQueen), 1, 1248},
      {"knight, king-zone pass", straightGuarded, straightFree, Promotion("a7", "a8", KindPromoKnight), 1, 1248},
      {"capture to a knight, king zone", captureGuarded, captureFree, Promotion("b7", "a8", KindPromoKnight), 1, 1248},
  };
  for (const auto& [what, guardedFen, freeFen, move, kingZoneMode, risked] : cases) {
    ASSERT_TRUE(SetFen(freeFen)) << what;
    GenerateOrderedMoves(White, Ply, kingZoneMode);
    const int unguarded = ScoreOf(move);
    ASSERT_TRUE(SetFen(guardedFen)) << what;
    GenerateOrderedMoves(White, Ply, kingZoneMode);
    const int guarded = ScoreOf(move);
    ASSERT_TRUE(unguarded != -99999 && guarded != -99999) << what;
    EXPECT_EQ(unguarded - guarded, risked) << what;
  }
  // Risking only a pawn, the guarded queen promotion still comes first in the plain pass.
  ASSERT_TRUE(SetFen(straightGuarded));
  GenerateOrderedMoves(White, Ply, 0);
  EXPECT_EQ(First(), Promotion("a7", "a8", KindPromoQueen));
}

// Qb7 mates Ka8 (Nd6 guards b7): the contact mask in the ordering and, for Qb2 v Ka1, the quiescence net.
TEST_F(Ordering, QueenContactMateGetsTheNoFlightBonus) {
  ASSERT_TRUE(SetFen("k7/8/1Q1N4/8/8/8/8/4K3 w - - 0 1"));
  QuiescenceCheckMargin = 0;
  GenerateOrderedQuiescenceMoves(White, Ply, 2);
  EXPECT_GE(ScoreOf(Quiet("b6", "b7")), 2000);
  ASSERT_TRUE(SetFen("4k3/8/8/8/8/1q1n4/8/K7 b - - 0 1"));
  MakeNullMove();
  EXPECT_EQ(QuiescenceMateNet(White), 1);
  EXPECT_TRUE(Pos.undoStack[Pos.undoTop - 1].checkFlag & RecordMatingNet[White]);
  UnmakeNullMove();
}

}  // namespace

// Move ordering: the final order of the generated moves, the killers, and the history and
// cut-off statistics kept after cut-offs.
#include "search/ordering.h"

#include <gtest/gtest.h>

#include <string>

#include "board/board_helpers.h"
#include "core/settings.h"
#include "search/search_glue.h"
#include "search/search_state.h"

namespace {

constexpr int Ply = 1;

int Sq(const char* name) { return (name[1] - '1') * 8 + (name[0] - 'a'); }
Move Quiet(const char* from, const char* to) { return MakeMoveWord(Sq(from), Sq(to)); }
Move Capture(const char* from, const char* to) { return MakeMoveWord(Sq(from), Sq(to), KindCapture); }

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
  // The move the search would take first.
  static Move First() { return SelectNextMove(MoveListBegin(Ply), MoveListEnd(Ply))->move; }
};

// Qd1xd5 loses the queen for a pawn (e6 defends d5); Ng1xh3 wins a free knight.
const char* LosingCaptureFen = "4k3/8/4p3/3p4/8/7n/1P6/3QK1N1 w - - 0 1";

TEST_F(Ordering, TableMoveComesFirstEvenWhenItLosesAndKeepsItsCheckMark) {
  ASSERT_TRUE(SetFen(LosingCaptureFen));
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

TEST_F(Ordering, RecaptureOutranksAnEqualCaptureElsewhereBy100) {
  ASSERT_TRUE(SetFen("4k3/5n2/8/3n4/2P2P2/8/8/4K3 b - - 0 1"));
  ASSERT_TRUE(Play("f7e5"));  // the knight that just moved can be taken back
  GenerateOrderedMoves(White, Ply, 0);
  EXPECT_EQ(ScoreOf(Capture("f4", "e5")) - ScoreOf(Capture("c4", "d5")), 100);
  EXPECT_EQ(First(), Capture("f4", "e5"));
}

TEST_F(Ordering, KillersRankAboveQuietMovesAndBelowGoodCaptures) {
  ASSERT_TRUE(SetFen(LosingCaptureFen));
  Killer1(Ply) = uint16_t(HistoryIndex(Quiet("b2", "b3")));
  Killer2(Ply) = uint16_t(HistoryIndex(Quiet("g1", "f3")));
  RootHistory[HistoryEntry(White, Quiet("d1", "d2"))] = 50000;
  GenerateOrderedMoves(White, Ply, 0);
  // The search's order: the good capture, the two killers, then by history, the losing capture last.
  MoveEntry* e = MoveListBegin(Ply);
  MoveEntry* end = MoveListEnd(Ply);
  const Move expected[] = {Capture("g1", "h3"), Quiet("b2", "b3"), Quiet("g1", "f3"), Quiet("d1", "d2")};
  for (Move m : expected) EXPECT_EQ(SelectNextMove(e++, end)->move, m);
  MoveEntry* last = e;
  while (e < end) SelectNextMove(e++, end);
  EXPECT_EQ((end - 1)->move, Capture("d1", "d5"));
  EXPECT_GT(last - MoveListBegin(Ply), 0);

  // The killers are plies' own: another ply has none.
  EXPECT_EQ(Killer1(Ply + 1), 0);
}

// Qd1-d4 puts the queen where the e5 pawn takes it: rated below the quiet moves unless it has a history.
TEST_F(Ordering, QuietMoveOntoAnAttackedSquareIsRatedByTheExchange) {
  ASSERT_TRUE(SetFen("4k3/8/8/4p3/8/8/8/3QK3 w - - 0 1"));
  GenerateOrderedMoves(White, Ply, 0);
  EXPECT_LT(ScoreOf(Quiet("d1", "d4")), ScoreOf(Quiet("d1", "d3")));
  RootHistory[HistoryEntry(White, Quiet("d1", "d4"))] = 7;
  GenerateOrderedMoves(White, Ply, 0);
  EXPECT_GT(ScoreOf(Quiet("d1", "d4")), ScoreOf(Quiet("d1", "d3")));
}

TEST_F(Ordering, CutoffCreditsTheMoveAndCountsTheMovesTriedBeforeIt) {
  SearchFlags = DefaultSettingsFlags & ~FlagRetainHash;
  Killer1(5) = 77;
  AgeHistoryForSearch();  // a search start without Retain Hash resets the tables and the killers
  EXPECT_EQ(Killer1(5), 0);
  ASSERT_TRUE(SetFen(LosingCaptureFen));
  RootHistory[HistoryEntry(White, Quiet("b2", "b3"))] = 300;
  RootHistory[HistoryEntry(White, Quiet("g1", "f3"))] = 200;
  RootHistory[HistoryEntry(White, Quiet("d1", "d3"))] = 100;
  GenerateOrderedMoves(White, Ply, 0);
  // The search tried the capture and two quiet moves (their scores overwritten with 0), then
  // Qd1-d3 cut off (score 1). Moves after it were never searched.
  MoveEntry* list = MoveListBegin(Ply);
  const Move searched[] = {Capture("g1", "h3"), Quiet("b2", "b3"), Quiet("g1", "f3"), Quiet("d1", "d3")};
  for (int i = 0; i < 4; i++) {
    SelectNextMove(list + i, MoveListEnd(Ply));
    ASSERT_EQ(list[i].move, searched[i]);
    list[i].score = i < 3 ? SearchedMoveScore : CutoffMoveScore;
  }
  UpdateHistoryOnCutoff(Ply, White, 4, Quiet("d1", "d3"), list, MoveListEnd(Ply));

  const int x = HistoryIndex(Quiet("d1", "d3")), w = HistoryEntry(White, Quiet("d1", "d3"));
  EXPECT_EQ(CutoffCount[w], 4);
  EXPECT_EQ(RootHistory[w], 100 + 4 * 4);  // the square of the depth
  EXPECT_EQ(Killer1(Ply), x);
  for (Move tried : {Quiet("b2", "b3"), Quiet("g1", "f3")}) {
    EXPECT_EQ(TryCount[HistoryEntry(White, tried)], TryCount[w]);
    EXPECT_EQ(CutoffCount[HistoryEntry(White, tried)], 0);
  }
  EXPECT_EQ(TryCount[HistoryEntry(White, Quiet("d1", "d2"))], 1);  // after the cut-off move: not tried
  EXPECT_EQ(TryCount[HistorySize + x], 1);                         // Black's entry

  // A second cut-off by another move pushes the first into the second killer slot; the same
  // move again leaves the slots alone.
  UpdateHistoryOnCutoff(Ply, White, 2, Quiet("b2", "b3"), list, list);
  EXPECT_EQ(Killer1(Ply), HistoryIndex(Quiet("b2", "b3")));
  EXPECT_EQ(Killer2(Ply), x);
  UpdateHistoryOnCutoff(Ply, White, 2, Quiet("b2", "b3"), list, list);
  EXPECT_EQ(Killer2(Ply), x);
}

// The 16-bit counters never overflow: beyond their limits they are halved.
TEST_F(Ordering, HistoryAndCountsAreHalvedBeforeTheyOverflow) {
  ASSERT_TRUE(SetFen(LosingCaptureFen));
  const Move m = Quiet("d1", "d3");
  const int w = HistoryEntry(White, m), other = HistorySize + HistoryIndex(Quiet("b2", "b3"));
  RootHistory[w] = 59990;
  RootHistory[other] = 101;
  UpdateHistoryOnCutoff(Ply, White, 4, m, nullptr, nullptr);  // 60006: the whole table is halved
  EXPECT_EQ(RootHistory[w], 30003);
  EXPECT_EQ(RootHistory[other], 51);
  TryCount[w] = 65460;
  CutoffCount[w] = 100;
  UpdateHistoryOnCutoff(Ply, White, 10, m, nullptr, nullptr);  // 65470 tries: both counts halved
  EXPECT_EQ(TryCount[w], 32735);
  EXPECT_EQ(CutoffCount[w], 55);
}

// Ra1-a8+ leaves the king on g8 no square: the no-flight bonus. With h7 open, none; the quiescence
// margin is added to every check.
TEST_F(Ordering, BackRankCheckWithoutFlightGetsTheNoFlightBonus) {
  QuiescenceCheckMargin = 0;
  int scores[2];
  for (const char* fen : {"6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1", "6k1/5pp1/8/8/8/8/8/R5K1 w - - 0 1"}) {
    ASSERT_TRUE(SetFen(fen));
    GenerateOrderedQuiescenceMoves(White, Ply, 2);
    EXPECT_TRUE(Find(Quiet("a1", "a8"))->move & CheckMark);
    scores[fen[7] == 'p' ? 0 : 1] = ScoreOf(Quiet("a1", "a8"));
  }
  EXPECT_GT(scores[0] - scores[1], 1000);
  QuiescenceCheckMargin = 152;
  GenerateOrderedQuiescenceMoves(White, Ply, 2);
  EXPECT_EQ(ScoreOf(Quiet("a1", "a8")), scores[1] + 152);
  QuiescenceCheckMargin = 0;
}

// Qb7 mates the king on a8 (the knight on d6 guards b7): the queen's contact mask must be the
// one for a queen standing south-east of the king.
TEST_F(Ordering, QueenContactMateGetsTheNoFlightBonus) {
  ASSERT_TRUE(SetFen("k7/8/1Q1N4/8/8/8/8/4K3 w - - 0 1"));
  QuiescenceCheckMargin = 0;
  GenerateOrderedQuiescenceMoves(White, Ply, 2);
  EXPECT_GE(ScoreOf(Quiet("b6", "b7")), 2000);
}

// The same mate seen from the defender: Black threatens Qb2 against the king on a1.
TEST_F(Ordering, QuiescenceMateNetSeesTheQueenContactMate) {
  ASSERT_TRUE(SetFen("4k3/8/8/8/8/1q1n4/8/K7 b - - 0 1"));
  MakeNullMove();
  EXPECT_EQ(QuiescenceMateNet(White), 1);
  EXPECT_TRUE(Pos.undoStack[Pos.undoTop - 1].checkFlag & RecordMatingNet[White]);
  UnmakeNullMove();
}

}  // namespace

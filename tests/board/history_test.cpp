// The game history: repetitions, take-backs and compaction of long games.
#include <gtest/gtest.h>

#include <utility>

#include "board_helpers.h"

namespace {

class GameHistory : public BoardTest {
 protected:

  // One move of the g-knight of the side to move between its home square and f3/f6.
  static bool ShuffleKnight() {
    if (Game.side == White) return Play(Pos.pieceType[6] == Knight ? "g1f3" : "f3g1");
    return Play(Pos.pieceType[62] == Knight ? "g8f6" : "f6g8");
  }
};

// Knights out and back repeat the start; a pawn move ends the comparison.
TEST_F(GameHistory, KnightsOutAndBackRepeatUntilAnIrreversibleMove) {
  for (int i = 0; i < 3; i++) ASSERT_TRUE(ShuffleKnight());
  EXPECT_EQ(std::pair(IsRepetition(), CountGameRepetitions()), std::pair(0, 0));
  ASSERT_TRUE(ShuffleKnight());
  EXPECT_EQ(std::pair(IsRepetition(), CountGameRepetitions()), std::pair(1, 1));
  for (int i = 0; i < 4; i++) ASSERT_TRUE(ShuffleKnight());
  EXPECT_EQ(CountGameRepetitions(), 2);
  ASSERT_TRUE(Play("e2e4"));
  EXPECT_EQ(Pos.lastIrreversiblePly, Pos.ply);
  for (int i = 0; i < 3; i++) ASSERT_TRUE(ShuffleKnight());
  EXPECT_EQ(IsRepetition(), 0);
  ASSERT_TRUE(ShuffleKnight());
  EXPECT_EQ(std::pair(IsRepetition(), CountGameRepetitions()), std::pair(1, 1));
}

TEST_F(GameHistory, LongReversibleGameNeverOverflowsTheHistory) {
  for (int i = 0; i < 650; i++) {
    ASSERT_TRUE(ShuffleKnight()) << i;
    ASSERT_LT(Pos.ply, GameHistorySize) << i;
    ASSERT_LT(Game.index, GameHistorySize) << i;
    ASSERT_EQ(Game.index, Pos.ply) << i;
  }
  EXPECT_STREQ(CheckPositionConsistency(), "");
  EXPECT_EQ(IsRepetition(), 1);
  EXPECT_GT(CountGameRepetitions(), 0);
  const uint64_t key = Pos.key;
  for (int i = 0; i < 4; i++) TakeBackGameMove();
  EXPECT_EQ(Pos.key, key);
  EXPECT_STREQ(CheckPositionConsistency(), "");
}

// A search straight after a set-up (no game moves yet) still finds repetitions along its path.
TEST(SearchPathRepetition, FoundRightAfterASetUp) {
  BoardReady();
  ASSERT_TRUE(SetFen("4k3/8/8/8/8/8/8/1N2K1n1 w - - 0 1"));
  ASSERT_EQ(Game.searchRootPly, Pos.ply);
  for (Move m : {MakeMoveWord(1, 18), MakeMoveWord(6, 21), MakeMoveWord(18, 1)}) {
    MakeMove(m);
    EXPECT_EQ(IsRepetition(), 0);
  }
  MakeMove(MakeMoveWord(21, 6));
  EXPECT_EQ(IsRepetition(), 1);
  for (int i = 0; i < 4; i++) UnmakeMove();
}

}  // namespace

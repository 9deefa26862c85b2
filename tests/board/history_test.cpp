// The game history: repetitions, take-backs and compaction of long games.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "board_helpers.h"
#include "same_position.h"

namespace {

class GameHistory : public ::testing::Test {
 protected:
  void SetUp() override { BoardReady(); }

  // One move of the g-knight of the side to move between its home square and f3/f6.
  static bool ShuffleKnight() {
    if (Game.side == White) return Play(Pos.pieceType[6] == Knight ? "g1f3" : "f3g1");
    return Play(Pos.pieceType[62] == Knight ? "g8f6" : "f6g8");
  }
};

// Knights out and back repeat the start; a pawn move ends the comparison.
TEST_F(GameHistory, KnightsOutAndBackRepeatUntilAnIrreversibleMove) {
  for (int i = 0; i < 3; i++) ASSERT_TRUE(ShuffleKnight());
  EXPECT_EQ(IsRepetition(), 0);
  EXPECT_EQ(CountGameRepetitions(), 0);
  ASSERT_TRUE(ShuffleKnight());
  EXPECT_EQ(IsRepetition(), 1);
  EXPECT_EQ(CountGameRepetitions(), 1);
  for (int i = 0; i < 4; i++) ASSERT_TRUE(ShuffleKnight());
  EXPECT_EQ(CountGameRepetitions(), 2);
  ASSERT_TRUE(Play("e2e4"));
  EXPECT_EQ(Pos.lastIrreversiblePly, Pos.ply);
  for (int i = 0; i < 3; i++) ASSERT_TRUE(ShuffleKnight());
  EXPECT_EQ(IsRepetition(), 0);
  ASSERT_TRUE(ShuffleKnight());
  EXPECT_EQ(IsRepetition(), 1);
  EXPECT_EQ(CountGameRepetitions(), 1);
}

TEST_F(GameHistory, SearchLineRepeatsAGamePosition) {
  ASSERT_TRUE(Play("g1f3"));
  ASSERT_TRUE(Play("g8f6"));
  ASSERT_EQ(Game.searchRootPly, Pos.ply);
  MakeMove(MakeMoveWord(21, 6));
  EXPECT_EQ(IsRepetition(), 0);
  MakeMove(MakeMoveWord(45, 62));
  EXPECT_EQ(IsRepetition(), 1);  // the start position, found in the game history
  MakeMove(MakeMoveWord(6, 21));
  EXPECT_EQ(IsRepetition(), 1);  // the position after 1. Nf3, also in the game history
  MakeMove(MakeMoveWord(62, 45));
  EXPECT_EQ(IsRepetition(), 1);  // the root position, found on the undo stack
  UnmakeMove();
  Pos.key ^= 1;  // a different position at the same place finds nothing
  EXPECT_EQ(IsRepetition(), 0);
  Pos.key ^= 1;
  for (int i = 0; i < 3; i++) UnmakeMove();
  EXPECT_EQ(Pos.undoTop, 0);
}

TEST_F(GameHistory, RedoAndNullGameMoves) {
  for (const char* m : {"e2e4", "d7d5", "e4e5"}) ASSERT_TRUE(Play(m)) << m;
  Position before = Pos;
  ASSERT_TRUE(Play("f7f5"));
  Position after = Pos;
  ASSERT_EQ(after.epSquare, 45);
  TakeBackGameMove();
  EXPECT_EQ(FirstDifference(Pos, before, false), "");
  EXPECT_EQ(PlayGameMove(0, Black), 1);  // redo the stored move
  EXPECT_EQ(FirstDifference(Pos, after, false), "");

  EXPECT_EQ(PlayGameMove(NullGameMove, White), 1);
  EXPECT_EQ(Pos.sideToMove, Black);
  EXPECT_EQ(Pos.epSquare, 0);
  EXPECT_EQ(Pos.ply, after.ply + 1);
  EXPECT_EQ(Game.history[Game.index].move, 0);
  TakeBackGameMove();
  EXPECT_EQ(FirstDifference(Pos, after, false), "");
}

TEST_F(GameHistory, CompactionKeepsEverythingSinceTheLastPawnMove) {
  for (int i = 0; i < 8; i++) ASSERT_TRUE(ShuffleKnight());
  ASSERT_TRUE(Play("e2e4"));
  ASSERT_EQ(Pos.ply, 10);
  ASSERT_EQ(Pos.lastIrreversiblePly, 10);
  while (Pos.ply < 397) ASSERT_TRUE(ShuffleKnight());
  std::vector<GameRecord> old(Game.history, Game.history + 398);
  const uint64_t keyBefore = Pos.key;

  ASSERT_TRUE(ShuffleKnight());  // reaches ply 398
  EXPECT_EQ(Pos.ply, 390);
  EXPECT_EQ(Pos.lastIrreversiblePly, 2);
  EXPECT_EQ(Game.index, 390);
  EXPECT_EQ(Game.ply, 390);
  EXPECT_EQ(Game.lastIrreversiblePly, 2);
  for (int i = 0; i < 390; i++) {
    ASSERT_EQ(Game.history[i].move, old[i + 8].move) << i;
    ASSERT_EQ(Game.history[i].prevKey, old[i + 8].prevKey) << i;
  }
  EXPECT_EQ(Game.history[390].prevKey, keyBefore);
  EXPECT_EQ(Game.history[3].prevLastIrreversiblePly, 2);
  EXPECT_STREQ(CheckPositionConsistency(), "");

  // Positions at plies 10, 14, ..., 398 of the game are equal: 97 before the current one.
  EXPECT_EQ(IsRepetition(), 1);
  EXPECT_EQ(CountGameRepetitions(), 97);
  for (int i = 0; i < 4; i++) ASSERT_TRUE(ShuffleKnight());
  EXPECT_EQ(CountGameRepetitions(), 98);

  // Take-backs still work across the compacted records.
  const uint64_t key = Pos.key;
  ASSERT_TRUE(ShuffleKnight());
  TakeBackGameMove();
  EXPECT_EQ(Pos.key, key);
  EXPECT_STREQ(CheckPositionConsistency(), "");
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
  // Taking back four moves gives the same position again.
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

// The ends of a game as the dispatcher sees them: ucinewgame, a position that
// starts another game, quit; each game saved and learned once.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "board/board.h"
#include "book/book.h"
#include "book/book_helpers.h"
#include "record/record.h"
#include "shell/engine.h"
#include "shell/options.h"

namespace {

class GameEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    BookTestReady();
    SettingsFlags &= ~FlagLimitStrength;
    Options.settingsFlags2 |= Flag2AutoSavePgn;
    UciStarted = 2;
    QuitFlag = 0;
    NewGameFlag = false;
    PliesPlayed = 1;
    LastPositionText[0] = 0;
    LearnBase = -1;
    LearnBaseKey = 0;
    ClearGameRecord();
    std::remove(AutoSaveFileName);
  }
  void TearDown() override {
    CloseBook();
    ClearGameRecord();
    QuitFlag = 0;
  }
  static int SavedGames() {
    std::ifstream in(AutoSaveFileName);
    int games = 0;
    for (std::string line; std::getline(in, line);) games += line.rfind("[Event ", 0) == 0;
    return games;
  }
  // Marks the engine's book moves as the search records them.
  static void MarkBookMoves(std::initializer_list<int> plies) {
    for (int ply : plies)
      Game.history[ply].shellWords[RecordFlagsWord] = RecordEngineResult | RecordBookMove | RecordEngineMove;
  }
};

TEST_F(GameEnd, UcinewgameThenQuitSavesTheGameOnce) {
  DispatchCommand("position startpos moves e2e4 e7e5 g1f3");
  DispatchCommand("ucinewgame");
  DispatchCommand("quit");
  EXPECT_EQ(SavedGames(), 1);
}

TEST_F(GameEnd, APositionOfAnotherGameSavesTheOldOne) {
  DispatchCommand("position startpos moves e2e4 e7e5 g1f3");
  DispatchCommand("position startpos moves e2e4 e7e5 g1f3 b8c6");   // the same game goes on
  EXPECT_EQ(SavedGames(), 0);
  DispatchCommand("position startpos moves d2d4");                  // another game
  EXPECT_EQ(SavedGames(), 1);
  DispatchCommand("quit");
  EXPECT_EQ(SavedGames(), 1);   // one ply: not saved
}

TEST_F(GameEnd, UcinewgameThenQuitLearnsOnceWithoutAutoSave) {
  WriteTestBook("learn-once.cbk", {{"", "e2e4", 5, 20}, {"e2e4 e7e5", "g1f3", 5, 20}});
  DispatchCommand("setoption name AutoSave PGN value false");
  std::string before = FileBytes("learn-once.cbk");
  // The engine's book moves: e2e4, played back, and g1f3 just chosen with a winning score.
  DispatchCommand("position startpos moves e2e4 e7e5");
  GameRecord& last = Game.history[4];
  last.move = ParseMoveText("g1f3");
  last.mover = White;
  last.shellWords[RecordScoreWord] = 300;
  PliesPlayed = 4;
  MarkBookMoves({2, 4});
  DispatchCommand("ucinewgame");
  std::string once = FileBytes("learn-once.cbk");
  EXPECT_NE(once, before);
  DispatchCommand("quit");
  EXPECT_EQ(FileBytes("learn-once.cbk"), once);
  Options.settingsFlags2 |= Flag2AutoSavePgn;
}

TEST_F(GameEnd, AShortGameLeavesNoMarksForTheNextOne) {
  // The engine's book move of a game abandoned after two plies must not count
  // as the engine's move when the next game has the same move by the opponent.
  DispatchCommand("position startpos moves e2e4");
  MarkBookMoves({2});
  DispatchCommand("position fen 4k3/8/8/8/8/8/4P3/4K3 w - - 0 1");
  EXPECT_EQ(Game.history[2].shellWords[RecordFlagsWord], 0);
  // A continuing position keeps them.
  DispatchCommand("position startpos moves e2e4 e7e5 g1f3");
  MarkBookMoves({2});
  DispatchCommand("position startpos moves e2e4 e7e5 g1f3 b8c6");
  EXPECT_EQ(Game.history[2].shellWords[RecordFlagsWord], RecordEngineResult | RecordBookMove | RecordEngineMove);
}

TEST_F(GameEnd, SetUpsResetTheLearnBaseAndReplayedBookMovesMoveIt) {
  DispatchCommand("position startpos");
  EXPECT_EQ(LearnBase, -1);
  LearnBase = 5;
  DispatchCommand("position fen 4k3/8/8/8/8/8/4P3/4K3 w - - 0 1");
  EXPECT_EQ(LearnBase, -1);
  LearnBase = 5;
  DispatchCommand("position fen this is no fen");   // refused: nothing set up
  EXPECT_EQ(LearnBase, 5);
  // The engine played e2e4 from the book at ply 2; the GUI plays it back.
  DispatchCommand("ucinewgame");
  DispatchCommand("position startpos");
  Game.history[2].move = ParseMoveText("e2e4");
  MarkBookMoves({2});
  DispatchCommand("position startpos moves e2e4 e7e5");
  EXPECT_EQ(LearnBase, 2);
  // Reaching the position of the game's first search puts the base back where that search fixed it.
  LearnBaseKey = Pos.key;
  DispatchCommand("position startpos moves e2e4 e7e5 g1f3");
  EXPECT_EQ(LearnBase, 1);
}

}  // namespace

// Game ends as the dispatcher sees them (ucinewgame, a new position, quit): saved and learned once.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "board/board.h"
#include "book/book_helpers.h"
#include "record/record.h"
#include "shell/engine.h"

namespace {

const uint16_t EngineBookMove = RecordEngineResult | RecordBookMove | RecordEngineMove;

class GameEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    BookTestReady();
    UciStarted = 2;
    QuitFlag = 0;
    NewGameFlag = false;
    PliesPlayed = 1;
    LastPositionText[0] = 0;
    LearnBase = -1;
    LearnBaseKey = 0;
  }
  void TearDown() override { CloseBook(); }
  static void Run(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) DispatchCommand(line.c_str());
  }
  static uint16_t& Flags(int ply) { return Game.history[ply].shellWords[RecordFlagsWord]; }
};

TEST_F(GameEnd, EachGameIsSavedOnce) {
  const std::string game = "position startpos moves e2e4 e7e5 g1f3";
  const std::pair<std::vector<std::string>, size_t> cases[] = {
      {{game, "ucinewgame", "quit"}, 1},
      {{game, "position startpos moves e2e4 e7e5 g1f3 b8c6"}, 0},  // the same game goes on
      {{game, "position startpos moves d2d4", "quit"}, 1},         // another game, of one ply at quit
  };
  for (const auto& [lines, saved] : cases) {
    SetUp();
    Run(lines);
    const std::string text = ReadFile(AutoSaveFileName);
    size_t games = 0;
    for (size_t at = text.find("[Event "); at != std::string::npos; at = text.find("[Event ", at + 1)) games++;
    EXPECT_EQ(games, saved) << lines.back();
  }
}

TEST_F(GameEnd, UcinewgameThenQuitLearnsOnceWithoutAutoSave) {
  WriteTestBook("once.cbk", {{"", "e2e4", 5, 20}, {"e2e4 e7e5", "g1f3", 5, 20}});
  Run({"setoption name AutoSave PGN value false", "position startpos moves e2e4 e7e5"});
  // The engine's book moves: e2e4, played back, and g1f3 just chosen with a winning score.
  GameRecord& nf3 = Game.history[4];
  nf3.move = ParseMoveText("g1f3");
  nf3.mover = White;
  nf3.prevKey = Pos.key;
  nf3.shellWords[RecordScoreWord] = 300;
  PliesPlayed = 4;
  Flags(2) = Flags(4) = EngineBookMove;
  Run({"ucinewgame"});
  const std::string once = ReadFile("once.cbk");
  Run({"quit"});
  EXPECT_EQ(ReadFile("once.cbk"), once);
  // Won: Nf3 +2, e4 +1 passed back; both marked.
  for (const auto& [line, move, weight] : {std::tuple{"", "e2e4", 21}, std::tuple{"e2e4 e7e5", "g1f3", 22}}) {
    BookRecord r = RecordIn("once.cbk", line, move);
    EXPECT_EQ(LearnedWeight(r), weight) << move;
    EXPECT_TRUE(r.bookInfo & BookWonMark) << move;
  }
}

TEST_F(GameEnd, SetUpsResetTheLearnBaseAndReplayedBookMovesMoveIt) {
  LearnBase = 5;
  Run({"position fen this is no fen"});  // refused: nothing set up
  EXPECT_EQ(LearnBase, 5);
  Run({"position startpos"});
  EXPECT_EQ(LearnBase, -1);
  // The engine played e2e4 from the book at ply 2; the GUI plays it back.
  Run({"ucinewgame", "position startpos"});
  Game.history[2].move = ParseMoveText("e2e4");
  Flags(2) = EngineBookMove;
  Run({"position startpos moves e2e4 e7e5"});
  EXPECT_EQ(LearnBase, 2);
  // Reaching the position of the game's first search puts the base back where that search fixed it.
  LearnBaseKey = Pos.key;
  Run({"position startpos moves e2e4 e7e5 g1f3"});
  EXPECT_EQ(LearnBase, 1);
}

TEST_F(GameEnd, AShortGameLeavesNoMarksForTheNextOne) {
  // The engine's book move of an abandoned game must not count as its move in the next game.
  Run({"position startpos moves e2e4"});
  Flags(2) = EngineBookMove;
  Run({"position fen 4k3/8/8/8/8/8/4P3/4K3 w - - 0 1"});
  EXPECT_EQ(Flags(2), 0);
  // A continuing position keeps them.
  Run({"position startpos moves e2e4 e7e5 g1f3"});
  Flags(2) = EngineBookMove;
  Run({"position startpos moves e2e4 e7e5 g1f3 b8c6"});
  EXPECT_EQ(Flags(2), EngineBookMove);
}

}  // namespace

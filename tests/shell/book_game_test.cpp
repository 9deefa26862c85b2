// A game against a second engine: instant book moves, then searches; the saved game and the book learned from it.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>

#include "book/book_helpers.h"

namespace {

// The nodes of the search that ended the fresh output (its final info line).
long Nodes(const EngineSession& s) {
  auto finals = s.Starting("info nps ");
  return finals.empty() ? -1 : NumberAfter(finals.back(), "nodes");
}

TEST(BookGame, BookMovesOpenTheGameAndBookLearningJudgesIt) {
  // Both engines find the opening in their books: White 1.e4 and 2.Nf3, Black 1...e5 and 2...Qg5?? (the queen goes).
  BookTestReady();
  WriteTestBook(
      "game.cbk",
      {{"", "e2e4", 7, 20}, {"e2e4", "e7e5", 7, 20}, {"e2e4 e7e5", "g1f3", 7, 20}, {"e2e4 e7e5 g1f3", "d8g5", 7, 20}});
  CloseBook();
  const std::string bookBefore = ReadFile("game.cbk");
  EngineSession engine, opponent;
  for (EngineSession* s : {&engine, &opponent}) {
    WriteFile(s->dir.File("Corvid11Book2.cbk"), bookBefore);
    EXPECT_NE(s->Answer("setoption name Book File value Corvid11Book2.cbk\nucinewgame\n").find("Loaded OK"),
              std::string::npos);
  }
  const char* const expected[] = {"e2e4", "e7e5", "g1f3", "d8g5"};
  std::string moves;
  for (int ply = 2; ply <= 8; ply++) {
    EngineSession& mover = ply % 2 == 0 ? engine : opponent;
    const int64_t start = NowMs();
    ASSERT_TRUE(mover.Search("position startpos moves" + moves + "\ngo wtime 4000 btime 4000\n")) << mover.Fresh();
    const std::string move = mover.BestMove();
    moves += " " + move;
    if (ply <= 5) {  // from the book, at once
      EXPECT_EQ(move, expected[ply - 2]);
      EXPECT_LT(Nodes(mover), 100) << mover.Fresh();
      EXPECT_LT(NowMs() - start, 1000);
    } else if (ply % 2 == 0) {  // the engine searches
      EXPECT_GT(Nodes(mover), 100) << mover.Fresh();
      EXPECT_NE(mover.Fresh().find(" score cp "), std::string::npos);
    }
  }
  // quit ends the game with the engine's last move not yet played back: a won game.
  engine.Quit();
  opponent.Quit();
  const std::string saved = ReadFile(engine.dir.File("Corvid11SPAutoSave.pgn"));
  EXPECT_NE(saved.find("[White \"CORVID 11.2 SP\"]\n[Black \"Player\"]\n[Result \"1-0\"]\n"), std::string::npos)
      << saved;
  const size_t movetext = saved.find("}\n1.e4 {0 0.00/0} e5 {0} 2.Nf3 {0 0.00/0} Qg5 {0} 3.");
  ASSERT_NE(movetext, std::string::npos) << saved;
  EXPECT_EQ(std::count(saved.begin() + movetext, saved.end(), '{'), 7) << "the seven plies of the game";
  // Won: Nf3 +2 and +1 per winning score after it, e4 one less; the opponent's moves stay.
  WriteFile("after.cbk", ReadFile(engine.dir.File("Corvid11Book2.cbk")));
  const std::tuple<const char*, const char*, int, int> records[] = {
      {"", "e2e4", 23, BookWonMark}, {"e2e4", "e7e5", 20, 0}, {"e2e4 e7e5", "g1f3", 24, BookWonMark},
      {"e2e4 e7e5 g1f3", "d8g5", 20, 0}};
  for (const auto& [line, move, weight, marks] : records) {
    BookRecord after = RecordIn("after.cbk", line, move);
    EXPECT_EQ(LearnedWeight(after), weight) << move;
    EXPECT_EQ(after.bookInfo & (BookWonMark | BookLostMark), marks) << move;
  }
}

TEST(BookGame, OnlyASearchWithAClockUsesTheDefaultBook) {
  EngineSession s;
  WriteFile(s.dir.File("Corvid11Book2.cbk"), ReadFile(CORVID_DEFAULT_BOOK));
  EXPECT_NE(s.Answer("setoption name Book File value Corvid11Book2.cbk\n").find("Loaded OK"), std::string::npos);
  for (const std::string go : {"go depth 5", "go movetime 60", "go infinite", "go wtime 60000 btime 60000"}) {
    if (go == "go infinite") {
      s.engine.Send("position startpos\ngo infinite\n");
      s.engine.ReadFor(150);
      ASSERT_TRUE(s.Search("stop\n"));
    } else {
      ASSERT_TRUE(s.Search("position startpos\n" + go + "\n"));
    }
    EXPECT_EQ(Nodes(s) < 100, StartsWith(go, "go wtime")) << go << ": the book only with a clock\n" << s.Fresh();
  }
  s.Quit();
}

}  // namespace

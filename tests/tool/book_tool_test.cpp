// corvid-tool book: the PGN reader, the static weights, the book builder and
// the command line, with a probe of the books it writes.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "board/board.h"
#include "book/book.h"
#include "book/book_helpers.h"
#include "core/settings.h"
#include "tool/book_tool.h"
#include "tool/pgn.h"

namespace {

// ---- The PGN reader

struct ReadCase {
  const char* name;
  const char* text;
  std::vector<std::vector<std::string>> games;   // per game: result, fen, then the moves
};

TEST(PgnReader, KeepsTheMainLineAndTheTagsItNeeds) {
  const ReadCase cases[] = {
      {"plain", "[Event \"x\"]\n[Result \"1-0\"]\n\n1. e4 e5 2. Nf3 1-0\n", {{"1-0", "", "e4", "e5", "Nf3"}}},
      {"comments", "1. e4 {best by test; 2. d4} e5 ; rest of line 2. Nf3\n2... Nc6 *",
       {{"*", "", "e4", "e5", "Nc6"}}},
      {"variations", "1. e4 (1. d4 d5 (1... Nf6 {x)} 2. c4)) e5 (1... c5) 2. Nf3 1/2-1/2",
       {{"1/2-1/2", "", "e4", "e5", "Nf3"}}},
      {"annotations", "1. e4! e5?! 2. Nf3 $1 Nc6 $14 3. Bb5!! 0-1", {{"0-1", "", "e4", "e5", "Nf3", "Nc6", "Bb5"}}},
      {"numbers joined", "1.e4 e5 2.Nf3 2...Nc6 3.O-O-O+ *", {{"*", "", "e4", "e5", "Nf3", "Nc6", "O-O-O+"}}},
      {"no result before the next game", "[Event \"a\"]\n1. e4 e5\n\n[Event \"b\"]\n1. d4 *",
       {{"", "", "e4", "e5"}, {"*", "", "d4"}}},
      {"escape line", "% produced by a program\n1. c4 *", {{"*", "", "c4"}}},
      {"tags with quotes", "[Event \"the \\\"open\\\" [1]\"]\n[FEN \"8/8/8/8/8/8/8/K1k5 w - - 0 1\"]\n1. Kb1 *",
       {{"*", "8/8/8/8/8/8/8/K1k5 w - - 0 1", "Kb1"}}},
      {"no tags, no result at the end", "1. e4 e5", {{"", "", "e4", "e5"}}},
      {"empty", "", {}},
      {"only blanks and comments", "  {nothing}\n ; here\n", {}},
  };
  for (const ReadCase& c : cases) {
    SCOPED_TRACE(c.name);
    PgnReader reader(c.text);
    PgnGame game;
    std::vector<std::vector<std::string>> read;
    while (reader.Next(game)) {
      std::vector<std::string> g = {game.result, game.fen};
      g.insert(g.end(), game.moves.begin(), game.moves.end());
      read.push_back(g);
    }
    EXPECT_EQ(read, c.games);
  }
}

TEST(PgnReader, KeepsOnlyTheFirstMovesWhenAsked) {
  PgnReader reader("1. e4 e5 2. Nf3 Nc6 3. Bb5 1-0\n1. d4 d5 0-1");
  PgnGame game;
  ASSERT_TRUE(reader.Next(game, 3));
  EXPECT_EQ(game.moves, (std::vector<std::string>{"e4", "e5", "Nf3"}));
  EXPECT_EQ(game.result, "1-0");
  ASSERT_TRUE(reader.Next(game, 3));
  EXPECT_EQ(game.moves, (std::vector<std::string>{"d4", "d5"}));
  EXPECT_FALSE(reader.Next(game, 3));
}

// ---- Static weights

struct WeightCase {
  uint32_t moveGames, positionGames, points;
  int weight;
};

TEST(BookWeights, HowOftenAndHowWellAMoveWasPlayed) {
  const WeightCase cases[] = {
      {45, 100, 45, 7},   // chosen in 45% of the games, scoring 50%
      {30, 100, 30, 6},   {15, 100, 15, 5}, {10, 100, 10, 4}, {5, 100, 5, 3}, {2, 100, 2, 2}, {1, 100, 1, 1},
      {45, 100, 20, 5},   // scoring 22%: two steps down
      {45, 100, 36, 6},   // 40%: one step down
      {45, 100, 60, 7},   // 67%: one up, but 7 is the top
      {10, 100, 14, 5},   // 70% over ten games: one up
      {9, 100, 14, 4},    // the same score over nine games is not enough
      {1, 100, 0, 0},     // rare and lost: never played
      {0, 0, 0, 0},
  };
  for (const WeightCase& c : cases)
    EXPECT_EQ(StaticWeightFor(c.moveGames, c.positionGames, c.points), c.weight)
        << c.moveGames << "/" << c.positionGames << " " << c.points;
}

// ---- The builder

const char* const SmallPgn =
    "[Result \"1-0\"]\n1. e4 e5 2. Nf3 Nc6 1-0\n"
    "[Result \"1/2-1/2\"]\n1. e4 e5 2. Nf3 Nf6 1/2-1/2\n"
    "[Result \"0-1\"]\n1. e4 c5 0-1\n"
    "[Result \"1-0\"]\n1. d4 d5 1-0\n";

class Builder : public ::testing::Test {
 protected:
  void SetUp() override { BookTestReady(); }
  void TearDown() override {
    CloseBook();
    PlayLine("");
  }
  // The records as "line: move static/learned", in file order.
  static std::vector<std::string> Describe(const std::vector<BookRecord>& records,
                                           const std::vector<std::string>& lines) {
    std::vector<std::string> out;
    for (const BookRecord& r : records) {
      std::string where = "?";
      for (const std::string& line : lines) {
        PlayLine(line);
        if (BookKey(Pos.key, Game.side) == r.bookKey && BookCheckByte(Pos.key) == RecordCheckByte(r)) where = line;
      }
      PlayLine(where == "?" ? "" : where);
      std::string move = MoveToText(Move(r.bookMove & BookMoveMask), TextCoordinate | TextNoPadding);
      out.push_back(where + ": " + move + " " + std::to_string(StaticWeight(r)) + "/" +
                    std::to_string(LearnedWeight(r)));
    }
    PlayLine("");
    return out;
  }
  static bool SortedByKey(const std::vector<BookRecord>& records) {
    for (size_t i = 1; i < records.size(); i++)
      if (records[i - 1].bookKey > records[i].bookKey) return false;
    return true;
  }
};

const std::vector<std::string> SmallLines = {"", "e2e4", "e2e4 e7e5", "e2e4 e7e5 g1f3", "d2d4"};

TEST_F(Builder, CountsEveryMoveOfThePliesAndWeighsIt) {
  BookBuilder builder({4, 1});
  builder.AddGames(SmallPgn);
  std::vector<BookRecord> records = builder.Records();
  EXPECT_TRUE(SortedByKey(records));
  std::vector<std::string> described = Describe(records, SmallLines);
  std::sort(described.begin(), described.end());
  EXPECT_EQ(described, (std::vector<std::string>{
                           ": d2d4 6/24",              // 1 of 4 games
                           ": e2e4 7/28",              // 3 of 4, scoring 50%
                           "d2d4: d7d5 5/20",          // Black lost the only game
                           "e2e4 e7e5 g1f3: b8c6 5/20",
                           "e2e4 e7e5 g1f3: g8f6 7/28",
                           "e2e4 e7e5: g1f3 7/28",
                           "e2e4: c7c5 6/24",
                           "e2e4: e7e5 5/20",          // 2 of 3, scoring 25% for Black
                       }));
  EXPECT_EQ(builder.Stats().games, 4);
  EXPECT_EQ(builder.Stats().positions, 5);
  EXPECT_EQ(builder.Stats().records, 8);
}

TEST_F(Builder, PliesAndMinimumGamesLimitTheBook) {
  const struct {
    int plies, minGames;
    size_t records;
  } cases[] = {{4, 1, 8}, {2, 1, 5}, {1, 1, 2}, {4, 2, 3}, {4, 3, 1}, {4, 4, 0}};
  for (const auto& c : cases) {
    BookBuilder builder({c.plies, c.minGames});
    builder.AddGames(SmallPgn);
    EXPECT_EQ(builder.Records().size(), c.records) << c.plies << " plies, " << c.minGames << " games";
  }
}

TEST_F(Builder, KeepsTwentyMovesAPositionTheMostPlayedFirst) {
  const char* replies[] = {"a3", "a4", "b3", "b4", "c3", "c4", "d3", "d4", "f3", "f4", "g3", "g4", "h3", "h4", "Nc3",
                           "Na3", "Nh3", "Ne2", "Be2", "Bd3", "Bc4", "Bb5", "Ba6", "Qe2", "Qf3", "Qg4", "Qh5", "Ke2"};
  std::string pgn;
  for (const char* reply : replies) pgn += std::string("1. e4 e5 2. ") + reply + " *\n";
  for (int i = 0; i < 5; i++) pgn += "1. e4 e5 2. Nf3 *\n";
  BookBuilder builder({4, 1});
  builder.AddGames(pgn);
  std::vector<BookRecord> records = builder.Records();
  PlayLine("e2e4 e7e5");
  const uint32_t key = BookKey(Pos.key, Game.side);
  const Move nf3 = Move(ParseMoveText("g1f3") & BookMoveMask);
  int count = 0;
  bool hasNf3 = false;
  for (const BookRecord& r : records)
    if (r.bookKey == key) {
      count++;
      hasNf3 |= (r.bookMove & BookMoveMask) == nf3;
    }
  EXPECT_EQ(count, 20);
  EXPECT_TRUE(hasNf3);
}

TEST_F(Builder, AGameStopsAtAMoveThatCannotBePlayed) {
  BookBuilder builder({10, 1});
  builder.AddGames("1. e4 e5 2. Nf6 Nc6 *\n1. O-O *\n[FEN \"not a fen\"]\n1. e4 *\n1. e4 c5 *\n");
  const BookBuildStats& s = builder.Stats();
  EXPECT_EQ(s.games, 4);
  EXPECT_EQ(s.skipped, 3);
  std::vector<std::string> described = Describe(builder.Records(), {"", "e2e4"});
  std::sort(described.begin(), described.end());
  // Games without a result count as draws.
  EXPECT_EQ(described, (std::vector<std::string>{": e2e4 7/28", "e2e4: c7c5 7/28", "e2e4: e7e5 7/28"}));
}

TEST_F(Builder, GamesFromAFenAndCastlingWords) {
  BookBuilder builder({6, 1});
  builder.AddGames(
      "[FEN \"r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1\"]\n1. O-O O-O-O 2. Rfe1 *\n"
      "[FEN \"r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1\"]\n1. 0-0-0 0-0 *\n");
  std::vector<BookRecord> records = builder.Records();
  EXPECT_EQ(records.size(), 5u);
  EXPECT_EQ(builder.Stats().skipped, 0);
}

TEST_F(Builder, ABuiltBookIsProbedLikeAnyOther) {
  BookBuilder builder({8, 1});
  builder.AddGames(SmallPgn);
  ASSERT_TRUE(WriteBookFile("built.cbk", builder.Records()));
  Options.bookStatus = 0;
  ASSERT_EQ(OpenBook("built.cbk"), 1);
  EXPECT_EQ(Options.bookPositions, 8);
  PlayLine("");   // the builder leaves the board at the end of its last game
  std::map<std::string, int> seen;
  for (int i = 0; i < 100; i++) {
    BookSeed = uint32_t(i * 2654435761u + 1);
    LearnBase = -1;
    Pos.undoTop = 0;
    Game.searchRootPly = Pos.ply;
    int n = GenerateMoves(White, 1, 0);
    uint32_t flags = SettingsFlags | FlagOwnBook;
    Move m = ProbeBook(White, flags, MoveListBegin(1), MoveListBegin(1) + n);
    seen[m ? MoveToText(Move(m & ~CheckMark), TextCoordinate | TextNoPadding) : "none"]++;
  }
  EXPECT_EQ(seen.size(), 2u);
  EXPECT_GT(seen["e2e4"], seen["d2d4"]);
  EXPECT_GT(seen["d2d4"], 0);
}

// ---- The command line

std::string RunTool(const std::string& arguments) {
  std::string command = std::string(CORVID_TOOL_BINARY) + " " + arguments + " 2>&1";
  FILE* out = popen(command.c_str(), "r");
  std::string text;
  char buffer[512];
  while (out && std::fgets(buffer, sizeof buffer, out)) text += buffer;
  if (out) pclose(out);
  return text;
}

TEST(BookCommand, BuildsAndShowsABook) {
  std::string built = RunTool("book build cli.cbk " CORVID_TEST_DATA_DIR "/book-games.pgn --plies 6 --min-games 1");
  EXPECT_NE(built.find("6 games (0 stopped at a move that could not be played), 6 plies each"), std::string::npos)
      << built;
  EXPECT_EQ(RunTool("book show cli.cbk"),
            "book cli.cbk: 25 records\n"
            "book key b183870d, check byte 7d, white to move\n"
            "move     uci     static  learned  marks\n"
            "e4       e2e4    6       24       \n"     // 4 of 6 games, 3 of 8 points
            "d4       d2d4    6       24       \n");   // 2 of 6 games, 3 of 4 points
  std::string afterE4 = RunTool("book show cli.cbk rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq - 0 1");
  EXPECT_NE(afterE4.find("e5       e7e5    7       28"), std::string::npos) << afterE4;
  EXPECT_NE(afterE4.find("c5       c7c5"), std::string::npos) << afterE4;
  std::string outside = RunTool("book show cli.cbk 8/8/8/8/8/8/8/K1k5 w - - 0 1");
  EXPECT_NE(outside.find("no book moves"), std::string::npos) << outside;
}

TEST(BookCommand, RefusesWhatItCannotUse) {
  EXPECT_NE(RunTool("book build").find("usage"), std::string::npos);
  EXPECT_NE(RunTool("book build out.cbk").find("usage"), std::string::npos);
  EXPECT_NE(RunTool("book build out.cbk missing.pgn").find("cannot read missing.pgn"), std::string::npos);
  EXPECT_NE(RunTool("book build out.cbk x.pgn --plies 0").find("usage"), std::string::npos);
  EXPECT_NE(RunTool("book show missing.cbk").find("cannot open book missing.cbk"), std::string::npos);
  EXPECT_NE(RunTool("book show missing.cbk not a fen").find("invalid FEN"), std::string::npos);
}

}  // namespace

// corvid-tool book: the PGN reader, the book builder and the command line.
#include "tool/book_tool.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "board/board.h"
#include "book/book_helpers.h"
#include "tool/pgn.h"

namespace {

TEST(PgnReader, KeepsTheMainLineAndTheTagsItNeeds) {
  // The text; per game the result, the FEN and the moves; the moves read per game (0: all).
  const std::tuple<const char*, std::vector<std::vector<std::string>>, size_t> cases[] = {
      {"[Event \"x\"]\n[Result \"1-0\"]\n\n1. e4 e5 2. Nf3 1-0\n", {{"1-0", "", "e4", "e5", "Nf3"}}, 0},
      {"1. e4 {best by test; 2. d4} e5 ; rest of line 2. Nf3\n2... Nc6 *", {{"*", "", "e4", "e5", "Nc6"}}, 0},
      {"1. e4 (1. d4 d5 (1... Nf6 {x)} 2. c4)) e5 (1... c5) 2. Nf3 1/2-1/2", {{"1/2-1/2", "", "e4", "e5", "Nf3"}}, 0},
      {"1. e4! e5?! 2. Nf3 $1 Nc6 $14 3. Bb5!! 0-1", {{"0-1", "", "e4", "e5", "Nf3", "Nc6", "Bb5"}}, 0},
      {"1.e4 e5 2.Nf3 2...Nc6 3.O-O-O+ *", {{"*", "", "e4", "e5", "Nf3", "Nc6", "O-O-O+"}}, 0},
      {"[Event \"a\"]\n1. e4 e5\n\n[Event \"b\"]\n1. d4 *", {{"", "", "e4", "e5"}, {"*", "", "d4"}}, 0},  // no result
      {"[Event \"the \\\"open\\\" [1]\"]\n[FEN \"8/8/8/8/8/8/8/K1k5 w - - 0 1\"]\n1. Kb1 *",
       {{"*", "8/8/8/8/8/8/8/K1k5 w - - 0 1", "Kb1"}}, 0},
      {"  {nothing}\n ; here\n", {}, 0},
      {"1. e4 e5 2. Nf3 Nc6 1-0\n1. d4 d5 0-1", {{"1-0", "", "e4", "e5", "Nf3"}, {"0-1", "", "d4", "d5"}}, 3},
  };
  for (const auto& [text, games, maxMoves] : cases) {
    PgnReader reader(text);
    PgnGame game;
    std::vector<std::vector<std::string>> read;
    while (reader.Next(game, maxMoves ? maxMoves : SIZE_MAX)) {
      read.push_back({game.result, game.fen});
      read.back().insert(read.back().end(), game.moves.begin(), game.moves.end());
    }
    EXPECT_EQ(read, games) << text;
  }
}

class Builder : public ::testing::Test {
 protected:
  void SetUp() override { BookTestReady(); }
  // The records of the position after `line` as "move static/learned", in their order.
  static std::vector<std::string> At(const std::vector<BookRecord>& records, const std::string& line) {
    PlayLine(line);
    std::vector<std::string> out;
    for (const BookRecord& r : records)
      if (r.bookKey == BookKey(Pos.key, Game.side) && RecordCheckByte(r) == BookCheckByte(Pos.key))
        out.push_back(std::string(MoveToText(Move(r.bookMove & BookMoveMask), TextCoordinate | TextNoPadding)) + " " +
                      std::to_string(StaticWeight(r)) + "/" + std::to_string(LearnedWeight(r)));
    return out;
  }
};

TEST_F(Builder, CountsEveryMoveOfThePliesAndWeighsIt) {
  const std::string pgn =
      "[Result \"1-0\"]\n1. e4 e5 2. Nf3 Nc6 1-0\n[Result \"1/2-1/2\"]\n1. e4 e5 2. Nf3 Nf6 1/2-1/2\n"
      "[Result \"0-1\"]\n1. e4 c5 0-1\n[Result \"1-0\"]\n1. d4 d5 1-0\n";
  BookBuilder builder({4, 1});
  builder.AddGames(pgn);
  const std::vector<BookRecord> records = builder.Records();
  for (size_t i = 1; i < records.size(); i++) EXPECT_LE(records[i - 1].bookKey, records[i].bookKey);
  EXPECT_EQ(At(records, ""), (std::vector<std::string>{"e2e4 7/28", "d2d4 6/24"}));      // 3 of 4 games, 1 of 4
  EXPECT_EQ(At(records, "e2e4"), (std::vector<std::string>{"c7c5 6/24", "e7e5 5/20"}));  // e5: 2 of 3, 25%
  EXPECT_EQ(At(records, "e2e4 e7e5"), (std::vector<std::string>{"g1f3 7/28"}));
  EXPECT_EQ(At(records, "e2e4 e7e5 g1f3"), (std::vector<std::string>{"g8f6 7/28", "b8c6 5/20"}));
  EXPECT_EQ(At(records, "d2d4"), (std::vector<std::string>{"d7d5 5/20"}));  // Black lost the only game
  EXPECT_EQ(std::tuple(builder.Stats().games, builder.Stats().positions, builder.Stats().records), std::tuple(4, 5, 8));
  // Plies and minimum games limit the book.
  for (const auto& [plies, minGames, records] : {std::tuple{2, 1, 5u}, std::tuple{4, 3, 1u}, std::tuple{4, 4, 0u}}) {
    BookBuilder limited({plies, minGames});
    limited.AddGames(pgn);
    EXPECT_EQ(limited.Records().size(), records) << plies << " plies, " << minGames << " games";
  }
}

TEST_F(Builder, AGameStopsAtAMoveThatCannotBePlayed) {
  const std::tuple<const char*, long, long, size_t> cases[] = {  // PGN; games, games skipped, records
      // Nf6 is no move of White's, O-O not possible at the start, the FEN unreadable; no result counts as a draw.
      {"1. e4 e5 2. Nf6 Nc6 *\n1. O-O *\n[FEN \"not a fen\"]\n1. e4 *\n1. e4 c5 *\n", 4, 3, 3},
      {"[FEN \"r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1\"]\n1. O-O O-O-O 2. Rfe1 *\n"
       "[FEN \"r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1\"]\n1. 0-0-0 0-0 *\n", 2, 0, 5},
  };
  for (const auto& [pgn, games, skipped, records] : cases) {
    BookBuilder builder({10, 1});
    builder.AddGames(pgn);
    EXPECT_EQ(std::tuple(builder.Stats().games, builder.Stats().skipped, builder.Records().size()),
              std::tuple(games, skipped, records))
        << pgn;
  }
}

TEST(BookCommand, BuildsAndShowsABook) {
  std::string built = RunTool("book build cli.cbk " CORVID_TEST_DATA_DIR "/book-games.pgn --plies 6 --min-games 1");
  EXPECT_NE(built.find("6 games (0 stopped at a move that could not be played), 6 plies each"), std::string::npos)
      << built;
  EXPECT_EQ(RunTool("book show cli.cbk"),
            "book cli.cbk: 25 records\n"
            "book key b183870d, check byte 7d, white to move\n"
            "move     uci     static  learned  marks\n"
            "e4       e2e4    6       24       \n"    // 4 of 6 games, 3 of 8 points
            "d4       d2d4    6       24       \n");  // 2 of 6 games, 3 of 4 points
  std::string afterE4 = RunTool("book show cli.cbk rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq - 0 1");
  EXPECT_NE(afterE4.find("e5       e7e5    7       28"), std::string::npos) << afterE4;
  EXPECT_NE(afterE4.find("c5       c7c5"), std::string::npos) << afterE4;
  EXPECT_NE(RunTool("book show cli.cbk 8/8/8/8/8/8/8/K1k5 w - - 0 1").find("no book moves"), std::string::npos);
  // What it cannot use.
  for (const auto& [arguments, answer] : {std::pair{"book build out.cbk", "usage"},
                                          std::pair{"book build out.cbk missing.pgn", "cannot read missing.pgn"},
                                          std::pair{"book show missing.cbk", "cannot open book missing.cbk"},
                                          std::pair{"book show missing.cbk not a fen", "invalid FEN"}})
    EXPECT_NE(RunTool(arguments).find(answer), std::string::npos) << arguments;
}

}  // namespace

// The game record: what GameFinished saves and judges, the PGN text of the
// moves and their comments, and a standard PGN reader's verdict on every game
// the engine saves.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "board/board.h"
#include "book/book.h"
#include "book/book_helpers.h"
#include "record/record.h"
#include "search/search.h"
#include "search/search_state.h"
#include "shell/engine.h"
#include "core/settings.h"

namespace {

const char* const Engine = "CORVID 11.2 SP";

class Record : public ::testing::Test {
 protected:
  void SetUp() override {
    BookTestReady();
    SettingsFlags &= ~FlagLimitStrength;
    Options.strengthBudget = 0;
    Options.settingsFlags2 |= Flag2AutoSavePgn;
    SearchFlags = SettingsFlags;
    ClearGameRecord();
    std::remove(AutoSaveFileName);
  }
  void TearDown() override {
    ClearGameRecord();
    CloseBook();
    PlayLine("");
  }

  // The words the search writes for a ply it recorded.
  static void Mark(int ply, int score, uint16_t flags, int depth = 0, uint32_t cumulativeMs = 0) {
    GameRecord& g = Game.history[ply];
    g.shellWords[RecordScoreWord] = uint16_t(int16_t(score));
    g.shellWords[RecordFlagsWord] = flags;
    g.sanWord = uint16_t((g.sanWord & RecordSanMask) | (depth << RecordDepthShift));
    g.extraLong = cumulativeMs;
  }
  // The game set up from a FEN, then the moves.
  static bool PlayFen(const std::string& fen, const std::string& line) {
    ResetGameState();
    if (!ParseFen(fen.c_str())) return false;
    std::istringstream in(line);
    for (std::string token; in >> token;) {
      Move m = ParseMoveText(token.c_str());
      if (!m || !IsPseudoLegal(Game.side, &m) || !PlayGameMove(m, Game.side)) return false;
      Game.side ^= 1;
    }
    return true;
  }
  // The engine's last move recorded but not yet played back by the GUI.
  static void TakeBackLast() {
    TakeBackGameMove();
    Game.side ^= 1;
  }

  static std::string Pgn(int engineColour, int resultClass, int pliesPlayed, const char* fen = "") {
    FILE* f = std::tmpfile();
    WritePgn(f, engineColour, resultClass, {Engine, fen, pliesPlayed});
    std::rewind(f);
    std::string text;
    for (int c; (c = std::fgetc(f)) != EOF;) text += char(c);
    std::fclose(f);
    return text;
  }
  // The movetext: the lines after the settings comment.
  static std::string Moves(const std::string& pgn) { return pgn.substr(pgn.find("}\n", pgn.find("{CT=")) + 2); }
  static std::string Saved() {
    std::ifstream in(AutoSaveFileName);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }
  static void Finish(int pliesPlayed) { GameFinished({Engine, "", pliesPlayed}); }
};

// ---- When a game is saved

TEST_F(Record, TwoPliesAreNotSavedThreeAre) {
  for (int plies : {1, 2, 3}) {
    SCOPED_TRACE(plies);
    std::remove(AutoSaveFileName);
    PlayLine(plies == 3 ? "e2e4 e7e5" : plies == 2 ? "e2e4" : "");
    int rounds = RoundCount;
    Finish(plies);
    EXPECT_EQ(RoundCount, rounds + 1);
    EXPECT_EQ(access(AutoSaveFileName, F_OK) == 0, plies >= 3);
  }
}

TEST_F(Record, AutoSaveOffStillCountsTheRound) {
  PlayLine("e2e4 e7e5 g1f3");
  Options.settingsFlags2 &= ~Flag2AutoSavePgn;
  int rounds = RoundCount;
  Finish(4);
  EXPECT_EQ(RoundCount, rounds + 1);
  EXPECT_NE(access(AutoSaveFileName, F_OK), 0);
  Options.settingsFlags2 |= Flag2AutoSavePgn;
  PlayLine("e2e4 e7e5 g1f3");
  Finish(4);
  EXPECT_NE(Saved().find("[Round \"" + std::to_string(rounds + 2) + "\"]\n"), std::string::npos) << Saved();
}

// ---- The result the engine infers

struct ResultCase {
  const char* name;
  int mover;
  int score;
  bool playedBack;       // the GUI has played the engine's last move back
  const char* result;
  const char* white;
};

TEST_F(Record, TheResultFollowsTheEnginesLastScore) {
  const ResultCase cases[] = {
      {"+250 is not decisive", White, 250, false, "*", Engine},
      {"+257 wins", White, 257, false, "1-0", Engine},
      {"-95 is a draw", White, -95, false, "1/2-1/2", Engine},
      {"-96 is not", White, -96, false, "*", Engine},
      {"-257 loses", White, -257, false, "0-1", Engine},
      {"Black's +257 wins for Black", Black, 257, false, "0-1", "Player"},
      {"Black's -300 wins for White", Black, -300, false, "1-0", "Player"},
      {"played back: no result", White, 257, true, "*", Engine},
  };
  for (const ResultCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::remove(AutoSaveFileName);
    ClearGameRecord();
    const std::string line = c.mover == White ? "e2e4 e7e5 g1f3" : "e2e4 e7e5 g1f3 b8c6";
    PlayLine(line);
    const int last = Game.index;
    Mark(last, c.score, RecordEngineResult | RecordEngineMove, 9);
    if (!c.playedBack) TakeBackLast();
    Finish(last);
    std::string saved = Saved();
    EXPECT_NE(saved.find(std::string("[Result \"") + c.result + "\"]\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find(std::string("\n") + c.result + "\n\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find(std::string("[White \"") + c.white + "\"]\n"), std::string::npos) << saved;
  }
}

// ---- The text of the moves and their comments

TEST_F(Record, AGameStartedWithBlackToMoveBeginsWithDots) {
  const char* fen = "4k3/8/8/8/8/8/4P3/R3K3 b Q - 0 40";
  ASSERT_TRUE(PlayFen(fen, "e8d7 e1c1 d7c6 e2e4"));
  std::string pgn = Pgn(Black, 0, Game.index, fen);
  EXPECT_NE(pgn.find("[SetUp \"1\"]\n[FEN \"4k3/8/8/8/8/8/4P3/R3K3 b Q - 0 40\"]\n"), std::string::npos) << pgn;
  EXPECT_EQ(Moves(pgn), "40...Kd7 {0} 41.O-O-O+ {0} Kc6 {0} 42.e4 {0} \n*\n\n");
  ASSERT_TRUE(PlayFen("4k3/8/8/8/8/8/4P3/4K3 w - - 0 12", "e2e4 e8d7"));
  EXPECT_EQ(Moves(Pgn(White, 0, Game.index)), "12.e4 {0} Kd7 {0} \n*\n\n");
}

struct TimeCase {
  uint32_t ms;
  const char* text;
};

TEST_F(Record, TheTimeOfAPlyInSecondsMinutesAndHours) {
  const TimeCase cases[] = {{0, "{0}"},           {999, "{0}"},         {7000, "{7}"},
                            {59999, "{59}"},      {60000, "{1:00}"},    {75000, "{1:15}"},
                            {3599000, "{59:59}"}, {3600000, "{1:00:00}"}, {3725000, "{1:02:05}"},
                            {40000000, "{11:06:40}"}};
  for (const TimeCase& c : cases) {
    PlayLine("e2e4 e7e5 g1f3 b8c6");
    Mark(2, 0, 0, 0, 5000);          // White's first move: 5 s
    Mark(4, 0, 0, 0, 5000 + c.ms);   // the second: its own time on top
    EXPECT_EQ(Moves(Pgn(White, 0, 5)), std::string("1.e4 {5} e5 {0} 2.Nf3 ") + c.text + " Nc6 {0} \n*\n\n") << c.ms;
  }
  // A ply whose time was never recorded shows 0, also after a recorded one.
  PlayLine("e2e4 e7e5 g1f3");
  Mark(2, 0, 0, 0, 9000);
  Mark(4, 0, 0, 0, 0);
  EXPECT_EQ(Moves(Pgn(White, 0, 4)), "1.e4 {9} e5 {0} 2.Nf3 {0} \n*\n\n");
}

struct ScoreCase {
  int mover;
  int score;
  int depth;
  const char* comment;
};

TEST_F(Record, TheEnginesScoreFromWhitesView) {
  const ScoreCase cases[] = {
      {White, -32, 11, " -0.25/11} "},   // a quarter pawn down after an engine move at depth 11
      {Black, 32, 11, " -0.25/11} "},    // Black a quarter pawn up: the same from White's view
      {White, 40, 14, " 0.31/14} "},
      {White, 0, 0, " 0.00/0} "},
      {White, -127, 3, " -0.99/3} "},   // truncated toward zero
      {White, 129, 3, " 1.00/3} "},
      {Black, -1000, 20, " 7.81/20} "},
      {White, 7799, 9, " 60.92/9} "},
      {White, 7800, 9, " MATE N/9} "},
      {Black, -7800, 9, " MATE N/9} "},
      // Mates: the sign names the side that mates, the number counts its moves as it reports them over UCI.
      {White, 8191, 1, " +M1/1} "},
      {White, 8189, 3, " +M2/3} "},
      {Black, 8191, 1, " -M1/1} "},      // used to read "-M0"
      {Black, 8189, 3, " -M2/3} "},
      {White, -8190, 4, " -M1/4} "},     // White is mated: used to read "-M-1"
      {White, -8188, 4, " -M2/4} "},
      {Black, -8190, 4, " +M1/4} "},
      {Black, -8188, 6, " +M2/6} "},
  };
  for (const ScoreCase& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.mover == White ? "White " : "Black ") << c.score);
    PlayLine("e2e4 e7e5 g1f3");
    Mark(c.mover == White ? 2 : 3, c.score, RecordEngineResult, c.depth);
    std::string expected = c.mover == White ? std::string("1.e4 {0") + c.comment + "e5 {0} 2.Nf3 {0} \n*\n\n"
                                            : std::string("1.e4 {0} e5 {0") + c.comment + "2.Nf3 {0} \n*\n\n";
    EXPECT_EQ(Moves(Pgn(c.mover, 0, 4)), expected);
  }
}

TEST_F(Record, WritingClearsTheResultMarksItShows) {
  PlayLine("e2e4 e7e5 g1f3");
  Mark(2, 40, RecordEngineResult, 14);
  Mark(4, 40, RecordEngineResult | RecordBookMove, 0);
  Pgn(White, 0, 3);   // shows plies 2 and 3
  EXPECT_EQ(Game.history[2].shellWords[RecordFlagsWord], 0);
  EXPECT_EQ(Game.history[4].shellWords[RecordFlagsWord], RecordEngineResult | RecordBookMove);
  EXPECT_EQ(Moves(Pgn(White, 0, 4)), "1.e4 {0} e5 {0} 2.Nf3 {0 0.31/0} \n*\n\n");
}

TEST_F(Record, AMateIsMarkedAndPromotionsAndCastlingAreWritten) {
  PlayLine("f2f3 e7e5 g2g4 d8h4");
  Mark(5, 0, uint16_t(RecordKindCheckmate << RecordResultKindShift));   // the result kind the engine merged
  EXPECT_EQ(Moves(Pgn(Black, 3, 5)), "1.f3 {0} e5 {0} 2.g4 {0} Qh4# {0} \n0-1\n\n");
  ClearGameRecord();
  ASSERT_TRUE(PlayFen("r3k2r/1P6/8/8/8/8/8/R3K2R b KQkq - 0 30", "e8g8 b7a8q f8a8 e1c1"));
  EXPECT_EQ(Moves(Pgn(White, 0, Game.index)), "30...O-O {0} 31.bxa8Q {0} Rxa8 {0} 32.O-O-O {0} \n*\n\n");
}

TEST_F(Record, MoveLinesEndOnceTheyPassSixtyCharacters) {
  PlayLine("e2e4 e7e5 g1f3 b8c6 f1b5 a7a6 b5a4 g8f6 e1g1 f8e7 f1e1 b7b5 a4b3 d7d6 c2c3 e8g8 h2h3 c6a5");
  for (int ply = 2; ply <= Game.index; ply += 2) Mark(ply, -40 + ply, RecordEngineResult, 12, uint32_t(ply) * 500);
  std::string moves = Moves(Pgn(White, 0, Game.index));
  std::vector<std::string> lines;
  std::istringstream in(moves);
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  ASSERT_GE(lines.size(), 5u);   // several move lines, the last one shorter, the result, the blank line
  EXPECT_EQ(lines[lines.size() - 2], "*");
  EXPECT_EQ(lines[lines.size() - 1], "");
  for (size_t i = 0; i + 3 < lines.size(); i++) {
    EXPECT_GT(lines[i].size(), 60u) << lines[i];
    // Without its last ply (the move and its comment) the line was not yet over 60.
    size_t previousEnd = lines[i].rfind("} ", lines[i].size() - 3);
    ASSERT_NE(previousEnd, std::string::npos) << lines[i];
    EXPECT_LE(previousEnd + 2, 60u) << lines[i];
  }
  EXPECT_EQ(lines[0], "1.e4 {1 -0.29/12} e5 {0} 2.Nf3 {1 -0.28/12} Nc6 {0} 3.Bb5 {1 -0.26/12} ");
}

TEST_F(Record, TheSettingsOfTheLastSearchAreWritten) {
  PlayLine("e2e4 e7e5 g1f3");
  SearchFlags = DefaultSettingsFlags & ~FlagOwnBook;
  Options.hashSizeKB = 32768;
  Options.bookPositions = 0;
  std::string pgn = Pgn(White, 0, 4);
  EXPECT_NE(pgn.find("[Result \"*\"]\n"
                     "{CT=1 Hash 32Mb, RetHsh=on, PosLrn=on Tbs 0/1Mb/d=2 L=off\n"
                     "Sel=7 Fut=on ss=off fp=10 td=5 smart=on comb=off Normal HM=on draw=0 swdl=on\n"
                     "Corvid11Book2.cbk Book=off/Tournament Pos=0 BkLrn=on mpv=1}\n1.e4 "),
            std::string::npos)
      << pgn;
  Options.hashSizeKB = 16384;
}

// ---- Mended: the header names the engine's colour without a result record

TEST_F(Record, UnderAStrengthLimitTheHeaderNamesTheEnginesColour) {
  // The engine played White; a strength limit leaves the result mark off its moves.
  PlayLine("e2e4 e7e5 g1f3 b8c6");
  Mark(2, 20, RecordEngineMove, 6);
  Mark(4, 25, RecordEngineMove, 6);
  SettingsFlags |= FlagLimitStrength;
  Options.strengthBudget = 5000;
  Options.eloValue = 1800;
  Finish(5);
  std::string saved = Saved();
  EXPECT_NE(saved.find("[White \"CORVID 11.2 SP\"]\n[Black \"Player\"]\n[WhiteElo \"1800\"]\n[Result \"*\"]\n"),
            std::string::npos)
      << saved;
  EXPECT_NE(saved.find("1.e4 {0} e5 {0} 2.Nf3 {0} Nc6 {0} \n"), std::string::npos) << saved;   // no scores shown
}

TEST_F(Record, AGameEndingOnTheOpponentsMoveNamesTheEnginesColour) {
  PlayLine("e2e4 e7e5 g1f3 b8c6");
  Mark(2, 20, RecordEngineResult | RecordEngineMove, 6);
  Mark(4, 25, RecordEngineResult | RecordEngineMove, 6);
  Finish(5);
  EXPECT_NE(Saved().find("[White \"CORVID 11.2 SP\"]\n[Black \"Player\"]\n[Result \"*\"]\n"), std::string::npos)
      << Saved();
}

// ---- Mended: a game is learned and saved once

TEST_F(Record, AFinishedGameIsNeitherLearnedNorJudgedAgain) {
  const std::string line = "e2e4 e7e5 g1f3";
  WriteTestBook("once.cbk", {{"", "e2e4", 5, 20}, {"", "d2d4", 5, 20}, {"e2e4 e7e5", "g1f3", 5, 20}});
  PlayLine(line);
  Mark(2, 0, RecordEngineResult | RecordEngineMove | RecordBookMove);
  Mark(4, 300, RecordEngineResult | RecordEngineMove | RecordBookMove);   // the engine's last move: a win
  TakeBackLast();
  Options.settingsFlags2 &= ~Flag2AutoSavePgn;
  Finish(4);   // ucinewgame
  std::string once = FileBytes("once.cbk");
  Finish(4);   // quit
  EXPECT_EQ(FileBytes("once.cbk"), once);
  CloseBook();
  // Learned: e4 +1 (passed back from Nf3's +2), both marked won.
  BookRecord e4 = MakeBookRecord({"", "e2e4", 0, 0});
  for (const BookRecord& r : ReadBookFile("once.cbk"))
    if (r.bookKey == e4.bookKey && (r.bookMove & BookMoveMask) == (e4.bookMove & BookMoveMask)) {
      EXPECT_EQ(LearnedWeight(r), 21);
      EXPECT_TRUE(r.bookInfo & BookWonMark);
    }
}

// ---- A standard reader accepts every game the engine saves

std::string FindPgnExtract() {
  for (const char* path : {"/usr/bin/pgn-extract", "/usr/games/pgn-extract", "/usr/local/bin/pgn-extract"})
    if (access(path, X_OK) == 0) return path;
  return "";
}

TEST_F(Record, EverySavedGameReadsWithAStandardReader) {
  // A file like the engine's own: games of every kind, and the line the shell
  // appends when its input is lost.
  PlayLine("e2e4 e7e5 g1f3 b8c6 f1b5 a7a6 b5a4 g8f6 e1g1 f8e7 f1e1 b7b5 a4b3 d7d6 c2c3 e8g8 h2h3");
  for (int ply = 2; ply <= Game.index; ply += 2) Mark(ply, ply * 3 - 20, RecordEngineResult, 10, uint32_t(ply) * 1500);
  Finish(Game.index);
  {
    std::ofstream log(AutoSaveFileName, std::ios::app);
    log << "FATAL ERROR: stdin pipe gone errno=0\n";
  }
  PlayLine("f2f3 e7e5 g2g4 d8h4");   // the engine mates; the GUI has not played the move back
  Mark(3, 8189, RecordEngineResult, 2);
  Mark(5, 8191, RecordEngineResult | uint16_t(RecordKindCheckmate << RecordResultKindShift), 1);
  TakeBackLast();
  Finish(5);
  ASSERT_TRUE(PlayFen("r3k2r/1P6/8/8/8/8/8/R3K2R b KQkq - 0 30", "e8g8 b7b8r f8b8 e1c1"));
  Mark(2, -8188, RecordEngineResult, 7, 3725000);
  Mark(4, 8189, RecordEngineResult, 7, 75000);
  GameFinished({Engine, "r3k2r/1P6/8/8/8/8/8/R3K2R b KQkq - 0 30", Game.index});
  PlayLine("d2d4 g8f6 c2c4");
  Mark(4, 7800, RecordEngineResult | RecordEngineMove, 5);
  TakeBackLast();
  SettingsFlags |= FlagLimitStrength;
  Options.strengthBudget = 1000;
  Finish(4);
  SettingsFlags &= ~FlagLimitStrength;
  Options.strengthBudget = 0;

  std::string reader = FindPgnExtract();
  if (reader.empty()) GTEST_SKIP() << "pgn-extract is not installed (Debian package pgn-extract): games not checked";
  std::string command = reader + " -r " + AutoSaveFileName + " 2>&1";
  FILE* out = popen(command.c_str(), "r");
  ASSERT_NE(out, nullptr);
  std::string report;
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, out)) report += buffer;
  pclose(out);
  EXPECT_NE(report.find("4 games matched out of 4."), std::string::npos) << report << Saved();
  for (const char* complaint : {"Line number", "Failed", "Missing", "Unknown", "rror", "arning"})
    EXPECT_EQ(report.find(complaint), std::string::npos) << complaint << "\n" << report << Saved();
}

}  // namespace

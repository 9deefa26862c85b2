// The game record: what GameFinished saves and judges, and the PGN text a standard reader accepts.
#include "record/record.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <tuple>

#include "board/board.h"
#include "book/book_helpers.h"
#include "core/settings.h"
#include "search/search_state.h"

namespace {

const uint16_t Result = RecordEngineResult, Own = RecordEngineMove;
const uint16_t Mated = RecordKindCheckmate << RecordResultKindShift;

class Record : public ::testing::Test {
 protected:
  void SetUp() override {
    BookTestReady();
    SearchFlags = SettingsFlags;
  }

  // The words the search writes for a ply it recorded.
  static void Mark(int ply, int score, uint16_t flags, int depth = 0, uint32_t cumulativeMs = 0) {
    GameRecord& g = Game.history[ply];
    g.shellWords[RecordScoreWord] = uint16_t(int16_t(score));
    g.shellWords[RecordFlagsWord] = flags;
    g.sanWord = uint16_t((g.sanWord & RecordSanMask) | (depth << RecordDepthShift));
    g.extraLong = cumulativeMs;
  }
  // Ends the game; the text of the game it appended to the autosave file.
  static std::string Finish(int pliesPlayed, const std::string& fen = "") {
    GameFinished({"CORVID 11.2 SP", fen.c_str(), pliesPlayed});
    std::string saved = ReadFile(AutoSaveFileName);
    return saved.substr(saved.rfind("[Event "));
  }
  // The movetext: the lines after the settings comment.
  static std::string Moves(const std::string& pgn) { return pgn.substr(pgn.find("}\n", pgn.find("{CT=")) + 2); }
  // What pgn-extract finds wrong with the autosave file, which should hold `games` games.
  static std::string ReaderComplaints(int games) {
    const char* reader = access("/usr/games/pgn-extract", X_OK) == 0 ? "/usr/games/pgn-extract" : "pgn-extract";
    const std::string report = RunCommand(std::string(reader) + " -r " + AutoSaveFileName);
    const std::string n = std::to_string(games);
    if (report.find(n + " games matched out of " + n + ".") == std::string::npos) return report;
    for (const char* complaint : {"Line number", "Failed", "Missing", "Unknown", "rror", "arning"})
      if (report.find(complaint) != std::string::npos) return report;
    return "";
  }
};

// Without a result record the header used to name the engine as Black.
TEST_F(Record, TheResultAndTheHeaderFollowTheEnginesLastMove) {
  const char *Three = "e2e4 e7e5 g1f3", *Four = "e2e4 e7e5 g1f3 b8c6";
  // Moves, engine colour, its score and flags per move, last move played back, strength limited, result.
  const std::tuple<const char*, const char*, int, int, uint16_t, bool, bool, const char*> cases[] = {
      {"+250 is not decisive", Three, White, 250, Result | Own, false, false, "*"},
      {"+257 wins", Three, White, 257, Result | Own, false, false, "1-0"},
      {"-95 is a draw", Three, White, -95, Result | Own, false, false, "1/2-1/2"},
      {"Black's +257 wins for Black", Four, Black, 257, Result | Own, false, false, "0-1"},
      {"played back: no result", Three, White, 257, Result | Own, true, false, "*"},
      {"under a strength limit", Four, White, 257, Own, true, true, "*"},
      {"ended on the opponent's move", Four, White, 257, Result | Own, true, false, "*"},
  };
  Options.eloValue = 1800;
  for (const auto& [name, line, engine, score, flags, playedBack, limited, result] : cases) {
    SCOPED_TRACE(name);
    PlayLine(line);
    const int plies = Game.index;
    for (int ply = 2 + engine; ply <= plies; ply += 2) Mark(ply, score, flags, 9);
    if (!playedBack) TakeBackGameMove(), Game.side ^= 1;
    Options.strengthBudget = limited ? 5000 : 0;
    std::string header = engine == White ? "[White \"CORVID 11.2 SP\"]\n[Black \"Player\"]\n"
                                         : "[White \"Player\"]\n[Black \"CORVID 11.2 SP\"]\n";
    if (limited) header += "[WhiteElo \"1800\"]\n";
    header += std::string("[Result \"") + result + "\"]\n";
    std::string pgn = Finish(plies);
    EXPECT_NE(pgn.find(header), std::string::npos) << pgn;
    EXPECT_NE(pgn.find(std::string("\n") + result + "\n\n"), std::string::npos) << pgn;
  }
  EXPECT_EQ(ReaderComplaints(int(std::size(cases))), "");
}

TEST_F(Record, TheMovesInStandardNotation) {
  // FEN, moves, the ply marked as the engine's mate, whether White's moves carry score, depth, time; movetext.
  const std::tuple<const char*, const char*, int, bool, const char*> cases[] = {
      {"4k3/8/8/8/8/8/4P3/R3K3 b Q - 0 40", "e8d7 e1c1 d7c6 e2e4", 0, false,
       "40...Kd7 {0} 41.O-O-O+ {0} Kc6 {0} 42.e4 {0} \n*\n\n"},
      // The engine's mate, not yet played back: the result kind it merged marks it.
      {"", "f2f3 e7e5 g2g4 d8h4", 5, false, "1.f3 {0} e5 {0} 2.g4 {0} Qh4# {0 -M1/1} \n0-1\n\n"},
      {"", "e2e4 e7e5 g1f3 b8c6 f1b5 a7a6 b5a4 g8f6 e1g1 f8e7 f1e1 b7b5 a4b3 d7d6 c2c3 e8g8 h2h3 c6a5", 0, true,
       "1.e4 {4 -0.26/12} e5 {0} 2.Nf3 {12 -0.21/12} Nc6 {0} 3.Bb5 {20 -0.17/12} \n"
       "a6 {0} 4.Ba4 {28 -0.12/12} Nf6 {0} 5.O-O {36 -0.07/12} Be7 {0} \n"
       "6.Re1 {44 -0.03/12} b5 {0} 7.Bb3 {52 0.01/12} d6 {0} 8.c3 {1:00 0.06/12} \n"
       "O-O {0} 9.h3 {1:08 0.10/12} Na5 {0} \n*\n\n"},
  };
  for (const auto& [fen, line, mateAt, scored, moves] : cases) {
    ASSERT_TRUE(PlayLine(line, fen)) << line;
    const int plies = Game.index;
    for (int ply = 2; scored && ply <= plies; ply += 2) Mark(ply, ply * 3 - 40, Result, 12, ply * ply * 1000);
    if (mateAt) Mark(mateAt, 8191, Result | Mated, 1), TakeBackGameMove(), Game.side ^= 1;
    std::string pgn = Finish(plies, fen);
    EXPECT_EQ(Moves(pgn), moves);
    EXPECT_EQ(pgn.find("[SetUp \"1\"]\n[FEN \"" + std::string(fen) + "\"]\n") != std::string::npos, *fen != 0);
  }
  WriteFile(AutoSaveFileName, ReadFile(AutoSaveFileName) + "FATAL ERROR: stdin pipe gone errno=0\n");
  EXPECT_EQ(ReaderComplaints(int(std::size(cases))), "");
}

// A ply's own time (recorded cumulative), then the score from White's view and the depth.
TEST_F(Record, TheTimeOfAPlyAndTheEnginesScoreFromWhitesView) {
  // Mover, score, depth, flags, the time recorded at the ply (5 s after the mover's ply before it), comment.
  const std::tuple<int, int, int, uint16_t, uint32_t, const char*> cases[] = {
      // clang-format off
      {White, 0, 0, 0, 65000, "{1:00}"}, {Black, 0, 0, 0, 3605000, "{1:00:00}"},
      {White, 7800, 9, Result, 5000, "{0 MATE N/9}"}, {Black, 32, 11, Result, 5000, "{0 -0.25/11}"},
      {White, -127, 3, Result, 5000, "{0 -0.99/3}"},  // toward zero
      // Mates: the sign names the side that mates; these used to read "-M0" and "-M-1".
      {White, 8191, 1, Result, 5000, "{0 +M1/1}"}, {Black, 8191, 1, Result, 5000, "{0 -M1/1}"},
      {White, -8190, 4, Result, 5000, "{0 -M1/4}"}, {Black, -8188, 6, Result, 5000, "{0 +M2/6}"},
  };
  // clang-format on
  for (const auto& [mover, score, depth, flags, ms, comment] : cases) {
    PlayLine("e2e4 e7e5 g1f3 b8c6");
    for (int ply : {2, 3}) Mark(ply, 0, 0, 0, 5000);
    Mark(4 + mover, score, flags, depth, ms);
    const std::string white = mover == White ? comment : "{0}", black = mover == Black ? comment : "{0}";
    EXPECT_EQ(Moves(Finish(5)), "1.e4 {5} e5 {5} 2.Nf3 " + white + " Nc6 " + black + " \n*\n\n")
        << mover << " " << score << " " << ms;
  }
}

TEST_F(Record, EveryGameCountsARoundAndGamesOfThreePliesAreSaved) {
  // The moves, AutoSave PGN, whether saved; a game of three moves without AutoSave is counted, not saved.
  const std::tuple<const char*, bool, bool> cases[] = {
      {"", true, false}, {"e2e4", true, false}, {"e2e4 e7e5", true, true}, {"e2e4 e7e5 g1f3", false, false},
      {"e2e4 e7e5 g1f3", true, true}};
  for (const auto& [line, autoSave, saved] : cases) {
    PlayLine(line);
    Options.settingsFlags2 = autoSave ? Flag2AutoSavePgn : 0;
    const int rounds = RoundCount;
    GameFinished({"CORVID 11.2 SP", "", Game.index});
    EXPECT_EQ(RoundCount, rounds + 1);
    const std::string round = "[Round \"" + std::to_string(RoundCount) + "\"]\n";
    EXPECT_EQ(ReadFile(AutoSaveFileName).find(round) != std::string::npos, saved) << line << " " << autoSave;
  }
}

}  // namespace

// Options: setoption in-process (values, ranges, effects) and over pipes (the
// option list after setoption, the book lines, the UCI_Elo range from the
// calibration, the strength limit and the draw value).
// Wall-clock bounds are generous where the tests share a small machine.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../board/board_helpers.h"
#include "board/board.h"
#include "search/search_state.h"
#include "search/strength.h"
#include "search/tt.h"
#include "shell/engine.h"
#include "shell/engine_process.h"
#include "shell/options.h"

namespace {

// ---------------------------------------------------------------- in-process

class SetOptionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    BoardReady();
    saved_ = Options;
    SettingsFlags = 0;
    ResetSettings();
    Options.multiPv = 1;
    Options.eloMin = 1250;
    Options.eloValue = 2270;
    Options.eloMax = 2800;
    Options.strengthBudget = 0;
  }
  void TearDown() override {
    ResizeTable(0);
    Options = saved_;
  }
  // Sets an option and answers what it printed.
  static std::string Set(const std::string& text) {
    testing::internal::CaptureStdout();
    SetOption(text.c_str());
    return testing::internal::GetCapturedStdout();
  }
  // Everything setoption may change: the option list and the fields it does not show.
  static std::string State() {
    testing::internal::CaptureStdout();
    PrintOptionList();
    return testing::internal::GetCapturedStdout() + std::to_string(SettingsFlags) + " " +
           std::to_string(Options.settingsFlags2) + " " + std::to_string(Options.strengthBudget);
  }
  static long Flag(uint32_t flag) { return (SettingsFlags & flag) != 0; }
  static bool Shows(const std::string& entry) { return State().find("option name " + entry + "\n") != std::string::npos; }

  OptionTable saved_;
};

// Each line runs on what the lines before it left; the option list then shows the entry.
const std::pair<const char*, const char*> OptionCases[] = {
    {"Steady Search value TRUE", "Steady Search type check default true"},  // names and words in any case
    {"Steady Search value yes", "Steady Search type check default true"},   // neither true nor false
    {"Steady Search value truex", "Steady Search type check default true"},
    {"steady search value False", "Steady Search type check default false"},
    {"Selectivity value 3", "Selectivity type spin min 0 max 7 default 3"},
    {"Selectivity value 8", "Selectivity type spin min 0 max 7 default 3"},    // out of range
    {"Selectivity value abc", "Selectivity type spin min 0 max 7 default 0"},  // a number read as far as it goes
    {"Forward Pruning value 15", "Forward Pruning type spin min 0 max 15 default 15"},
    {"Forward Pruning value 16", "Forward Pruning type spin min 0 max 15 default 15"},
    {"Threat Depth value 7", "Threat Depth type spin min 0 max 7 default 7"},
    {"Threat Depth value -1", "Threat Depth type spin min 0 max 7 default 7"},
    {"Tablebase Depth value 0", "Tablebase Depth type spin min 0 max 7 default 0"},
    {"MultiPV value 127", "MultiPV type spin min 1 max 127 default 127"},
    {"MultiPV value 0", "MultiPV type spin min 1 max 127 default 127"},
    {"MultiPV value 128", "MultiPV type spin min 1 max 127 default 127"},
    {"MultiPV value 3x", "MultiPV type spin min 1 max 127 default 3"},  // read from the start of the text
    {"NalimovCache value 256", "NalimovCache type spin min 1 max 256 default 256"},
    {"NalimovCache value 257", "NalimovCache type spin min 1 max 256 default 256"},
    // The draw value is kept in internal units, 128 per pawn, truncated toward zero.
    {"Corvid Draw Value value 50", "Corvid Draw Value type spin min -100 max 100 default 64"},
    {"Corvid Draw Value value 128", "Corvid Draw Value type spin min -100 max 100 default 163"},  // beyond 100
    {"Corvid Draw Value value 129", "Corvid Draw Value type spin min -100 max 100 default 163"},
    {"Corvid Draw Value value -1", "Corvid Draw Value type spin min -100 max 100 default -1"},
    {"Corvid Draw Value value -129", "Corvid Draw Value type spin min -100 max 100 default -1"},
    {"Corvid Draw Value value -100", "Corvid Draw Value type spin min -100 max 100 default -128"},
    {"playing style value solid", "Playing Style type combo default Solid var Normal var Aggressive var Solid"},
    {"Playing Style value Wild", "Playing Style type combo default Solid var Normal var Aggressive var Solid"},
    {"Book Style value wild", "Book Style type combo default Wild var Wild var Wide var Varied var Tournament"},
    {"Book Style value Varied", "Book Style type combo default Varied var Wild var Wide var Varied var Tournament"},
    {"Book Style value Normal", "Book Style type combo default Varied var Wild var Wide var Varied var Tournament"},
    // The second group looks for a name where the first group's value stands.
    {"Playing Style value OwnBook value true", "OwnBook type check default true"},
    {"Playing Style value OwnBook value false", "OwnBook type check default false"},
    {"UCI_Elo value 1249", "UCI_Elo type spin min 1250 max 2800 default 2270"},  // outside the calibrated range
    {"UCI_Elo value 2801", "UCI_Elo type spin min 1250 max 2800 default 2270"},
    {"UCI_Elo value 1250", "UCI_Elo type spin min 1250 max 2800 default 1250"},
};

TEST_F(SetOptionTest, EachOptionSetsItsValueWithinItsRangeAndWords) {
  for (const auto& [line, entry] : OptionCases) {
    EXPECT_EQ(Set(line), "") << line;
    EXPECT_TRUE(Shows(entry)) << line << "\n" << State();
  }
  SetDrawScores(Black);  // the engine plays Black at a draw value of -100
  EXPECT_EQ(DrawScore[Black], -128);
  EXPECT_EQ(DrawScore[White], 128);
  // The strength limit: 16 nodes per second at 1250, 1024 at 2270.
  EXPECT_EQ(Options.strengthBudget, 0u);
  Set("UCI_LimitStrength value true");
  EXPECT_EQ(Options.strengthBudget, 16u);
  Set("UCI_Elo value 2270");
  EXPECT_EQ(Options.strengthBudget, 1024u);
  Set("UCI_LimitStrength value false");
  EXPECT_EQ(Options.strengthBudget, 0u);

  // The check options the list does not show.
  for (const auto& [name, flag] : {std::pair{"Ponder", FlagPonder}, std::pair{"GUI Time Lag", FlagGuiTimeLag},
                                   std::pair{"Verbose UCI", FlagVerboseUci}})
    for (bool on : {true, false}) {
      Set(std::string(name) + (on ? " value true" : " value false"));
      EXPECT_EQ(Flag(flag), on) << name;
    }
  Set("AutoSave PGN value false");
  EXPECT_FALSE(Options.settingsFlags2 & Flag2AutoSavePgn);
  Set("AutoSave PGN value true");
  EXPECT_TRUE(Options.settingsFlags2 & Flag2AutoSavePgn);
}

TEST_F(SetOptionTest, RefusedLinesChangeNothing) {
  const std::string before = State();
  for (const char* line : {"Foo value 3", "Selectivity 3", "Selectivityx value 3", "Hash", "Hash 64", "", "MultiPV",
                           "Book File", "NalimovPath", "Ponder value maybe", "UCI_Chess960 value true",
                           "UCI_Chess960 value false"}) {
    EXPECT_EQ(Set(line), "") << line;
    EXPECT_EQ(State(), before) << line;
  }
  // Texts of 160 characters or more are refused.
  Set("NalimovPath value C:\\tb one;D:\\tb two ");
  EXPECT_STREQ(Options.nalimovPath, "C:\\tb one;D:\\tb two ");
  Set("NalimovPath value " + std::string(160, 'x'));
  EXPECT_STREQ(Options.nalimovPath, "C:\\tb one;D:\\tb two ");
  Set("NalimovPath value " + std::string(159, 'y'));
  EXPECT_EQ(std::string(Options.nalimovPath), std::string(159, 'y'));
}

TEST_F(SetOptionTest, HashReallocatesOnlyForANewSizeInRange) {
  ASSERT_NE(ResizeTable(1024), 0);
  Set("Hash value 0");
  Set("Hash value 4096");
  EXPECT_EQ(TableSizeKB, 1024);
  Set("Hash value 2");
  EXPECT_EQ(TableSizeKB, 2048);
  EXPECT_TRUE(Shows("Hash type spin min 1 max 2048 default 2"));
}

TEST_F(SetOptionTest, ClearHashAndRetainHashOffSoftClear) {
  ASSERT_NE(ResizeTable(1024), 0);
  TableHit hit;
  auto storeBoth = [] {
    StoreEntry(White, uint16_t(CurrentAge | BoundExact), 10, 0, 5, 1, 0);
    StoreEntry(Black, uint16_t(BoundExact | EntryPinned), 20, 70, 5, 1, 0);
  };
  // Each line, and whether the ordinary entry survives it (a learned entry always does).
  const std::pair<const char*, bool> lines[] = {{"Clear Hash", false},
                                                {"Retain Hash value true", true},
                                                {"Retain Hash value false", false},
                                                {"Retain Hash value false", true}};   // already off: no clear
  for (const auto& [line, kept] : lines) {
    storeBoth();
    Set(line);
    EXPECT_EQ(ProbeEntry(White, 1, &hit) != 0, kept) << line;
    EXPECT_NE(ProbeEntry(Black, 1, &hit), 0) << line;
  }
}

// ---------------------------------------------------------------- over pipes

// The option list of a new "uci".
std::string Uci(EngineSession& s) {
  s.Mark();
  s.engine.Send("uci\n");
  EXPECT_TRUE(s.WaitFor("uciok\n")) << s.Fresh();
  return s.Fresh();
}

std::string OptionLine(EngineSession& s, const std::string& name) {
  for (const std::string& line : Lines(Uci(s)))
    if (StartsWith(line, "option name " + name + " type ")) return line;
  return "";
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  size_t p = text.find(from);
  EXPECT_NE(p, std::string::npos) << from;
  if (p != std::string::npos) text.replace(p, from.size(), to);
  return text;
}

}  // namespace

// Each line, and the entry of the option list it changes ("" for the entries that stay fixed).
TEST(OptionSession, SecondUciShowsNewValuesExceptTheFixedEntries) {
  const struct {
    const char *line, *before, *after;
  } cases[] = {
      {"Ponder value false", "", ""},
      {"OwnBook value true", "OwnBook type check default false", "OwnBook type check default true"},
      {"Book Style value Wild", "Book Style type combo default Tournament", "Book Style type combo default Wild"},
      {"Book Learning value false", "Book Learning type check default true", "Book Learning type check default false"},
      {"Position Learning value false", "Position Learning type check default true",
       "Position Learning type check default false"},
      {"Hash value 8", "max 2048 default 16", "max 2048 default 8"},
      {"Retain Hash value false", "Retain Hash type check default true", "Retain Hash type check default false"},
      {"Use Tablebases value false", "Use Tablebases type check default true",
       "Use Tablebases type check default false"},
      {"Tablebase Depth value 4", "min 0 max 7 default 2\n", "min 0 max 7 default 4\n"},
      {"NalimovCache value 3", "max 256 default 1\n", "max 256 default 3\n"},
      {"NalimovPath value /no/such dir", "NalimovPath type string default \n",
       "NalimovPath type string default /no/such dir\n"},
      {"Corvid Draw Value value -25", "min -100 max 100 default 0", "min -100 max 100 default -32"},
      {"Playing Style value Solid", "Playing Style type combo default Normal", "Playing Style type combo default Solid"},
      {"Selectivity value 2", "Selectivity type spin min 0 max 7 default 7", "Selectivity type spin min 0 max 7 default 2"},
      {"Forward Pruning value 12", "max 15 default 10", "max 15 default 12"},
      {"Threat Depth value 3", "Threat Depth type spin min 0 max 7 default 5",
       "Threat Depth type spin min 0 max 7 default 3"},
      {"Smart Search value false", "Smart Search type check default true", "Smart Search type check default false"},
      {"Futility value false", "Futility type check default true", "Futility type check default false"},
      {"Steady Search value true", "Steady Search type check default false", "Steady Search type check default true"},
      {"Combinations value true", "Combinations type check default false", "Combinations type check default true"},
      {"Hyper-Modern Play value false", "Hyper-Modern Play type check default true",
       "Hyper-Modern Play type check default false"},
      {"Swindle value false", "Swindle type check default true", "Swindle type check default false"},
      {"GUI Time Lag value true", "", ""},
      {"Verbose UCI value true", "", ""},
      {"AutoSave PGN value false", "", ""},
      {"UCI_Elo value 1500", " default 2270\n", " default 1500\n"},
      {"UCI_LimitStrength value true", "", ""},
      {"UCI_Chess960 value true", "", ""},
      {"MultiPV value 4", "max 127 default 1\n", "max 127 default 4\n"},
  };
  EngineSession s;
  std::string expected = Uci(s), lines;
  for (const auto& c : cases) {
    lines += std::string("setoption name ") + c.line + "\n";
    if (*c.before) expected = Replace(expected, c.before, c.after);
  }
  EXPECT_EQ(s.Answer(lines), "");
  EXPECT_EQ(Uci(s), expected);
  s.Quit();
}

TEST(OptionSession, MissingBookFilePrintsTheBookLinesAndTurnsOwnBookOff) {
  EngineSession s;
  s.Answer("setoption name OwnBook value true\n");
  EXPECT_EQ(s.Answer("setoption name Book File value missing book.cbk\n"),
            "option name Book Status type string default NO BOOK FOUND\n"
            "option name Book Positions type combo default 0 var 0\n");
  EXPECT_EQ(OptionLine(s, "OwnBook"), "option name OwnBook type check default false");
  EXPECT_EQ(OptionLine(s, "Book File"), "option name Book File type string default missing book.cbk");
  s.Quit();
}

TEST(OptionSession, EloRangeComesFromTheCalibrationWithinAboutTwoAndAHalfSeconds) {
  const int64_t start = NowMs();
  EngineSession s;
  EXPECT_LT(NowMs() - start, 3000) << "start-up to uciok";
  std::string line;
  for (const std::string& l : Lines(s.engine.Output()))
    if (StartsWith(l, "option name UCI_Elo ")) line = l;
  ASSERT_TRUE(StartsWith(line, "option name UCI_Elo type spin min 1250 max ")) << line;
  EXPECT_EQ(line.substr(line.size() - 13), " default 2270") << line;
  long max = NumberAfter(line, "max");
  EXPECT_GE(max, 2270) << "a machine that searches 1024 nodes/s or more";
  EXPECT_LE(max, 2985);
  s.Quit();
}

TEST(OptionSession, LimitedStrengthKeepsTheSpeedNearTheBudgetAndStopsAtOnce) {
  EngineSession s;
  s.Answer("setoption name UCI_Elo value 2270\nsetoption name UCI_LimitStrength value true\nposition startpos\n");
  ASSERT_TRUE(s.Search("go movetime 5000\n", 10000)) << s.Fresh();
  auto finals = s.Starting("info nps ");
  ASSERT_EQ(finals.size(), 1u) << s.Fresh();
  long nps = NumberAfter(finals[0], "nps");
  long nodes = NumberAfter(finals[0], "nodes");
  long time = NumberAfter(finals[0], "time");
  EXPECT_GE(nps, 1024 * 9 / 10) << finals[0];
  EXPECT_LE(nps, 1024 * 11 / 10) << finals[0];
  EXPECT_GE(time, 4900) << finals[0];
  EXPECT_LE(nodes * 1000 / time, 1024 * 11 / 10) << finals[0];
  EXPECT_FALSE(s.Starting("info nodes ").empty()) << "the status line every eighth check";

  // A stop ends the sleeping search within 150 ms.
  s.engine.Send("go infinite\n");
  s.engine.ReadFor(1000);
  s.Mark();
  int64_t sent = NowMs();
  s.engine.Send("stop\n");
  ASSERT_TRUE(s.WaitFor("bestmove", 2000)) << s.Fresh();
  EXPECT_LE(NowMs() - sent, 150);

  // Without the limit the search runs at full speed again.
  s.Answer("setoption name UCI_LimitStrength value false\n");
  ASSERT_TRUE(s.Search("go movetime 1000\n", 5000)) << s.Fresh();
  finals = s.Starting("info nps ");
  ASSERT_EQ(finals.size(), 1u) << s.Fresh();
  EXPECT_GT(NumberAfter(finals[0], "nps"), 20 * 1024) << finals[0];
  s.Quit();
}

namespace {

// White, a little better with the bishop pair, can repeat the position a
// third time with Ke1-d1: a draw the engine avoids at a draw value of 0 and
// takes at 100 (+128 for its side).
const std::string RepetitionPosition =
    "position fen 2b1k3/pp3ppp/2n5/8/8/8/PP3PPP/2B1KB2 w - - 0 1 moves e1d1 e8d8 d1e1 d8e8 e1d1 e8d8 d1e1 d8e8\n";

std::string BestMoveAndScore(const std::string& drawValue, std::string* scoreLine) {
  EngineSession s;
  s.Answer("setoption name Corvid Draw Value value " + drawValue + "\n" + RepetitionPosition);
  s.Mark();
  s.engine.Send("go depth 8\n");
  EXPECT_TRUE(s.WaitFor("bestmove")) << s.Fresh();
  s.WaitFor("\n", 200);
  auto info = s.Starting("info depth 8 ");
  *scoreLine = info.empty() ? "" : info.back();
  auto best = s.Starting("bestmove ");
  s.Quit();
  return best.empty() ? "" : best.back().substr(9, 4);
}

}  // namespace

TEST(OptionSession, DrawValueMakesTheEnginePreferARepetition) {
  std::string line;
  std::string avoided = BestMoveAndScore("0", &line);
  EXPECT_NE(avoided, "e1d1") << line;
  long cp = NumberAfter(line, "cp");
  // The construction: the best other move is worth less than a pawn, more than a draw.
  EXPECT_GT(cp, 0) << line;
  EXPECT_LT(cp, 100) << line;

  EXPECT_EQ(BestMoveAndScore("100", &line), "e1d1") << line;
  EXPECT_NE(line.find(" score cp 100 pv e1d1 "), std::string::npos) << line;
}

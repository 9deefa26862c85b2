// Options: the effects on the table in-process; over pipes the option list after each setoption
// (values, ranges, words), the book lines, the UCI_Elo range from the calibration, the strength
// limit and the draw value.
// Wall-clock bounds are generous where the tests share a small machine.
#include <gtest/gtest.h>

#include <algorithm>
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
  static void Set(const std::string& text) { SetOption(text.c_str()); }

  OptionTable saved_;
};

TEST_F(SetOptionTest, HashReallocatesOnlyForANewSizeInRange) {
  ASSERT_NE(ResizeTable(1024), 0);
  Set("Hash value 0");
  Set("Hash value 4096");
  EXPECT_EQ(TableSizeKB, 1024);
  Set("Hash value 2");
  EXPECT_EQ(TableSizeKB, 2048);
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

}  // namespace

// Each line, run on what the lines before it left, and the option whose default the next "uci"
// shows changed to the value (none: the list stays as it was, for a refused line or an option
// whose entry always shows its default).
namespace {
struct OptionCase {
  std::string line;
  const char* option;
  std::string value;
};
const OptionCase OptionCases[] = {
    {"Steady Search value TRUE", "Steady Search", "true"},  // names and words in any case
    {"Steady Search value yes", "Steady Search", "true"},   // neither true nor false
    {"Steady Search value truex", "Steady Search", "true"},
    {"steady search value False", "Steady Search", "false"},
    {"Selectivity value 3", "Selectivity", "3"},
    {"Selectivity value 8", "Selectivity", "3"},    // out of range
    {"Selectivity value abc", "Selectivity", "0"},  // a number read as far as it goes
    {"Forward Pruning value 15", "Forward Pruning", "15"},
    {"Forward Pruning value 16", "Forward Pruning", "15"},
    {"Threat Depth value 7", "Threat Depth", "7"},
    {"Threat Depth value -1", "Threat Depth", "7"},
    {"Tablebase Depth value 0", "Tablebase Depth", "0"},
    {"MultiPV value 127", "MultiPV", "127"},
    {"MultiPV value 0", "MultiPV", "127"},
    {"MultiPV value 128", "MultiPV", "127"},
    {"MultiPV value 3x", "MultiPV", "3"},  // read from the start of the text
    {"NalimovCache value 256", "NalimovCache", "256"},
    {"NalimovCache value 257", "NalimovCache", "256"},
    // The draw value is kept in internal units, 128 per pawn, truncated toward zero.
    {"Corvid Draw Value value 50", "Corvid Draw Value", "64"},
    {"Corvid Draw Value value 128", "Corvid Draw Value", "163"},  // beyond 100
    {"Corvid Draw Value value 129", "Corvid Draw Value", "163"},
    {"Corvid Draw Value value -1", "Corvid Draw Value", "-1"},
    {"Corvid Draw Value value -129", "Corvid Draw Value", "-1"},
    {"Corvid Draw Value value -100", "Corvid Draw Value", "-128"},
    {"playing style value solid", "Playing Style", "Solid"},
    {"Playing Style value Wild", "Playing Style", "Solid"},
    {"Book Style value wild", "Book Style", "Wild"},
    {"Book Style value Varied", "Book Style", "Varied"},
    {"Book Style value Normal", "Book Style", "Varied"},
    // The second group looks for a name where the first group's value stands.
    {"Playing Style value OwnBook value true", "OwnBook", "true"},
    {"Playing Style value OwnBook value false", "OwnBook", "false"},
    {"UCI_Elo value 1249", "UCI_Elo", "2270"},  // outside the calibrated range
    {"UCI_Elo value 2986", "UCI_Elo", "2270"},
    {"UCI_Elo value 1250", "UCI_Elo", "1250"},
    {"Hash value 8", "Hash", "8"},
    {"Hash value 0", "Hash", "8"},
    {"Hash value 4096", "Hash", "8"},
    {"Book Learning value false", "Book Learning", "false"},
    {"Position Learning value false", "Position Learning", "false"},
    {"Retain Hash value false", "Retain Hash", "false"},
    {"Use Tablebases value false", "Use Tablebases", "false"},
    {"NalimovPath value C:\\tb one;D:\\tb two ", "NalimovPath", "C:\\tb one;D:\\tb two "},
    {"NalimovPath value " + std::string(160, 'x'), "NalimovPath", "C:\\tb one;D:\\tb two "},  // 160 is too long
    {"NalimovPath value " + std::string(159, 'y'), "NalimovPath", std::string(159, 'y')},
    {"NalimovPath value /no/such dir", "NalimovPath", "/no/such dir"},
    {"Smart Search value false", "Smart Search", "false"},
    {"Futility value false", "Futility", "false"},
    {"Combinations value true", "Combinations", "true"},
    {"Hyper-Modern Play value false", "Hyper-Modern Play", "false"},
    {"Swindle value false", "Swindle", "false"},
    {"Ponder value false", nullptr, ""},
    {"GUI Time Lag value true", nullptr, ""},
    {"Verbose UCI value true", nullptr, ""},
    {"AutoSave PGN value false", nullptr, ""},
    {"UCI_LimitStrength value true", nullptr, ""},
    {"UCI_Chess960 value true", nullptr, ""},
    {"Foo value 3", nullptr, ""},
    {"Selectivity 3", nullptr, ""},
    {"Selectivityx value 3", nullptr, ""},
    {"Hash", nullptr, ""},
    {"Hash 64", nullptr, ""},
    {"MultiPV", nullptr, ""},
    {"NalimovPath", nullptr, ""},
    {"Ponder value maybe", nullptr, ""},
};
}  // namespace

TEST(OptionSession, EachLineChangesOnlyItsOwnEntryWithinItsRangeAndWords) {
  EngineSession s;
  std::string expected = Uci(s);
  for (const OptionCase& c : OptionCases) {
    EXPECT_EQ(s.Answer("setoption name " + c.line + "\n"), "") << c.line;
    if (c.option) {
      const size_t entry = expected.find(std::string("option name ") + c.option + " type ");
      const size_t value = expected.find(" default ", entry) + 9;
      const size_t end = std::min(expected.find(" var ", value), expected.find('\n', value));
      ASSERT_NE(entry, std::string::npos) << c.option;
      expected.replace(value, end - value, c.value);
    }
    ASSERT_EQ(Uci(s), expected) << c.line;
  }
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

  // Without the limit the search runs well above the budget again, even in a checking build.
  s.Answer("setoption name UCI_LimitStrength value false\n");
  ASSERT_TRUE(s.Search("go movetime 1000\n", 5000)) << s.Fresh();
  finals = s.Starting("info nps ");
  ASSERT_EQ(finals.size(), 1u) << s.Fresh();
  EXPECT_GT(NumberAfter(finals[0], "nps"), 4 * 1024) << finals[0];
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

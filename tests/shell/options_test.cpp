// Options: setoption in-process (values, ranges, effects) and over pipes (the
// option list after setoption, the book lines, the UCI_Elo range from the
// calibration, the strength limit, MultiPV lines and the draw value).
// Wall-clock bounds are generous where the tests share a small machine.
#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
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

constexpr int WaitMs = 15000;


// The number after `word ` in `line` (the first occurrence), or -99999.
long NumberAfter(const std::string& line, const std::string& word) {
  size_t p = line.find(" " + word + " ");
  if (p == std::string::npos) return -99999;
  return std::stol(line.substr(p + word.size() + 2));
}

// ---------------------------------------------------------------- in-process

bool SameOptions(const OptionTable& a, const OptionTable& b) {
  return a.settingsFlags == b.settingsFlags && a.threatDepth == b.threatDepth && a.forwardPruning == b.forwardPruning &&
         a.tablebaseDepth == b.tablebaseDepth && a.drawValue == b.drawValue && a.multiPv == b.multiPv &&
         a.hashSizeKB == b.hashSizeKB && a.nalimovCacheBytes == b.nalimovCacheBytes &&
         std::string(a.nalimovPath) == b.nalimovPath && std::string(a.bookFile) == b.bookFile &&
         a.bookStatus == b.bookStatus && a.bookPositions == b.bookPositions && a.eloValue == b.eloValue &&
         a.eloMin == b.eloMin && a.eloMax == b.eloMax && a.strengthBudget == b.strengthBudget &&
         a.settingsFlags2 == b.settingsFlags2;
}

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
  static bool Flag(uint32_t flag) { return (SettingsFlags & flag) != 0; }

  OptionTable saved_;
};

TEST_F(SetOptionTest, CheckOptionsTakeTrueOrFalseInAnyCase) {
  EXPECT_EQ(Set("Steady Search value TRUE"), "");
  EXPECT_TRUE(Flag(FlagSteadySearch));
  Set("steady search value False");
  EXPECT_FALSE(Flag(FlagSteadySearch));
  Set("Steady Search value yes");
  Set("Steady Search value truex");
  EXPECT_FALSE(Flag(FlagSteadySearch));
  struct {
    const char* name;
    uint32_t flag;
  } checks[] = {{"Futility", FlagFutility},         {"Smart Search", FlagSmartSearch},
                {"Swindle", FlagSwindle},           {"Ponder", FlagPonder},
                {"Use Tablebases", FlagUseTablebases}, {"Book Learning", FlagBookLearning},
                {"Combinations", FlagCombinations}, {"Hyper-Modern Play", FlagHyperModern},
                {"OwnBook", FlagOwnBook},           {"GUI Time Lag", FlagGuiTimeLag},
                {"Verbose UCI", FlagVerboseUci}};
  for (const auto& c : checks) {
    Set(std::string(c.name) + " value true");
    EXPECT_TRUE(Flag(c.flag)) << c.name;
    Set(std::string(c.name) + " value false");
    EXPECT_FALSE(Flag(c.flag)) << c.name;
  }
  Set("AutoSave PGN value false");
  EXPECT_FALSE(Options.settingsFlags2 & Flag2AutoSavePgn);
  Set("AutoSave PGN value true");
  EXPECT_TRUE(Options.settingsFlags2 & Flag2AutoSavePgn);
}

TEST_F(SetOptionTest, SpinOptionsTakeNumbersInTheirRange) {
  Set("Selectivity value 3");
  EXPECT_EQ((SettingsFlags & SelectivityMask) >> SelectivityShift, 3u);
  Set("Selectivity value 8");
  EXPECT_EQ((SettingsFlags & SelectivityMask) >> SelectivityShift, 3u);
  Set("Selectivity value abc");   // no digits read as 0
  EXPECT_EQ((SettingsFlags & SelectivityMask) >> SelectivityShift, 0u);
  Set("Forward Pruning value 15");
  EXPECT_EQ(Options.forwardPruning, 240);
  Set("Forward Pruning value 16");
  EXPECT_EQ(Options.forwardPruning, 240);
  Set("Threat Depth value 7");
  EXPECT_EQ(Options.threatDepth, -7);
  Set("Threat Depth value -1");
  EXPECT_EQ(Options.threatDepth, -7);
  Set("Tablebase Depth value 0");
  EXPECT_EQ(Options.tablebaseDepth, 0);
  Set("MultiPV value 127");
  EXPECT_EQ(Options.multiPv, 127);
  Set("MultiPV value 0");
  Set("MultiPV value 128");
  EXPECT_EQ(Options.multiPv, 127);
  Set("MultiPV value 3x");   // read from the start of the text
  EXPECT_EQ(Options.multiPv, 3);
  Set("NalimovCache value 256");
  EXPECT_EQ(Options.nalimovCacheBytes, 256L * 1048576);
  Set("NalimovCache value 257");
  EXPECT_EQ(Options.nalimovCacheBytes, 256L * 1048576);
}

TEST_F(SetOptionTest, DrawValueIsStoredNegatedInInternalUnits) {
  Set("Corvid Draw Value value 50");
  EXPECT_EQ(Options.drawValue, -64);
  Set("Corvid Draw Value value 128");   // beyond the advertised 100, still accepted
  EXPECT_EQ(Options.drawValue, -163);
  Set("Corvid Draw Value value -1");    // truncated toward zero
  EXPECT_EQ(Options.drawValue, 1);
  Set("Corvid Draw Value value -129");
  EXPECT_EQ(Options.drawValue, 1);
  Set("Corvid Draw Value value -100");
  EXPECT_EQ(Options.drawValue, 128);
  SetDrawScores(Black);
  EXPECT_EQ(DrawScore[Black], -128);
  EXPECT_EQ(DrawScore[White], 128);
}

TEST_F(SetOptionTest, ComboOptionsTakeTheirWords) {
  Set("playing style value aggressive");
  EXPECT_EQ((SettingsFlags & PlayingStyleMask) >> PlayingStyleShift, 1u);
  Set("Playing Style value Solid");
  EXPECT_EQ((SettingsFlags & PlayingStyleMask) >> PlayingStyleShift, 2u);
  Set("Playing Style value Wild");
  EXPECT_EQ((SettingsFlags & PlayingStyleMask) >> PlayingStyleShift, 2u);
  Set("Book Style value wild");
  EXPECT_EQ((SettingsFlags & BookStyleMask) >> BookStyleShift, 1u);
  Set("Book Style value Varied");
  EXPECT_EQ((SettingsFlags & BookStyleMask) >> BookStyleShift, 3u);
  Set("Book Style value Normal");
  EXPECT_EQ((SettingsFlags & BookStyleMask) >> BookStyleShift, 3u);
}

TEST_F(SetOptionTest, UnknownNamesAndMissingValuesChangeNothing) {
  const OptionTable before = Options;
  EXPECT_EQ(Set("Foo value 3"), "");
  EXPECT_EQ(Set("Selectivity 3"), "");
  EXPECT_EQ(Set("Selectivityx value 3"), "");
  EXPECT_EQ(Set("Hash"), "");
  EXPECT_EQ(Set(""), "");
  EXPECT_EQ(Set("NalimovPath"), "");
  EXPECT_TRUE(SameOptions(before, Options));
}

TEST_F(SetOptionTest, TextOptionsTakeTheRestOfTheLineBelow160Characters) {
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
  EXPECT_EQ(Options.hashSizeKB, 1024);
  Set("Hash value 2");
  EXPECT_EQ(Options.hashSizeKB, 2048);
  EXPECT_EQ(TableSizeKB, 2048);
}

TEST_F(SetOptionTest, ClearHashAndRetainHashOffSoftClear) {
  ASSERT_NE(ResizeTable(1024), 0);
  StoreEntry(White, uint16_t(CurrentAge | BoundExact), 10, 0, 5, 1, 0);
  StoreEntry(Black, uint16_t(BoundExact | EntryPinned), 20, 70, 5, 1, 0);
  TableHit hit;
  Set("Clear Hash");
  EXPECT_EQ(ProbeEntry(White, 1, &hit), 0);
  EXPECT_NE(ProbeEntry(Black, 1, &hit), 0);   // a learned entry survives

  StoreEntry(White, uint16_t(CurrentAge | BoundExact), 10, 0, 5, 1, 0);
  Set("Retain Hash value true");
  EXPECT_NE(ProbeEntry(White, 1, &hit), 0);
  Set("Retain Hash value false");
  EXPECT_FALSE(Flag(FlagRetainHash));
  EXPECT_EQ(ProbeEntry(White, 1, &hit), 0);
  EXPECT_NE(ProbeEntry(Black, 1, &hit), 0);
  StoreEntry(White, uint16_t(CurrentAge | BoundExact), 10, 0, 5, 1, 0);
  Set("Retain Hash value false");   // already off: no clear
  EXPECT_NE(ProbeEntry(White, 1, &hit), 0);
  Set("Retain Hash value true");
  EXPECT_TRUE(Flag(FlagRetainHash));
}

TEST_F(SetOptionTest, PositionLearningSwitchesItsBit) {
  Set("Position Learning value false");
  EXPECT_FALSE(Flag(FlagPositionLearning));
  Set("Position Learning value true");
  EXPECT_TRUE(Flag(FlagPositionLearning));
}

TEST_F(SetOptionTest, EloAndLimitStrengthSetTheBudget) {
  Set("UCI_Elo value 1249");
  Set("UCI_Elo value 2801");
  EXPECT_EQ(Options.eloValue, 2270);
  Set("UCI_Elo value 1250");
  EXPECT_EQ(Options.eloValue, 1250);
  EXPECT_EQ(Options.strengthBudget, 0u);   // no limit yet
  Set("UCI_LimitStrength value true");
  EXPECT_TRUE(Flag(FlagLimitStrength));
  EXPECT_EQ(Options.strengthBudget, 16u);
  Set("UCI_Elo value 2270");
  EXPECT_EQ(Options.strengthBudget, 1024u);
  Set("UCI_LimitStrength value false");
  EXPECT_FALSE(Flag(FlagLimitStrength));
  EXPECT_EQ(Options.strengthBudget, 0u);
  const OptionTable before = Options;
  Set("UCI_Chess960 value true");
  Set("UCI_Chess960 value false");
  EXPECT_TRUE(SameOptions(before, Options));
}

TEST_F(SetOptionTest, FirstGroupLeavesTheCursorOnItsValue) {
  // The second group looks for a name where the first group's value stands.
  Set("Playing Style value OwnBook value true");
  EXPECT_TRUE(Flag(FlagOwnBook));
  Set("Playing Style value OwnBook value false");
  EXPECT_FALSE(Flag(FlagOwnBook));
}

// ---------------------------------------------------------------- over pipes

// An engine past "uci"; Fresh() is the output since the last mark.
struct Session {
  TempDir dir;
  EngineProcess engine{dir.Path()};
  size_t mark = 0;
  int64_t uciMs = 0;   // from the start to "uciok"

  Session() {
    int64_t start = NowMs();
    engine.Send("uci\n");
    EXPECT_TRUE(engine.ReadUntil("uciok\n", WaitMs));
    uciMs = NowMs() - start;
    Mark();
  }
  void Mark() { mark = engine.Output().size(); }
  std::string Fresh() const { return engine.Output().substr(mark); }
  bool WaitFor(const std::string& needle, int ms = WaitMs) { return engine.ReadUntil(needle, ms, mark); }
  // The lines the engine prints for the given input, up to "readyok".
  std::string Answer(const std::string& lines) {
    Mark();
    engine.Send(lines + "isready\n");
    EXPECT_TRUE(WaitFor("readyok\n")) << Fresh();
    std::string text = Fresh();
    return text.substr(0, text.size() - std::string("readyok\n").size());
  }
  // The option list of a new "uci".
  std::string Uci() {
    Mark();
    engine.Send("uci\n");
    EXPECT_TRUE(WaitFor("uciok\n")) << Fresh();
    return Fresh();
  }
  std::string OptionLine(const std::string& name) {
    for (const std::string& line : Lines(Uci()))
      if (StartsWith(line, "option name " + name + " type ")) return line;
    return "";
  }
  std::vector<std::string> Starting(const std::string& prefix) const {
    std::vector<std::string> found;
    for (const std::string& line : Lines(Fresh()))
      if (StartsWith(line, prefix)) found.push_back(line);
    return found;
  }
  void Quit() {
    engine.Send("quit\n");
    EXPECT_EQ(engine.WaitExit(WaitMs), 0);
  }
};

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  size_t p = text.find(from);
  EXPECT_NE(p, std::string::npos) << from;
  if (p != std::string::npos) text.replace(p, from.size(), to);
  return text;
}

}  // namespace

TEST(OptionSession, HashOutOfRangeIsIgnoredAndANewSizeIsAllocated) {
  Session s;
  EXPECT_EQ(s.Answer("setoption name Hash value 0\nsetoption name Hash value 4096\n"), "");
  EXPECT_EQ(s.OptionLine("Hash"), "option name Hash type spin min 1 max 2048 default 16");
  EXPECT_EQ(s.Answer("setoption name Hash value 64\n"), "");
  EXPECT_EQ(s.OptionLine("Hash"), "option name Hash type spin min 1 max 2048 default 64");
  s.Quit();
}

TEST(OptionSession, DrawValueIsShownInInternalUnits) {
  Session s;
  s.Answer("setoption name Corvid Draw Value value 50\n");
  EXPECT_EQ(s.OptionLine("Corvid Draw Value"), "option name Corvid Draw Value type spin min -100 max 100 default 64");
  s.Answer("setoption name Corvid Draw Value value 128\n");
  EXPECT_EQ(s.OptionLine("Corvid Draw Value"), "option name Corvid Draw Value type spin min -100 max 100 default 163");
  s.Answer("setoption name Corvid Draw Value value 129\n");
  EXPECT_EQ(s.OptionLine("Corvid Draw Value"), "option name Corvid Draw Value type spin min -100 max 100 default 163");
  s.Quit();
}

TEST(OptionSession, SpinWordsRangesAndCase) {
  Session s;
  s.Answer("setoption name Selectivity value abc\nsetoption name Threat Depth value -1\n"
           "setoption name playing style value aggressive\n");
  std::string list = s.Uci();
  EXPECT_NE(list.find("option name Selectivity type spin min 0 max 7 default 0\n"), std::string::npos) << list;
  EXPECT_NE(list.find("option name Threat Depth type spin min 0 max 7 default 5\n"), std::string::npos) << list;
  EXPECT_NE(list.find("option name Playing Style type combo default Aggressive var Normal var Aggressive var Solid\n"),
            std::string::npos)
      << list;
  s.Quit();
}

TEST(OptionSession, SecondUciShowsNewValuesExceptTheFixedEntries) {
  Session s;
  const std::string first = s.Uci();
  EXPECT_EQ(s.Answer("setoption name Ponder value false\n"
                     "setoption name OwnBook value true\n"
                     "setoption name Book Style value Wild\n"
                     "setoption name Book Learning value false\n"
                     "setoption name Position Learning value false\n"
                     "setoption name Hash value 8\n"
                     "setoption name Retain Hash value false\n"
                     "setoption name Use Tablebases value false\n"
                     "setoption name Tablebase Depth value 4\n"
                     "setoption name NalimovCache value 3\n"
                     "setoption name NalimovPath value /no/such dir\n"
                     "setoption name Corvid Draw Value value -25\n"
                     "setoption name Playing Style value Solid\n"
                     "setoption name Selectivity value 2\n"
                     "setoption name Forward Pruning value 12\n"
                     "setoption name Threat Depth value 3\n"
                     "setoption name Smart Search value false\n"
                     "setoption name Futility value false\n"
                     "setoption name Steady Search value true\n"
                     "setoption name Combinations value true\n"
                     "setoption name Hyper-Modern Play value false\n"
                     "setoption name Swindle value false\n"
                     "setoption name GUI Time Lag value true\n"
                     "setoption name Verbose UCI value true\n"
                     "setoption name AutoSave PGN value false\n"
                     "setoption name UCI_Elo value 1500\n"
                     "setoption name UCI_LimitStrength value true\n"
                     "setoption name UCI_Chess960 value true\n"
                     "setoption name MultiPV value 4\n"),
            "");
  std::string expected = first;
  expected = Replace(expected, "OwnBook type check default false", "OwnBook type check default true");
  expected = Replace(expected, "Book Style type combo default Tournament", "Book Style type combo default Wild");
  expected = Replace(expected, "Book Learning type check default true", "Book Learning type check default false");
  expected = Replace(expected, "Position Learning type check default true", "Position Learning type check default false");
  expected = Replace(expected, "max 2048 default 16", "max 2048 default 8");
  expected = Replace(expected, "Retain Hash type check default true", "Retain Hash type check default false");
  expected = Replace(expected, "Use Tablebases type check default true", "Use Tablebases type check default false");
  expected = Replace(expected, "min 0 max 7 default 2\n", "min 0 max 7 default 4\n");
  expected = Replace(expected, "max 256 default 1\n", "max 256 default 3\n");
  expected = Replace(expected, "NalimovPath type string default \n", "NalimovPath type string default /no/such dir\n");
  expected = Replace(expected, "min -100 max 100 default 0", "min -100 max 100 default -32");
  expected = Replace(expected, "Playing Style type combo default Normal", "Playing Style type combo default Solid");
  expected = Replace(expected, "Selectivity type spin min 0 max 7 default 7", "Selectivity type spin min 0 max 7 default 2");
  expected = Replace(expected, "max 15 default 10", "max 15 default 12");
  expected = Replace(expected, "Threat Depth type spin min 0 max 7 default 5", "Threat Depth type spin min 0 max 7 default 3");
  expected = Replace(expected, "Smart Search type check default true", "Smart Search type check default false");
  expected = Replace(expected, "Futility type check default true", "Futility type check default false");
  expected = Replace(expected, "Steady Search type check default false", "Steady Search type check default true");
  expected = Replace(expected, "Combinations type check default false", "Combinations type check default true");
  expected = Replace(expected, "Hyper-Modern Play type check default true", "Hyper-Modern Play type check default false");
  expected = Replace(expected, "Swindle type check default true", "Swindle type check default false");
  expected = Replace(expected, " default 2270\n", " default 1500\n");
  expected = Replace(expected, "max 127 default 1\n", "max 127 default 4\n");
  // Ponder, GUI Time Lag, Verbose UCI, AutoSave PGN, UCI_LimitStrength and UCI_Chess960 stay fixed.
  EXPECT_EQ(s.Uci(), expected);
  s.Quit();
}

TEST(OptionSession, MissingBookFilePrintsTheBookLinesAndTurnsOwnBookOff) {
  Session s;
  s.Answer("setoption name OwnBook value true\n");
  EXPECT_EQ(s.Answer("setoption name Book File value missing book.cbk\n"),
            "option name Book Status type string default NO BOOK FOUND\n"
            "option name Book Positions type combo default 0 var 0\n");
  EXPECT_EQ(s.OptionLine("OwnBook"), "option name OwnBook type check default false");
  EXPECT_EQ(s.OptionLine("Book File"), "option name Book File type string default missing book.cbk");
  s.Quit();
}

TEST(OptionSession, UnknownOptionsAndMissingValuesPrintAndChangeNothing) {
  Session s;
  const std::string before = s.Uci();
  EXPECT_EQ(s.Answer("setoption name Nonsense value 3\n"
                     "setoption name Hash 64\n"
                     "setoption name MultiPV\n"
                     "setoption name Book File\n"
                     "setoption name Ponder value maybe\n"
                     "setoption name\n"),
            "");
  EXPECT_EQ(s.Uci(), before);
  s.Quit();
}

TEST(OptionSession, EloRangeComesFromTheCalibrationWithinAboutTwoAndAHalfSeconds) {
  Session s;
  EXPECT_LT(s.uciMs, 3000) << "start-up to uciok";
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
  Session s;
  s.Answer("setoption name UCI_Elo value 2270\nsetoption name UCI_LimitStrength value true\nposition startpos\n");
  s.Mark();
  s.engine.Send("go movetime 5000\n");
  ASSERT_TRUE(s.WaitFor("bestmove", 10000)) << s.Fresh();
  s.WaitFor("\n", 200);
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
  s.Quit();
}

TEST(OptionSession, WithoutTheLimitTheSearchRunsAtFullSpeed) {
  Session s;
  s.Answer("setoption name UCI_LimitStrength value true\nsetoption name UCI_LimitStrength value false\n"
           "position startpos\n");
  s.Mark();
  s.engine.Send("go movetime 1000\n");
  ASSERT_TRUE(s.WaitFor("bestmove", 5000)) << s.Fresh();
  auto finals = s.Starting("info nps ");
  ASSERT_EQ(finals.size(), 1u) << s.Fresh();
  EXPECT_GT(NumberAfter(finals[0], "nps"), 20 * 1024) << finals[0];
  s.Quit();
}

namespace {

// Every report of a MultiPV search: runs of lines numbered 1..n.
void ExpectNumberedReports(const std::vector<std::string>& lines, int n) {
  ASSERT_FALSE(lines.empty());
  ASSERT_EQ(lines.size() % n, 0u);
  for (size_t i = 0; i < lines.size(); i++) {
    EXPECT_TRUE(StartsWith(lines[i], "info multipv " + std::to_string(i % n + 1) + " depth ")) << lines[i];
    EXPECT_EQ(lines[i].find("bound"), std::string::npos) << lines[i];
  }
  // Within a report the lines searched at the same depth are sorted by score.
  for (size_t r = 0; r < lines.size(); r += n)
    for (int k = 1; k < n; k++) {
      const std::string &a = lines[r + k - 1], &b = lines[r + k];
      if (NumberAfter(a, "depth") == NumberAfter(b, "depth") && a.find(" cp ") != std::string::npos &&
          b.find(" cp ") != std::string::npos) {
        EXPECT_GE(NumberAfter(a, "cp"), NumberAfter(b, "cp")) << a << "\n" << b;
      }
    }
}

}  // namespace

TEST(OptionSession, MultiPvPrintsNumberedExactLinesPerReport) {
  Session s;
  s.Answer("setoption name MultiPV value 3\nposition startpos\n");
  s.Mark();
  s.engine.Send("go depth 5\n");
  ASSERT_TRUE(s.WaitFor("bestmove")) << s.Fresh();
  auto lines = s.Starting("info multipv ");
  ExpectNumberedReports(lines, 3);
  EXPECT_TRUE(StartsWith(lines[lines.size() - 3], "info multipv 1 depth 5 ")) << s.Fresh();
  EXPECT_TRUE(s.Starting("info depth ").size() == s.Starting("info depth ").size());
  // Lines are printed from the first iteration on.
  EXPECT_TRUE(StartsWith(lines[0], "info multipv 1 depth ")) << lines[0];

  // Two legal moves: two lines per report.
  s.Answer("position fen k7/8/2K5/8/8/8/P7/7R b - - 0 1\n");   // not a recognised ending: searched
  s.Mark();
  s.engine.Send("go depth 4\n");
  ASSERT_TRUE(s.WaitFor("bestmove")) << s.Fresh();
  ExpectNumberedReports(s.Starting("info multipv "), 2);
  s.Quit();
}

namespace {

// White, a little better with the bishop pair, can repeat the position a
// third time with Ke1-d1: a draw the engine avoids at a draw value of 0 and
// takes at 50 (+64 for its side).
const std::string RepetitionPosition =
    "position fen 2b1k3/pp3ppp/2n5/8/8/8/PP3PPP/2B1KB2 w - - 0 1 moves e1d1 e8d8 d1e1 d8e8 e1d1 e8d8 d1e1 d8e8\n";

std::string BestMoveAndScore(const std::string& drawValue, std::string* scoreLine) {
  Session s;
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
  // The construction: the best other move is worth less than half a pawn, more than a draw.
  EXPECT_GT(cp, 0) << line;
  EXPECT_LT(cp, 50) << line;

  EXPECT_EQ(BestMoveAndScore("50", &line), "e1d1") << line;
  EXPECT_NE(line.find(" score cp 50 pv e1d1 "), std::string::npos) << line;
}

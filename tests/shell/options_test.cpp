// Options: the table effects in-process; over pipes the option list after each setoption and the book lines.
#include "shell/options.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>

#include "../board/board_helpers.h"
#include "search/tt.h"
#include "shell/engine_process.h"

namespace {

TEST(SetOption, ClearHashAndRetainHashOffSoftClear) {
  BoardReady();
  const OptionTable saved = Options;
  ASSERT_NE(ResizeTable(1024), 0);
  TableHit hit;
  // Each line, and whether the ordinary entry survives it (a learned entry always does).
  const std::pair<const char*, bool> lines[] = {
      {"Clear Hash", false}, {"Retain Hash value true", true}, {"Retain Hash value false", false},
      {"Retain Hash value false", true}};  // already off: no clear
  for (const auto& [line, kept] : lines) {
    StoreEntry(White, uint16_t(CurrentAge | BoundExact), 10, 0, 5, 1, 0);
    StoreEntry(Black, uint16_t(BoundExact | EntryPinned), 20, 70, 5, 1, 0);
    SetOption(line);
    EXPECT_EQ(ProbeEntry(White, 1, &hit) != 0, kept) << line;
    EXPECT_NE(ProbeEntry(Black, 1, &hit), 0) << line;
  }
  ResizeTable(0);
  Options = saved;
}

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

// Cumulative setoption lines and the default the next "uci" shows (nullptr: the list unchanged).
const std::string Path = "C:\\tb one;D:\\tb two ";
// clang-format off
const std::tuple<std::string, const char*, std::string> OptionCases[] = {
    {"Steady Search value TRUE", "Steady Search", "true"}, {"Steady Search value yes", "Steady Search", "true"},
    {"steady search value False", "Steady Search", "false"}, {"Selectivity value 3", "Selectivity", "3"},
    {"Selectivity value 8", "Selectivity", "3"}, {"Selectivity value abc", "Selectivity", "0"},
    {"MultiPV value 127", "MultiPV", "127"}, {"MultiPV value 0", "MultiPV", "127"},
    {"MultiPV value 3x", "MultiPV", "3"}, {"Corvid Draw Value value 128", "Corvid Draw Value", "163"},
    {"Corvid Draw Value value -1", "Corvid Draw Value", "-1"},
    {"Corvid Draw Value value -100", "Corvid Draw Value", "-128"},
    {"playing style value solid", "Playing Style", "Solid"}, {"Playing Style value Wild", "Playing Style", "Solid"},
    {"Playing Style value OwnBook value true", "OwnBook", "true"}, {"UCI_Elo value 1249", "UCI_Elo", "2270"},
    {"UCI_Elo value 2986", "UCI_Elo", "2270"}, {"UCI_Elo value 1250", "UCI_Elo", "1250"}, {"Hash value 8", "Hash", "8"},
    {"Hash value 0", "Hash", "8"}, {"NalimovPath value " + Path, "NalimovPath", Path},
    {"NalimovPath value " + std::string(160, 'x'), "NalimovPath", Path},
    {"NalimovPath value " + std::string(159, 'y'), "NalimovPath", std::string(159, 'y')},
    // Refused, or options whose entry always shows the default.
    {"Ponder value false", nullptr, ""}, {"UCI_LimitStrength value true", nullptr, ""}, {"Foo value 3", nullptr, ""},
    {"Selectivity 3", nullptr, ""}, {"Selectivityx value 3", nullptr, ""}, {"Hash", nullptr, ""},
    {"NalimovPath", nullptr, ""}};
// clang-format on
}  // namespace

TEST(OptionSession, EachLineChangesOnlyItsOwnEntryWithinItsRangeAndWords) {
  EngineSession s;
  std::string expected = Uci(s);
  for (const auto& [line, option, value] : OptionCases) {
    EXPECT_EQ(s.Answer("setoption name " + line + "\n"), "") << line;
    if (option) {
      const size_t entry = expected.find(std::string("option name ") + option + " type ");
      const size_t at = expected.find(" default ", entry) + 9;
      const size_t end = std::min(expected.find(" var ", at), expected.find('\n', at));
      ASSERT_NE(entry, std::string::npos) << option;
      expected.replace(at, end - at, value);
    }
    ASSERT_EQ(Uci(s), expected) << line;
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

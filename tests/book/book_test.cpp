// The book file and its probe, with small books written by the tests.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "board/board.h"
#include "book/book_helpers.h"
#include "core/settings.h"
#include "tool/book_tool.h"

namespace {

class Book : public ::testing::Test {
 protected:
  void SetUp() override { BookTestReady(); }
  void TearDown() override { CloseBook(); }

  // The book move of the game position ("none"), "+" marking a check.
  static std::string Probe(int style, bool learning) {
    Pos.undoTop = 0;
    Game.searchRootPly = Pos.ply;
    int n = Pos.InCheck() ? GenerateEvasions(Game.side, 1, 0, nullptr) : GenerateMoves(Game.side, 1, 0);
    uint32_t flags = (SettingsFlags & ~(BookStyleMask | FlagBookLearning)) | FlagOwnBook |
                     (uint32_t(style) << BookStyleShift) | (learning ? FlagBookLearning : 0);
    Move m = ProbeBook(Game.side, flags, MoveListBegin(1), MoveListBegin(1) + n);
    if (!m) return "none";
    return std::string(MoveToText(Move(m & ~CheckMark), TextCoordinate | TextNoPadding)) + (m & CheckMark ? "+" : "");
  }
};

TEST_F(Book, TheChoiceOfABookMove) {
  const uint16_t Lost = BookLostMark, Foreign = 1 << BookCheckShift;
  const std::string repeats = "g1f3 g8f6 f3g1 f6g8 g1f3 g8f6";  // Ng1 would repeat the position after move 3
  const int Wild = BookStyleWild, Wide = BookStyleWide, Varied = BookStyleVaried, Tournament = BookStyleTournament;
  // The book, the line played before the probe, style, Book Learning, the moves chosen over 40 seeds.
  const std::tuple<const char*, std::vector<TestBookMove>, std::string, int, bool, std::set<std::string>> cases[] = {
      {"Wild, 0", {{"", "e2e4", 0, 31}}, "", Wild, false, {"none"}},
      {"Wild plays 1", {{"", "e2e4", 1, 31}}, "", Wild, false, {"e2e4"}},
      {"Wide plays 2", {{"", "e2e4", 2, 31}}, "", Wide, false, {"e2e4"}},
      {"Varied never plays 2", {{"", "e2e4", 2, 31}}, "", Varied, false, {"none"}},
      {"Tournament never plays 2", {{"", "e2e4", 2, 31}}, "", Tournament, false, {"none"}},
      {"learned", {{"", "e2e4", 7, 4}, {"", "d2d4", 0, 12}}, "", Varied, true, {"d2d4"}},
      {"lost", {{"", "e2e4", 6, 27, Lost}, {"", "d2d4", 6, 12}}, "", Tournament, true, {"d2d4"}},
      {"lost, alone", {{"", "e2e4", 7, 31, Lost}, {"", "d2d4", 2, 8}}, "", Tournament, true, {"e2e4"}},
      {"repeats", {{repeats, "f3g1", 7, 31}, {repeats, "e2e4", 3, 12}}, repeats, Tournament, true, {"e2e4"}},
      {"stale", {{"", "e2e5", 7, 31}, {"", "c2c4", 3, 12}}, "", Tournament, true, {"c2c4"}},
      {"foreign", {{"", "d2d4", 7, 31, Foreign}, {"", "c2c4", 3, 12}}, "", Tournament, true, {"c2c4"}},
      {"check", {{"f2f3 e7e5 g2g4", "d8h4", 7, 31}}, "f2f3 e7e5 g2g4", Tournament, true, {"d8h4+"}},
  };
  for (const auto& [name, book, line, style, learning, expected] : cases) {
    WriteTestBook("choice.cbk", book);
    ASSERT_TRUE(PlayLine(line));
    std::set<std::string> chosen;
    for (int i = 0; i < 40; i++) {
      BookSeed = uint32_t(1000 + i * 7919);
      LearnBase = -1;
      chosen.insert(Probe(style, learning));
    }
    EXPECT_EQ(chosen, expected) << name;
  }
}

TEST_F(Book, TheWindowHoldsTwentyRecordsBeforeTheHitAndNineteenAfter) {
  // Records before key 1000, of it, after it (the search hits record n / 2); its first index, records in the window.
  const std::tuple<int, int, int, int, int> cases[] = {
      {0, 21, 0, 0, 21},  {0, 40, 0, 0, 40},  // hit 20: 20 before, 19 after
      {0, 41, 0, 0, 40},                      // the 41st is 20 after the hit
      {0, 42, 0, 1, 40},                      // hit 21: the first is 21 before it
      {0, 60, 0, 10, 40}, {30, 10, 30, 30, 10}, {5, 3, 0, 5, 3},
  };
  for (const auto& [before, count, after, firstIndex, visibleRecords] : cases) {
    SCOPED_TRACE(testing::Message() << before << "/" << count << "/" << after);
    std::vector<BookRecord> records;
    for (int i = 0; i < before; i++) records.push_back({uint32_t(10 + i), 0, 0});
    for (int i = 0; i < count; i++) records.push_back({1000, uint16_t(i + 1), 0});
    for (int i = 0; i < after; i++) records.push_back({uint32_t(2000 + i), 0, 0});
    WriteBookFile("window.cbk", records);
    ASSERT_EQ(OpenBook("window.cbk"), 1);
    int index = -1, first = -1, visible = 0;
    ASSERT_EQ(FindBookKey(1000, &index, &first), 1);
    EXPECT_EQ(index, firstIndex);
    for (int slot = first; slot < BookWindowEnd && BookWindow[slot].bookKey == 1000; slot++) visible++;
    EXPECT_EQ(visible, visibleRecords);
    EXPECT_EQ(BookWindow[first].bookMove, firstIndex - before + 1);  // the records really are the file's
  }
}

}  // namespace

// The book file and its probe, with small books written by the tests: opening
// and the status it reports, the binary search and its 40-record window, the
// four styles, the marks, repetitions, check marks and the window of plies.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "board/board.h"
#include "book/book.h"
#include "book/book_helpers.h"
#include "core/settings.h"
#include "tool/book_tool.h"

namespace {

class Book : public ::testing::Test {
 protected:
  void SetUp() override {
    BookTestReady();
    LearnBase = -1;
    BookSeed = 12345;
  }
  void TearDown() override {
    CloseBook();
    LearnBase = -1;
    PlayLine("");
  }

  // Probes the game position with the given style and learning switch.
  static Move Probe(int style, bool learning) {
    Pos.undoTop = 0;
    Game.searchRootPly = Pos.ply;
    int side = Game.side;
    int n = Pos.InCheck() ? GenerateEvasions(side, 1, 0, nullptr) : GenerateMoves(side, 1, 0);
    uint32_t flags = (SettingsFlags & ~(BookStyleMask | FlagBookLearning)) | FlagOwnBook |
                     (uint32_t(style) << BookStyleShift) | (learning ? FlagBookLearning : 0);
    return ProbeBook(side, flags, MoveListBegin(1), MoveListBegin(1) + n);
  }
  static std::string Text(Move m) {
    return m ? MoveToText(Move(m & ~CheckMark), TextCoordinate | TextNoPadding) : "none";
  }

  // How often each move is chosen over `probes` seeds.
  static std::map<std::string, int> Choices(int style, bool learning, int probes) {
    std::map<std::string, int> seen;
    for (int i = 0; i < probes; i++) {
      BookSeed = uint32_t(1000 + i * 7919);
      seen[Text(Probe(style, learning))]++;
    }
    return seen;
  }
};

// ---- Opening the book

struct OpenCase {
  const char* name;
  std::string bytes;     // the file's content; "<missing>" or "<directory>" for no file
  int returned;
  int status;
  int positions;
  bool ownBook;
};

std::string CountBytes(uint32_t n) { return std::string{char(n), char(n >> 8), char(n >> 16), char(n >> 24)}; }

TEST_F(Book, OpeningReportsTheStatusAndCount) {
  const OpenCase cases[] = {
      {"missing", "<missing>", 0, BookStatusNotFound, 0, false},
      {"directory", "<directory>", 0, BookStatusNotFound, 0, false},   // opens for reading, has no count
      {"empty", "", 0, BookStatusNotFound, 0, false},                   // no count: not found, not "Loaded OK"
      {"short", "ab", 0, BookStatusNotFound, 0, false},
      {"zero", CountBytes(0), 1, 0, 0, true},
      {"three", CountBytes(3) + std::string(24, '\0'), 1, 0, 3, true},
      {"count only", CountBytes(12345), 1, 0, 12345, true},
  };
  for (const OpenCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = std::string("open-") + c.name + ".cbk";
    if (c.bytes == "<directory>") mkdir(path.c_str(), 0755);
    else if (c.bytes != "<missing>") std::ofstream(path, std::ios::binary) << c.bytes;
    Options.bookStatus = 0;
    SettingsFlags = c.ownBook ? SettingsFlags & ~FlagOwnBook : SettingsFlags | FlagOwnBook;
    EXPECT_EQ(OpenBook(path.c_str()), c.returned);
    EXPECT_EQ(Options.bookStatus, c.status);
    EXPECT_EQ(Options.bookPositions, c.positions);
    EXPECT_EQ((SettingsFlags & FlagOwnBook) != 0, c.ownBook);
    EXPECT_EQ(BookStream != nullptr, c.returned == 1);
  }
}

// ---- The binary search and its window

// A book of `count` records of key 1000 (moves 1, 2, ...), between `before`
// records of smaller keys and `after` records of larger ones.
void WriteKeyRun(const std::string& path, int before, int count, int after) {
  std::vector<BookRecord> records;
  for (int i = 0; i < before; i++) records.push_back({uint32_t(10 + i), 0, 0});
  for (int i = 0; i < count; i++) records.push_back({1000, uint16_t(i + 1), 0});
  for (int i = 0; i < after; i++) records.push_back({uint32_t(2000 + i), 0, 0});
  WriteBookFile(path.c_str(), records);
  Options.bookStatus = 0;
  OpenBook(path.c_str());
}

struct WindowCase {
  int before, count, after;
  int firstIndex;        // file index of the first record of the key that the window holds
  int visible;           // records of the key inside the window
};

TEST_F(Book, TheWindowHoldsTwentyRecordsBeforeTheHitAndNineteenAfter) {
  // The first probe of the binary search hits record (before + count + after) / 2.
  const WindowCase cases[] = {
      {0, 21, 0, 0, 21},     // hit 10: all seen
      {0, 40, 0, 0, 40},     // hit 20: 20 before, 19 after
      {0, 41, 0, 0, 40},     // hit 20: the 41st is 20 after the hit
      {0, 42, 0, 1, 40},     // hit 21: 21 before the hit, so the first is not seen
      {0, 60, 0, 10, 40},    // hit 30: records 10 to 49
      {30, 10, 30, 30, 10},  // hit 35: the window reaches from 15 to 54
      {5, 3, 0, 5, 3},       // hit 4 (smaller key), then 6: the whole run
  };
  for (const WindowCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.before << "/" << c.count << "/" << c.after);
    WriteKeyRun("window.cbk", c.before, c.count, c.after);
    int index = -1, first = -1;
    ASSERT_EQ(FindBookKey(1000, &index, &first), 1);
    EXPECT_EQ(index, c.firstIndex);
    int visible = 0;
    for (int slot = first; slot < BookWindowEnd && BookWindow[slot].bookKey == 1000; slot++) visible++;
    EXPECT_EQ(visible, c.visible);
    EXPECT_EQ(BookWindow[first].bookMove, c.firstIndex - c.before + 1);   // the records really are the file's
    CloseBook();
  }
}

TEST_F(Book, ACountBeyondTheFileFindsNothing) {
  std::vector<BookRecord> records = {{1000, 1, 0}, {1000, 2, 0}, {2000, 3, 0}};
  WriteBookFile("long-count.cbk", records);
  {
    std::fstream f("long-count.cbk", std::ios::in | std::ios::out | std::ios::binary);
    f << CountBytes(100000);
  }
  Options.bookStatus = 0;
  ASSERT_EQ(OpenBook("long-count.cbk"), 1);
  int index, first;
  EXPECT_EQ(FindBookKey(1000, &index, &first), 0);
  EXPECT_EQ(FindBookKey(0xFFFFFFFF, &index, &first), 0);
  EXPECT_EQ(Probe(BookStyleTournament, true), 0);
}

// ---- Move choice

struct StyleCase {
  int style;
  int staticWeight;      // of the only book move (learning off: w = 4 x static)
  bool played;
};

TEST_F(Book, EachStyleHasItsLowestPlayableWeight) {
  const StyleCase cases[] = {
      {BookStyleWild, 0, false},       {BookStyleWild, 1, true},          // Wild plays weight 1
      {BookStyleWide, 1, false},       {BookStyleWide, 2, true},          // Wide plays weight 2
      {BookStyleVaried, 2, false},     {BookStyleVaried, 3, true},        // Varied never plays 2
      {BookStyleTournament, 2, false}, {BookStyleTournament, 3, true},    // nor does Tournament
      {0, 7, false},                                                      // no style, no book
  };
  for (const StyleCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "style " << c.style << " weight " << c.staticWeight);
    WriteTestBook("styles.cbk", {{"", "e2e4", c.staticWeight, 31}});
    for (int seed = 0; seed < 20; seed++) {
      BookSeed = uint32_t(seed * 104729 + 1);
      EXPECT_EQ(Text(Probe(c.style, false)), c.played ? "e2e4" : "none");
    }
    CloseBook();
  }
}

TEST_F(Book, WithLearningTheLearnedWeightCounts) {
  WriteTestBook("learned.cbk", {{"", "e2e4", 7, 4}, {"", "d2d4", 0, 12}});
  EXPECT_EQ(Choices(BookStyleVaried, true, 50), (std::map<std::string, int>{{"d2d4", 50}}));
  EXPECT_EQ(Choices(BookStyleVaried, false, 50), (std::map<std::string, int>{{"e2e4", 50}}));
}

TEST_F(Book, ALostMoveIsPlayedOnlyWhenNothingElseIs) {
  // A lost mark divides the score by 1024: below any unmarked candidate's for
  // learned weights up to 27 (a lost move has been lowered from its start).
  WriteTestBook("lost.cbk", {{"", "e2e4", 7, 27, BookLostMark}, {"", "d2d4", 3, 12}});
  EXPECT_EQ(Choices(BookStyleTournament, true, 200), (std::map<std::string, int>{{"d2d4", 200}}));
  CloseBook();

  WriteTestBook("lost-alone.cbk", {{"", "e2e4", 7, 31, BookLostMark}, {"", "d2d4", 2, 8}});
  EXPECT_EQ(Choices(BookStyleTournament, true, 50), (std::map<std::string, int>{{"e2e4", 50}}));
  CloseBook();

  // Without learning the marks are not read: the heavier static weight leads.
  WriteTestBook("lost-static.cbk", {{"", "e2e4", 7, 31, BookLostMark}, {"", "d2d4", 3, 12}});
  std::map<std::string, int> seen = Choices(BookStyleTournament, false, 200);
  EXPECT_GT(seen["e2e4"], 150);
}

TEST_F(Book, AMoveThatRepeatsAPositionIsNeverChosen) {
  const std::string line = "g1f3 g8f6 f3g1 f6g8 g1f3 g8f6";   // Ng1 would repeat the position after move 3
  WriteTestBook("repeat.cbk", {{line, "f3g1", 7, 31}, {line, "e2e4", 3, 12}});
  PlayLine(line);
  for (int style : {BookStyleWild, BookStyleWide, BookStyleVaried, BookStyleTournament})
    EXPECT_EQ(Choices(style, true, 30), (std::map<std::string, int>{{"e2e4", 30}})) << style;
  CloseBook();

  WriteTestBook("repeat-only.cbk", {{line, "f3g1", 7, 31}});
  PlayLine(line);
  EXPECT_EQ(Probe(BookStyleTournament, true), 0);
}

TEST_F(Book, IllegalAndForeignRecordsAreSkipped) {
  // A move that is not legal here (a stale book) and a record whose check byte
  // belongs to another position with the same key.
  BookRecord illegal = MakeBookRecord({"", "e2e4", 7, 31});
  illegal.bookMove = uint16_t((illegal.bookMove & ~BookMoveMask) | MakeMoveWord(12, 36));   // e2e5
  BookRecord foreign = MakeBookRecord({"", "d2d4", 7, 31});
  foreign.bookInfo ^= 1 << BookCheckShift;
  BookRecord good = MakeBookRecord({"", "c2c4", 3, 12});
  WriteBookFile("skips.cbk", {illegal, foreign, good});
  Options.bookStatus = 0;
  OpenBook("skips.cbk");
  EXPECT_EQ(Choices(BookStyleTournament, true, 30), (std::map<std::string, int>{{"c2c4", 30}}));
}

TEST_F(Book, ACheckingBookMoveCarriesTheCheckMark) {
  const std::string line = "f2f3 e7e5 g2g4";
  WriteTestBook("check.cbk", {{line, "d8h4", 7, 31}});
  PlayLine(line);
  Move m = Probe(BookStyleTournament, true);
  EXPECT_EQ(Text(m), "d8h4");
  EXPECT_TRUE(m & CheckMark);
}

struct PlyWindowCase {
  int learnBase;
  bool consulted;
  int learnBaseAfter;
};

TEST_F(Book, TheBookIsConsultedUpToEightPliesAfterTheLearnBase) {
  const std::string line = "e2e4 e7e5 g1f3 b8c6 f1b5 a7a6 b5a4 g8f6 e1g1 f8e7";   // game ply 11
  WriteTestBook("plies.cbk", {{line, "f1e1", 7, 31}});
  const PlyWindowCase cases[] = {
      {-1, true, 11},   // no base yet
      {3, true, 11},    // ply 11 = base + 8
      {2, false, 2},    // ply 11 = base + 9: out of the book until the base moves
      {20, true, 20},   // a hit never lowers the base
  };
  for (const PlyWindowCase& c : cases) {
    PlayLine(line);
    ASSERT_EQ(Game.index, 11);
    LearnBase = c.learnBase;
    EXPECT_EQ(Text(Probe(BookStyleTournament, true)), c.consulted ? "f1e1" : "none") << c.learnBase;
    EXPECT_EQ(LearnBase, c.learnBaseAfter) << c.learnBase;
  }
}

}  // namespace

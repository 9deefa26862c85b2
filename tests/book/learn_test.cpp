// Book learning: one record's update with its clamps and pass-back delta, the
// walk over a finished game (won, lost, drawn, judged by the engine's scores
// after the book), the settings under which nothing is learned, and a
// read-only book that is never changed.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sstream>
#include <string>
#include <vector>

#include "board/board.h"
#include "book/book.h"
#include "book/book_helpers.h"
#include "shell/engine_process.h"
#include "core/settings.h"

namespace {

const std::string Line = "e2e4 e7e5 g1f3 b8c6 f1b5 a7a6 b5a4 g8f6 e1g1 f8e7 f1e1 b7b5 a4b3 d7d6 c2c3 e8g8 h2h3";

// The first `plies` moves of Line.
std::string Prefix(int plies) {
  std::istringstream in(Line);
  std::string out, token;
  for (int i = 0; i < plies && in >> token; i++) out += (i ? " " : "") + token;
  return out;
}
std::string MoveAt(int ply) {   // the move recorded at game ply `ply` (ply 2 is the first move)
  std::istringstream in(Line);
  std::string token;
  for (int i = 0; i < ply - 1; i++) in >> token;
  return token;
}

class Learning : public ::testing::Test {
 protected:
  void SetUp() override {
    BookTestReady();
    ClearRecords();
  }
  void TearDown() override {
    CloseBook();
    ClearRecords();
    PlayLine("");
  }
  static void ClearRecords() {
    for (GameRecord& g : Game.history) g.shellWords[0] = g.shellWords[1] = g.learnCode = 0;
  }

  // Plays Line up to `newestPly` into the game and marks the engine's moves:
  // book moves at `bookPlies`, then `scores` on the engine's moves after them
  // (every second ply after the last book move).
  static void RecordGame(int newestPly, const std::vector<int>& bookPlies, const std::vector<int>& scores) {
    PlayLine(Prefix(newestPly - 1));
    for (int ply : bookPlies) Game.history[ply].shellWords[RecordFlagsWord] = RecordEngineResult | RecordBookMove;
    int ply = bookPlies.back() + 2;
    for (int s : scores) {
      Game.history[ply].shellWords[RecordFlagsWord] = RecordEngineResult;
      Game.history[ply].shellWords[RecordScoreWord] = uint16_t(int16_t(s));
      ply += 2;
    }
  }

  // A book with the engine's move at each book ply (learned weight `own`) and
  // a competitor in the same position (learned weight `other`).
  static void WriteGameBook(const std::vector<int>& bookPlies, int own, int other) {
    std::vector<TestBookMove> moves;
    for (int ply : bookPlies) {
      std::string before = Prefix(ply - 2);
      moves.push_back({before, MoveAt(ply), 5, own});
      moves.push_back({before, Game.history[ply].mover == White ? "a2a3" : "h7h6", 5, other});
    }
    WriteTestBook("game.cbk", moves);
  }

  // The engine move's record in the book file: learned weight and marks.
  static BookRecord BookRecordOf(int ply) {
    BookRecord wanted = MakeBookRecord({Prefix(ply - 2), MoveAt(ply), 0, 0});
    for (const BookRecord& r : ReadBookFile("game.cbk"))
      if (r.bookKey == wanted.bookKey && (r.bookMove & BookMoveMask) == (wanted.bookMove & BookMoveMask)) return r;
    ADD_FAILURE() << "no record for ply " << ply;
    return {};
  }
};

// ---- One record

struct RecordCase {
  const char* name;
  int old;
  int delta;
  int competitor;        // learned weight of the other move, -1 for none
  int resultClass;
  uint16_t marksBefore;
  int expectedWeight;
  uint16_t expectedMarks;
  int passedBack;
  bool written;
};

TEST_F(Learning, OneRecordTakesTheDeltaWithinTwelveToThirtyOne) {
  const RecordCase cases[] = {
      {"raised, competitor as good", 20, 2, 20, 0, 0, 22, 0, 1, true},
      {"raised, competitor better", 20, 2, 25, 0, 0, 22, 0, 2, true},
      {"raised to the ceiling", 30, 4, -1, 0, 0, 31, 0, 3, true},
      {"at the ceiling, nothing to write", 31, 2, -1, 0, 0, 31, 0, 1, false},
      {"raised from below the floor", 5, 2, -1, 0, 0, 12, 0, 1, true},
      {"lowered, competitor as good", 20, -4, 20, 0, 0, 16, 0, -3, true},
      {"lowered, competitor worse", 20, -4, 15, 0, 0, 16, 0, -4, true},
      {"lowered, competitor below the floor", 20, -4, 10, 0, 0, 16, 0, -4, true},
      {"lowered to the floor, lost", 12, -4, 20, 1, 0, 12, BookLostMark, -3, true},
      {"lowered by one", 20, -1, 20, 0, 0, 19, 0, -1, true},
      {"no change, no result", 20, 0, 20, 0, 0, 20, 0, 0, false},
      {"no change, won", 20, 0, 20, 2, 0, 20, BookWonMark, 0, true},
      {"a won move lost keeps both marks", 24, -4, -1, 1, BookWonMark, 20, BookWonMark | BookLostMark, -4, true},
  };
  for (const RecordCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<TestBookMove> moves = {{"", "e2e4", 5, c.old, c.marksBefore}};
    if (c.competitor >= 0) moves.push_back({"", "d2d4", 5, c.competitor});
    WriteTestBook("one.cbk", moves);
    std::string before = FileBytes("one.cbk");
    uint16_t code = uint16_t((c.delta + 64) | (c.resultClass << 8));
    EXPECT_EQ(LearnBookMove(BookKey(Pos.key, White), uint32_t(Pos.key >> 32), code, ParseMoveText("e2e4")),
              c.passedBack);
    CloseBook();
    std::string after = FileBytes("one.cbk");
    EXPECT_EQ(before != after, c.written);
    BookRecord e4 = MakeBookRecord({"", "e2e4", 5, 0});
    for (const BookRecord& r : ReadBookFile("one.cbk")) {
      if ((r.bookMove & BookMoveMask) == (e4.bookMove & BookMoveMask)) {
        EXPECT_EQ(LearnedWeight(r), c.expectedWeight);
        EXPECT_EQ(r.bookInfo & (BookWonMark | BookLostMark), c.expectedMarks);
        EXPECT_EQ(RecordCheckByte(r), RecordCheckByte(e4));
        EXPECT_EQ(StaticWeight(r), 5);
      } else {
        EXPECT_EQ(LearnedWeight(r), c.competitor);   // the competitor is never touched
      }
    }
    // The record is rewritten in place: same size, only its own bytes differ.
    ASSERT_EQ(after.size(), before.size());
  }
}

TEST_F(Learning, AMoveOutsideTheBookPassesNothingBack) {
  WriteTestBook("outside.cbk", {{"", "e2e4", 5, 20}});
  std::string before = FileBytes("outside.cbk");
  EXPECT_EQ(LearnBookMove(BookKey(Pos.key, White), uint32_t(Pos.key >> 32), 60, ParseMoveText("d2d4")), 0);
  EXPECT_EQ(LearnBookMove(BookKey(Pos.key, Black), uint32_t(Pos.key >> 32), 60, ParseMoveText("e2e4")), 0);
  EXPECT_EQ(FileBytes("outside.cbk"), before);
}

// ---- A whole game

struct GameCase {
  const char* name;
  int engineColour;
  int result;                       // 0 none, 1 draw, 2 White won, 3 Black won
  int newestPly;
  std::vector<int> bookPlies;
  std::vector<int> scores;          // the engine's scores after its last book move
  int own, other;                   // learned weights in the book before the game
  std::vector<int> expectedWeights; // of the book moves, in bookPlies order
  uint16_t expectedMarks;
  std::vector<uint16_t> expectedCodes;   // learning codes of the book plies
};

TEST_F(Learning, AFinishedGameAdjustsTheEngineBookMoves) {
  const std::vector<int> good = {200, 200, 200, 200, 200, 200};   // above the rising upper edge
  const std::vector<int> poor = {-200, -200, -200, -200, -200, -200};
  const GameCase cases[] = {
      // Won, six scores above the edge: +2 +6 = 8 at the last book move, clamped to 31; 7 passed back.
      {"won", White, 2, 17, {2, 4}, good, 28, 20, {31, 31}, BookWonMark, {0x200 | 71, 0x200 | 72}},
      // Lost, no scores after the book: -4, then -3, -2, -1 while a competitor of 12 or more is as good.
      {"lost, competitors", White, 3, 9, {2, 4, 6, 8}, {}, 20, 20, {19, 18, 17, 16}, BookLostMark,
       {0x100 | 63, 0x100 | 62, 0x100 | 61, 0x100 | 60}},
      // Lost without competitors worth 12: the full -4 every time.
      {"lost, weak competitors", White, 3, 9, {2, 4, 6, 8}, {}, 20, 8, {16, 16, 16, 16}, BookLostMark,
       {0x100 | 60, 0x100 | 60, 0x100 | 60, 0x100 | 60}},
      // Lost at the floor: the weights stay 12, the lost marks are written.
      {"lost at the floor", White, 3, 9, {2, 4}, {}, 12, 20, {12, 12}, BookLostMark, {0x100 | 61, 0x100 | 60}},
      // The engine played Black and White won: the same lowering on Black's book moves.
      {"Black lost", Black, 2, 10, {3, 5, 7, 9}, {}, 20, 20, {19, 18, 17, 16}, BookLostMark,
       {0x100 | 63, 0x100 | 62, 0x100 | 61, 0x100 | 60}},
      // A draw judged by the play after the book: good scores raise, poor ones lower.
      {"draw, good play after", White, 1, 17, {2, 4}, good, 20, 20, {25, 26}, 0, {69, 70}},
      {"draw, poor play after", White, 1, 17, {2, 4}, poor, 20, 20, {12, 12}, 0, {53, 52}},
      // Scores inside the rising band neither raise nor lower: nothing learned.
      {"draw, steady play after", White, 1, 17, {2, 4}, {60, 60, 60, 60, 60, 60}, 20, 20, {20, 20}, 0, {0, 0}},
      // A level score falls below the band as it rises: -2 at the tenth and twelfth ply.
      {"draw, level play after", White, 1, 17, {2, 4}, {0, 0, 0, 0, 0, 0}, 20, 20, {17, 16}, 0, {61, 60}},
      {"draw, no scores", White, 1, 9, {2, 4}, {}, 20, 20, {20, 20}, 0, {0, 0}},
      // Black's band starts lower: -100 is still above -128.
      {"Black, scores above its band", Black, 0, 16, {3}, {-100, -100}, 20, 20, {20}, 0, {0}},
      {"White, the same scores below its band", White, 0, 15, {2}, {-100, -100}, 20, 20, {16}, 0, {60}},
  };
  for (const GameCase& c : cases) {
    SCOPED_TRACE(c.name);
    ClearRecords();
    RecordGame(c.newestPly, c.bookPlies, c.scores);
    for (int ply : c.bookPlies) ASSERT_EQ(Game.history[ply].mover, c.engineColour);
    WriteGameBook(c.bookPlies, c.own, c.other);
    RecordGame(c.newestPly, c.bookPlies, c.scores);   // the book helper replays lines
    LearnFromGame(c.engineColour, c.result, c.newestPly);
    CloseBook();
    for (size_t i = 0; i < c.bookPlies.size(); i++) {
      BookRecord r = BookRecordOf(c.bookPlies[i]);
      EXPECT_EQ(LearnedWeight(r), c.expectedWeights[i]) << "ply " << c.bookPlies[i];
      EXPECT_EQ(r.bookInfo & (BookWonMark | BookLostMark), c.expectedMarks) << "ply " << c.bookPlies[i];
      EXPECT_EQ(Game.history[c.bookPlies[i]].learnCode, c.expectedCodes[i]) << "ply " << c.bookPlies[i];
    }
    for (const BookRecord& r : ReadBookFile("game.cbk"))
      if ((r.bookMove & BookMoveMask) == MakeMoveWord(8, 16) || (r.bookMove & BookMoveMask) == MakeMoveWord(55, 47)) {
        EXPECT_EQ(LearnedWeight(r), c.other);   // the competitors stay as they were
      }
  }
}

// The reset keeps UCI_LimitStrength as it is: the defaults need it cleared as well.
void DefaultSettings() {
  ResetSettings();
  SettingsFlags &= ~FlagLimitStrength;
}

void SetBookStyle(int style) { SettingsFlags = (SettingsFlags & ~BookStyleMask) | (uint32_t(style) << BookStyleShift); }

struct SettingCase {
  const char* name;
  void (*apply)();
};

TEST_F(Learning, NothingIsLearnedUnderAStrengthLimitOrOutsideTheTournamentStyle) {
  const SettingCase cases[] = {
      {"UCI_LimitStrength", [] { SettingsFlags |= FlagLimitStrength; }},
      {"Book Style Varied", [] { SetBookStyle(BookStyleVaried); }},
      {"Book Style Wide", [] { SetBookStyle(BookStyleWide); }},
      {"Book Style Wild", [] { SetBookStyle(BookStyleWild); }},
      {"Selectivity 1", [] { SettingsFlags = (SettingsFlags & ~SelectivityMask) | (1u << SelectivityShift); }},
      {"Forward Pruning 7", [] { Options.forwardPruning = 7 * 16; }},
  };
  for (const SettingCase& c : cases) {
    SCOPED_TRACE(c.name);
    DefaultSettings();
    RecordGame(9, {2, 4}, {});
    WriteGameBook({2, 4}, 20, 20);
    RecordGame(9, {2, 4}, {});
    std::string before = FileBytes("game.cbk");
    c.apply();
    LearnFromGame(White, 2, 9);
    CloseBook();
    EXPECT_EQ(FileBytes("game.cbk"), before);
  }
  // The same game at the default settings is learned.
  DefaultSettings();
  RecordGame(9, {2, 4}, {});
  WriteGameBook({2, 4}, 20, 20);
  RecordGame(9, {2, 4}, {});
  std::string before = FileBytes("game.cbk");
  LearnFromGame(White, 2, 9);
  CloseBook();
  EXPECT_NE(FileBytes("game.cbk"), before);
}

// Opens `path` as the book and learns a won game; the child's exit status is 0
// when the book opened read-only and its bytes did not change.
int LearnIntoReadOnlyBook(const std::string& path, const std::string& before) {
  Options.bookStatus = 0;
  if (!OpenBook(path.c_str()) || !(Options.bookStatus & BookStatusReadOnly)) return 2;
  LearnFromGame(White, 2, 9);
  CloseBook();
  return FileBytes(path) == before ? 0 : 3;
}

TEST_F(Learning, AReadOnlyBookIsNeverChanged) {
  TempDir dir;
  chmod(dir.Path().c_str(), 0755);
  const std::string path = dir.File("readonly.cbk");
  RecordGame(9, {2, 4}, {});
  WriteGameBook({2, 4}, 20, 20);
  CloseBook();
  RecordGame(9, {2, 4}, {});
  // The same book, writable, learns from this game.
  std::string book = FileBytes("game.cbk");
  {
    FILE* f = fopen(path.c_str(), "wb");
    fwrite(book.data(), 1, book.size(), f);
    fclose(f);
  }
  chmod(path.c_str(), 0444);
  if (geteuid() != 0) {
    EXPECT_EQ(LearnIntoReadOnlyBook(path, book), 0);
    return;
  }
  // File permissions do not bind the superuser: the check runs in a child
  // process that gives up its rights first.
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(4);
    _exit(LearnIntoReadOnlyBook(path, book));
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "2: not opened read-only, 3: changed, 4: could not drop rights";
}

}  // namespace

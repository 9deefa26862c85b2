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
#include "book/book_helpers.h"
#include "core/settings.h"
#include "record/record.h"

namespace {

const std::string Line = "e2e4 e7e5 g1f3 b8c6 f1b5 a7a6 b5a4 g8f6 e1g1 f8e7 f1e1 b7b5 a4b3 d7d6 c2c3 e8g8 h2h3";
const uint16_t Won = BookWonMark, Lost = BookLostMark;

// The first `plies` moves of Line; Move(ply) is the move recorded at game ply `ply` (ply 2 is the first).
std::string Prefix(int plies) {
  std::istringstream in(Line);
  std::string out, token;
  for (int i = 0; i < plies && in >> token; i++) out += (i ? " " : "") + token;
  return out;
}
std::string MoveAt(int ply) { return Prefix(ply - 1).substr(Prefix(ply - 2).size() + (ply > 2)); }

class Learning : public ::testing::Test {
 protected:
  void SetUp() override {
    BookTestReady();
    SettingsFlags &= ~FlagLimitStrength;  // the reset keeps the strength limit as it was
  }
  void TearDown() override { CloseBook(); }

  // A book with the engine's move at each book ply (learned weight `own`) and a
  // competitor in the same position (`other`); then Line up to `newestPly` in
  // the game, the engine's book moves marked and `scores` on its moves after them.
  static void RecordGame(int newestPly, const std::vector<int>& bookPlies, const std::vector<int>& scores, int own,
                         int other) {
    std::vector<TestBookMove> moves;
    for (int ply : bookPlies) {
      moves.push_back({Prefix(ply - 2), MoveAt(ply), 5, own});
      moves.push_back({Prefix(ply - 2), ply % 2 == 0 ? "a2a3" : "h7h6", 5, other});
    }
    WriteTestBook("game.cbk", moves);
    ClearGameRecord();
    PlayLine(Prefix(newestPly - 1));
    for (int ply : bookPlies) Game.history[ply].shellWords[RecordFlagsWord] = RecordEngineResult | RecordBookMove;
    int ply = bookPlies.back() + 2;
    for (int s : scores) {
      Game.history[ply].shellWords[RecordFlagsWord] = RecordEngineResult;
      Game.history[ply].shellWords[RecordScoreWord] = uint16_t(int16_t(s));
      ply += 2;
    }
  }
};

TEST_F(Learning, OneRecordTakesTheDeltaWithinTwelveToThirtyOne) {
  const struct {
    const char* name;
    int old, delta, competitor;  // the competitor's learned weight, -1 for none
    int resultClass;
    uint16_t marksBefore;
    int weight;
    uint16_t marks;
    int passedBack;
    bool written;
    const char* move = "e2e4";
  } cases[] = {
      {"raised, competitor as good", 20, 2, 20, 0, 0, 22, 0, 1, true},
      {"raised, competitor better", 20, 2, 25, 0, 0, 22, 0, 2, true},
      {"raised to the ceiling", 30, 4, -1, 0, 0, 31, 0, 3, true},
      {"at the ceiling, nothing to write", 31, 2, -1, 0, 0, 31, 0, 1, false},
      {"raised from below the floor", 5, 2, -1, 0, 0, 12, 0, 1, true},
      {"lowered, competitor as good", 20, -4, 20, 0, 0, 16, 0, -3, true},
      {"lowered, competitor worse", 20, -4, 15, 0, 0, 16, 0, -4, true},
      {"lowered, competitor below the floor", 20, -4, 10, 0, 0, 16, 0, -4, true},
      {"lowered to the floor, lost", 12, -4, 20, LearnClassLost, 0, 12, Lost, -3, true},
      {"lowered by one", 20, -1, 20, 0, 0, 19, 0, -1, true},
      {"no change, no result", 20, 0, 20, 0, 0, 20, 0, 0, false},
      {"no change, won", 20, 0, 20, LearnClassWon, 0, 20, Won, 0, true},
      {"a won move lost keeps both marks", 24, -4, -1, LearnClassLost, Won, 20, Won | Lost, -4, true},
      {"not in the book", 20, 2, -1, LearnClassWon, 0, 20, 0, 0, false, "c2c4"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<TestBookMove> moves = {{"", "e2e4", 5, c.old, c.marksBefore}};
    if (c.competitor >= 0) moves.push_back({"", "d2d4", 5, c.competitor});
    WriteTestBook("one.cbk", moves);
    const std::string before = ReadFile("one.cbk");
    uint16_t code = uint16_t((c.delta + 64) | (c.resultClass << 8));
    EXPECT_EQ(LearnBookMove(BookKey(Pos.key, White), uint32_t(Pos.key >> 32), code, ParseMoveText(c.move)),
              c.passedBack);
    CloseBook();
    const std::string after = ReadFile("one.cbk");
    EXPECT_EQ(after != before, c.written);
    ASSERT_EQ(after.size(), before.size());  // rewritten in place
    BookRecord e4 = RecordIn("one.cbk", "", "e2e4");
    EXPECT_EQ(LearnedWeight(e4), c.weight);
    EXPECT_EQ(e4.bookInfo & (Won | Lost), c.marks);
    EXPECT_EQ(StaticWeight(e4), 5);
    if (c.competitor >= 0) {
      EXPECT_EQ(LearnedWeight(RecordIn("one.cbk", "", "d2d4")), c.competitor);  // the competitor is never touched
    }
  }
}

TEST_F(Learning, AFinishedGameAdjustsTheEngineBookMoves) {
  const std::vector<int> good(6, 200), poor(6, -200);  // above and below the rising band
  const struct {
    const char* name;
    int engineColour;
    int result;  // 0 none, 1 draw, 2 White won, 3 Black won
    int newestPly;
    std::vector<int> bookPlies, scores;  // scores: the engine's after its last book move
    int own, other;                      // learned weights in the book before the game
    std::vector<int> weights;            // of the book moves after the game
    uint16_t marks;
  } cases[] = {
      // Won, six scores above the band: +2 +6 = 8 at the last book move, clamped to 31; 7 passed back.
      {"won", White, 2, 17, {2, 4}, good, 28, 20, {31, 31}, Won},
      // Lost, no scores after the book: -4, then -3, -2, -1 while a competitor of 12 or more is as good.
      {"lost, competitors", White, 3, 9, {2, 4, 6, 8}, {}, 20, 20, {19, 18, 17, 16}, Lost},
      {"lost, weak competitors", White, 3, 9, {2, 4, 6, 8}, {}, 20, 8, {16, 16, 16, 16}, Lost},
      {"lost at the floor", White, 3, 9, {2, 4}, {}, 12, 20, {12, 12}, Lost},
      {"Black lost", Black, 2, 10, {3, 5, 7, 9}, {}, 20, 20, {19, 18, 17, 16}, Lost},
      // A draw judged by the play after the book.
      {"draw, good play after", White, 1, 17, {2, 4}, good, 20, 20, {25, 26}, 0},
      {"draw, poor play after", White, 1, 17, {2, 4}, poor, 20, 20, {12, 12}, 0},
      {"draw, steady play after", White, 1, 17, {2, 4}, std::vector<int>(6, 60), 20, 20, {20, 20}, 0},
      // A level score falls below the band as it rises: -2 at the tenth and twelfth ply.
      {"draw, level play after", White, 1, 17, {2, 4}, std::vector<int>(6, 0), 20, 20, {17, 16}, 0},
      {"draw, no scores", White, 1, 9, {2, 4}, {}, 20, 20, {20, 20}, 0},
      // Black's band starts lower: -100 is still above -128.
      {"Black, scores above its band", Black, 0, 16, {3}, {-100, -100}, 20, 20, {20}, 0},
      {"White, the same scores below its band", White, 0, 15, {2}, {-100, -100}, 20, 20, {16}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RecordGame(c.newestPly, c.bookPlies, c.scores, c.own, c.other);
    LearnFromGame(c.engineColour, c.result, c.newestPly);
    CloseBook();
    for (size_t i = 0; i < c.bookPlies.size(); i++) {
      const int ply = c.bookPlies[i];
      BookRecord r = RecordIn("game.cbk", Prefix(ply - 2), MoveAt(ply));
      EXPECT_EQ(LearnedWeight(r), c.weights[i]) << "ply " << ply;
      EXPECT_EQ(r.bookInfo & (Won | Lost), c.marks) << "ply " << ply;
      EXPECT_EQ(LearnedWeight(RecordIn("game.cbk", Prefix(ply - 2), ply % 2 ? "h7h6" : "a2a3")), c.other);
    }
  }
}

TEST_F(Learning, NothingIsLearnedUnderAStrengthLimitOrOutsideTheTournamentStyle) {
  const struct {
    const char* name;
    uint32_t clear, set;  // settings flags
    int forwardPruning;   // in sixteenths, -1 for the default
    bool learned;
  } cases[] = {
      {"defaults", 0, 0, -1, true},
      {"UCI_LimitStrength", 0, FlagLimitStrength, -1, false},
      {"Book Style Varied", BookStyleMask, BookStyleVaried << BookStyleShift, -1, false},
      {"Book Style Wide", BookStyleMask, BookStyleWide << BookStyleShift, -1, false},
      {"Book Style Wild", BookStyleMask, BookStyleWild << BookStyleShift, -1, false},
      {"Selectivity 1", SelectivityMask, 1 << SelectivityShift, -1, false},
      {"Forward Pruning 7", 0, 0, 7 * 16, false},
  };
  for (const auto& c : cases) {
    SetUp();
    RecordGame(9, {2, 4}, {}, 20, 20);
    const std::string before = ReadFile("game.cbk");
    SettingsFlags = (SettingsFlags & ~c.clear) | c.set;
    if (c.forwardPruning >= 0) Options.forwardPruning = c.forwardPruning;
    LearnFromGame(White, 2, 9);
    CloseBook();
    EXPECT_EQ(ReadFile("game.cbk") != before, c.learned) << c.name;
  }
}

TEST_F(Learning, AReadOnlyBookIsNeverChanged) {
  RecordGame(9, {2, 4}, {}, 20, 20);
  CloseBook();
  const std::string book = ReadFile("game.cbk");
  TempDir dir;
  chmod(dir.Path().c_str(), 0755);
  const std::string path = dir.File("readonly.cbk");
  WriteFile(path, book);
  chmod(path.c_str(), 0444);
  // In a child process that gives up the superuser's rights, which file permissions do not bind.
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(4);
    Options.bookStatus = 0;
    if (!OpenBook(path.c_str()) || !(Options.bookStatus & BookStatusReadOnly)) _exit(2);
    LearnFromGame(White, 2, 9);  // the same game is learned from a writable book
    CloseBook();
    _exit(ReadFile(path) == book ? 0 : 3);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "2: not opened read-only, 3: changed, 4: could not drop rights";
}

}  // namespace

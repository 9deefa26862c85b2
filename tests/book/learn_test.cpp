// Book learning over a finished game and the settings that stop it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sstream>
#include <string>
#include <tuple>
#include <vector>

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
  void SetUp() override { BookTestReady(); }
  void TearDown() override { CloseBook(); }

  // Book: the engine's move at each book ply (weight `own`) and a rival (`other`); game: Line to `newestPly`.
  static void RecordGame(int newestPly, const std::vector<int>& bookPlies, const std::vector<int>& scores, int own,
                         int other, uint16_t ownMarks = 0) {
    std::vector<TestBookMove> moves;
    for (int ply : bookPlies) {
      moves.push_back({Prefix(ply - 2), MoveAt(ply), 5, own, ownMarks});
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

TEST_F(Learning, AFinishedGameAdjustsTheEngineBookMoves) {
  const std::vector<int> good(6, 200), poor(6, -200);  // above and below the rising band
  // Colour, result (1 draw, 2/3 White/Black won), newest ply, book plies, scores after, weights, marks after/before.
  using Plies = std::vector<int>;
  const std::tuple<const char*, int, int, int, Plies, Plies, int, int, Plies, uint16_t, uint16_t> cases[] = {
      {"won", White, 2, 17, {2, 4}, good, 28, 20, {31, 31}, Won, 0},
      {"won, from below the floor", White, 2, 9, {2, 4}, {}, 5, 20, {12, 12}, Won, 0},
      {"lost, competitors", White, 3, 9, {2, 4, 6, 8}, {}, 20, 20, {19, 18, 17, 16}, Lost, 0},
      {"lost, weak competitors", White, 3, 9, {2, 4, 6, 8}, {}, 20, 8, {16, 16, 16, 16}, Lost, 0},
      {"lost, marked won before", White, 3, 9, {2, 4}, {}, 24, 20, {21, 20}, Won | Lost, Won},
      {"draw, good play after", White, 1, 17, {2, 4}, good, 20, 20, {25, 26}, 0, 0},
      {"draw, poor play after", White, 1, 17, {2, 4}, poor, 20, 20, {12, 12}, 0, 0},
      {"Black, scores above its band", Black, 0, 16, {3}, {-100, -100}, 20, 20, {20}, 0, 0},
  };
  for (const auto& [name, engineColour, result, newestPly, bookPlies, scores, own, other, weights, marks, ownMarks] :
       cases) {
    SCOPED_TRACE(name);
    RecordGame(newestPly, bookPlies, scores, own, other, ownMarks);
    const size_t size = ReadFile("game.cbk").size();
    LearnFromGame(engineColour, result, newestPly);
    CloseBook();
    EXPECT_EQ(ReadFile("game.cbk").size(), size);  // records are rewritten in place
    for (size_t i = 0; i < bookPlies.size(); i++) {
      const int ply = bookPlies[i];
      BookRecord r = RecordIn("game.cbk", Prefix(ply - 2), MoveAt(ply));
      EXPECT_EQ(std::pair(LearnedWeight(r), r.bookInfo & (Won | Lost)), std::pair(weights[i], int(marks))) << ply;
      EXPECT_EQ(LearnedWeight(RecordIn("game.cbk", Prefix(ply - 2), ply % 2 ? "h7h6" : "a2a3")), other);
    }
  }
}

TEST_F(Learning, NothingIsLearnedUnderAStrengthLimitOrOutsideTheTournamentStyle) {
  // The settings flags cleared and set, Forward Pruning in sixteenths (-1: the default), whether learned.
  const std::tuple<const char*, uint32_t, uint32_t, int, bool> cases[] = {
      {"defaults", 0, 0, -1, true},
      {"UCI_LimitStrength", 0, FlagLimitStrength, -1, false},
      {"Book Style Wild", BookStyleMask, BookStyleWild << BookStyleShift, -1, false},
      {"Selectivity 1", SelectivityMask, 1 << SelectivityShift, -1, false},
      {"Forward Pruning 7", 0, 0, 7 * 16, false},
  };
  for (const auto& [name, clear, set, forwardPruning, learned] : cases) {
    SetUp();
    RecordGame(9, {2, 4}, {}, 20, 20);
    const std::string before = ReadFile("game.cbk");
    SettingsFlags = (SettingsFlags & ~clear) | set;
    if (forwardPruning >= 0) Options.forwardPruning = forwardPruning;
    LearnFromGame(White, 2, 9);
    CloseBook();
    EXPECT_EQ(ReadFile("game.cbk") != before, learned) << name;
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
  pid_t child = fork();  // a child without superuser rights
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

// The dispatcher in-process: go parameters, a whole game on one line, a fuzz of clock values.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "board/board.h"
#include "../board/board_helpers.h"
#include "../board/same_position.h"
#include "search/search.h"
#include "search/report.h"
#include "search/search_state.h"
#include "search/timecontrol.h"
#include "shell/engine.h"
#include "core/platform.h"
#include "core/settings.h"

namespace {

int HookCalls, HookSide, HookMode;

int RecordingSearch(int side, int mode) {
  ++HookCalls;
  HookSide = side;
  HookMode = mode;
  return 0;
}

// Runs the clock arithmetic of a timed search on what "go" handed over.
int ClockArithmeticSearch(int, int mode) {
  ++HookCalls;
  SearchFlags = SettingsFlags;
  SearchMode = mode == SearchModePonder ? SearchModePonder : SearchModeNormal;
  SetupTimeControl(GameClock.movesToGo, GameClock.timeLeftMs, GameClock.incrementMs);
  for (int bound : {BoundKindRunning, BoundKindUpper, BoundKindLower}) {
    RootBound = bound;
    for (int score : {-8000, -400, 0, 400}) {
      UpdateTimeBonus(score);
      SetTimeLimit();
    }
  }
  StopReason = StopNone;
  return 0;
}

class Dispatch : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { InitBoardTables(); }
  void SetUp() override {
    alarm(20);   // a blocked read ends the test run instead of hanging it
    UciStarted = 2;
    SearchMode = SearchModeIdle;
    StopReason = StopNone;
    PendingLine = false;
    QuitFlag = 0;
    NewGameFlag = false;
    PliesPlayed = 1;
    LastPositionText[0] = 0;
    InputMode = 2;
    Game.side = White;
    SearchLimits = SearchLimitsRecord{};
    SearchLimits.TimeMode = TimeModeNoClock;
    HookCalls = 0;
    HookMode = -1;
    SearchHook = RecordingSearch;
  }
  void TearDown() override {
    for (int fd : input_)
      if (fd >= 0) close(fd);
    SetInputDescriptor(0);
    SearchHook = nullptr;
    alarm(0);
  }

  // Puts the lines into a pipe that the engine's line reader reads.
  void Input(const std::string& lines) {
    ASSERT_EQ(pipe(input_), 0);
    ASSERT_EQ(write(input_[1], lines.data(), lines.size()), ssize_t(lines.size()));
    SetInputDescriptor(input_[0]);
  }
  std::string Run(const std::string& line, int expectedAnswer = 1) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(DispatchCommand(line.c_str()), expectedAnswer) << line;
    return testing::internal::GetCapturedStdout();
  }

  int input_[2] = {-1, -1};
};

}  // namespace

// Every go resets its limits; the mover's clock sets TimeMode, depth, movetime or infinite clear it.
TEST_F(Dispatch, GoLinesGiveTheirSearchLimits) {
  const int Max = SearchMaxDepth;
  using Two = std::pair<int, int>;  // White's and Black's
  // The line as White to move; time mode, depth, movetime, clocks, increments, moves to go, search mode.
  const std::tuple<std::string, uint8_t, int, int, Two, Two, int, int> cases[] = {
      {"go ponder wtime 1000 btime 2000 winc 10 binc 20 movestogo 30 nodes 5 mate 2 movetime 700", TimeModeClock, Max,
       700, {1000, 2000}, {10, 20}, 30, SearchModePonder},
      {"go depth 12abc movetime x", TimeModeNoClock, 12, 0, {0, 0}, {0, 0}, 0, SearchModeNormal},
      {"go wtime -50 btime 99999999999999999999", TimeModeClock, Max, NoMoveTime, {1, 2147483647}, {0, 0}, 0,
       SearchModeNormal},
  };
  for (const auto& [line, timeMode, depth, moveTime, clock, inc, movesToGo, mode] : cases) {
    SCOPED_TRACE(line);
    EXPECT_EQ(Run(line), "");
    const SearchLimitsRecord& l = SearchLimits;
    EXPECT_EQ(std::tuple(int(l.TimeMode), l.DepthLimit, l.MoveTimeMs, l.movesToGo, HookMode, HookSide, OpponentColour),
              std::tuple(int(timeMode), depth, moveTime, movesToGo, mode, int(White), int(Black)));
    EXPECT_EQ(std::pair(Two(l.clockTimeMs[0], l.clockTimeMs[1]), Two(l.clockIncMs[0], l.clockIncMs[1])),
              std::pair(clock, inc));
  }
  EXPECT_EQ(HookCalls, int(std::size(cases)));

  // searchmoves takes the rest of the line, and no more moves than the list holds.
  std::string line = "go searchmoves";
  for (int i = 0; i < 200; ++i) line += " a2a3";
  EXPECT_EQ(Run(line + " depth 5"), "");
  EXPECT_EQ(SearchLimits.DepthLimit, Max);
  EXPECT_EQ(SearchLimits.SearchMoveCount, MaxSearchMoves);
}

// A random game of `plies` moves into the game history that never leaves the opponent without a move.
std::vector<std::string> PlayRandomGame(int plies, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<std::string> moves;
  while (int(moves.size()) < plies) {
    std::vector<Move> list = LegalMoves(1);
    std::shuffle(list.begin(), list.end(), random);
    auto played = std::find_if(list.begin(), list.end(), [](Move m) {
      if (!PlayGameMove(m, Game.side)) return false;
      if (!LegalMoves(2).empty()) return true;
      TakeBackGameMove();
      return false;
    });
    if (played == list.end()) break;
    moves.push_back(MoveToText(*played, TextCoordinate | TextNoPadding));
    Game.side ^= 1;
  }
  return moves;
}

TEST_F(Dispatch, WholeGameOnOneLineSetsUpTheSamePosition) {
  NewGame();
  std::vector<std::string> moves = PlayRandomGame(900, 11);
  ASSERT_EQ(moves.size(), 900u);
  static Position played;
  played = Pos;
  const int playedSide = Game.side;
  std::string line = "position startpos moves";
  for (const std::string& m : moves) line += " " + m;
  ASSERT_GT(line.size(), 4096u);

  NewGame();
  Input(line + "\n");
  testing::internal::CaptureStdout();
  ReadAndDispatch();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(FirstDifference(played, Pos), "");
  EXPECT_EQ(Game.side, playedSide);
}

// Clock values of any size or sign: the time allocation must neither overflow nor misbehave.
TEST_F(Dispatch, GoClockValuesOfAnySizeAreSafe) {
  const char* values[] = {"0", "1", "-1", "60", "999", "2147483647", "2147483648", "-2147483648",
                          "-2147483649", "1000000000", "99999999999999999999", "-99999999999999999999"};
  const char* words[] = {"wtime", "btime", "winc", "binc", "movestogo", "movetime", "depth"};
  SearchHook = ClockArithmeticSearch;
  InputMode = 0;
  std::mt19937 random(2024);
  testing::internal::CaptureStdout();
  for (int i = 0; i < 2000; ++i) {
    std::string line = "go";
    for (const char* word : words)
      if (random() % 3) line += std::string(" ") + word + " " + values[random() % std::size(values)];
    if (random() % 4 == 0) line += " ponder";
    Game.side = int(random() % 2);
    SettingsFlags ^= (random() % 2 ? FlagPonder : 0) | (random() % 2 ? FlagGuiTimeLag : 0);
    ASSERT_EQ(DispatchCommand(line.c_str()), 1) << line;
    EXPECT_GT(TargetTime, 0) << line;
    EXPECT_GE(MinTime, 0) << line;
  }
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(HookCalls, 2000);
}

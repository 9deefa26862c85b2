// The dispatcher in-process: keyword rule, go parameters, the new-game rule
// of the position command, the busy mechanism during a search, and a fuzz run.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "board/board.h"
#include "../board/same_position.h"
#include "search/search.h"
#include "search/report.h"
#include "search/search_state.h"
#include "search/timecontrol.h"
#include "shell/engine.h"
#include "shell/keyword.h"
#include "shell/options.h"
#include "core/platform.h"
#include "shell/uci_rules.h"

namespace {

int HookCalls;
int HookSide;
int HookMode;

int RecordingSearch(int side, int mode) {
  ++HookCalls;
  HookSide = side;
  HookMode = mode;
  return 0;
}

// Runs the clock arithmetic of a timed search on whatever "go" handed over: the allocation, the
// bonus rules and the limit, as a search would at its start, after a fail low and at a new best move.
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

// Searches until stopped, reading input the way the search polls it.
int PollingSearch(int side, int mode) {
  ++HookCalls;
  HookMode = mode;
  while (StopReason == StopNone) {
    if (InputWaiting())
      ReadAndDispatch();
    else
      SleepMs(1);
  }
  Print("bestmove 0000\n");
  return StopReason;
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
    for (int& fd : input_) {
      if (fd >= 0) close(fd);
      fd = -1;
    }
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
  // The command loop, until quit.
  void RunLoop() {
    for (int guard = 0; !QuitFlag && guard < 100; ++guard) {
      SearchMode = SearchModeIdle;
      ReadAndDispatch();
    }
    EXPECT_TRUE(QuitFlag);
  }
  std::string Run(const std::string& line, int expectedAnswer = 1) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(DispatchCommand(line.c_str()), expectedAnswer) << line;
    return testing::internal::GetCapturedStdout();
  }

  int input_[2] = {-1, -1};
};

}  // namespace

// ---------------------------------------------------------------- keyword rule

TEST(Keyword, MatchesWholeWordsIgnoringCaseAndSkipsTheBlanksAfterThem) {
  const struct {
    const char* text;
    const char* keyword;
    bool matched;
    const char* rest;
  } cases[] = {
      {"PoSiTiOn   startpos", "position", true, "startpos"},
      {"ucinewgame", "uci", false, "ucinewgame"},  // white space or the end must follow
      {"ucinewgame", "ucinewgame", true, ""},
      {"go\tdepth", "go", true, "\tdepth"},  // only blanks are skipped after a keyword
      {"playing style value aggressive", "Playing Style", true, "value aggressive"},
      {"Playing", "Playing Style", false, "Playing"},
  };
  for (const auto& c : cases) {
    const char* text = c.text;
    EXPECT_EQ(MatchKeyword(text, c.keyword), c.matched) << c.text;
    EXPECT_STREQ(text, c.rest) << c.text;
  }
}

// ---------------------------------------------------------------- dispatcher

// The text after "position" is what the new-game rule compares; a position clears the new-game flag.
TEST_F(Dispatch, PositionKeepsItsTextAndClearsTheNewGameFlag) {
  Run("ucinewgame");
  EXPECT_TRUE(NewGameFlag);
  Run("position fen 8/8/8/8/8/8/8/K6k w - - 0 1 moves a1a2");
  EXPECT_FALSE(NewGameFlag);
  EXPECT_STREQ(LastPositionText, "fen 8/8/8/8/8/8/8/K6k w - - 0 1 moves a1a2");
}

// ---------------------------------------------------------------- new-game rule

// A position text ends the game when it shares less than two thirds of the last one (the game
// goes on while the common prefix x 3 / 2 reaches the old length), after three plies and
// without a ucinewgame.
TEST_F(Dispatch, PositionEndsTheGameByTheNewGameRule) {
  const char* fen = "fen 8/8/8/8/8/8/8/K6k w - - 0 1";
  const struct {
    const char* text;
    int plies;
    bool newGame;
    bool ends;
  } cases[] = {
      {"startpos moves e2e4 e7e5 g1f3 b8c6", 3, false, false},
      {"startpos moves e2e4 e7e5", 3, false, false},
      {"startpos moves e2", 3, false, false},  // 17 in common: 25 against 24
      {"startpos moves e", 3, false, false},   // 16: 24
      {"startpos moves ", 3, false, true},     // 15: 22
      {"startpos moves d2d4", 3, false, true},
      {"", 3, false, true},
      {fen, 2, false, false},
      {fen, 3, false, true},
      {fen, 3, true, false},
  };
  for (const auto& c : cases) {
    std::strcpy(LastPositionText, "startpos moves e2e4 e7e5");
    PliesPlayed = c.plies;
    NewGameFlag = c.newGame;
    EXPECT_EQ(PositionEndsGame(c.text), c.ends) << c.text << " " << c.plies << " " << c.newGame;
  }
}

// ---------------------------------------------------------------- go parameters

// Every go resets its limits but keeps TimeMode, which the side to move's clock sets and a
// depth, a move time or infinite clears.
TEST_F(Dispatch, GoLinesGiveTheirSearchLimits) {
  const int Max = SearchMaxDepth;
  const struct {
    int side;
    std::string line;
    uint8_t timeMode;
    int depth, moveTime, clock[2], inc[2], movesToGo, mode;
  } cases[] = {
      {White, "go depth 0", TimeModeNoClock, 1, NoMoveTime, {0, 0}, {0, 0}, 0, SearchModeNormal},
      {White, "go wtime 0 btime 0", TimeModeClock, Max, NoMoveTime, {1, 1}, {0, 0}, 0, SearchModeNormal},
      {White, "go infinite wtime 60000", TimeModeClock, Max, NoMoveTime, {60000, 0}, {0, 0}, 0, SearchModeNormal},
      {White, "go infinite btime 60000", TimeModeNoClock, Max, NoMoveTime, {0, 60000}, {0, 0}, 0, SearchModeNormal},
      {Black, "go infinite btime 60000", TimeModeClock, Max, NoMoveTime, {0, 60000}, {0, 0}, 0, SearchModeNormal},
      {White, "go ponder wtime 1000 btime 2000 winc 10 binc 20 movestogo 30 nodes 5 mate 2 movetime 700",
       TimeModeClock, Max, 700, {1000, 2000}, {10, 20}, 30, SearchModePonder},
      {White, "go movetime 500 depth 7 wtime 100 movestogo 5", TimeModeClock, 7, 500, {100, 0}, {0, 0}, 5,
       SearchModeNormal},
      {White, "go", TimeModeClock, Max, NoMoveTime, {0, 0}, {0, 0}, 0, SearchModeNormal},
      {White, "go movetime 500", TimeModeNoClock, Max, 500, {0, 0}, {0, 0}, 0, SearchModeNormal},
      {White, "go depth 12abc movetime x", TimeModeNoClock, 12, 0, {0, 0}, {0, 0}, 0, SearchModeNormal},
      {White, "go wtime -50 btime 99999999999999999999", TimeModeClock, Max, NoMoveTime, {1, 2147483647}, {0, 0}, 0,
       SearchModeNormal},
      {White, "go depth", TimeModeNoClock, 1, NoMoveTime, {0, 0}, {0, 0}, 0, SearchModeNormal},
  };
  for (const auto& c : cases) {
    Game.side = c.side;
    EXPECT_EQ(Run(c.line), "") << c.line;
    const SearchLimitsRecord& l = SearchLimits;
    EXPECT_EQ(l.TimeMode, c.timeMode) << c.line;
    EXPECT_EQ(l.DepthLimit, c.depth) << c.line;
    EXPECT_EQ(l.MoveTimeMs, c.moveTime) << c.line;
    EXPECT_EQ(l.clockTimeMs[White], c.clock[White]) << c.line;
    EXPECT_EQ(l.clockTimeMs[Black], c.clock[Black]) << c.line;
    EXPECT_EQ(l.clockIncMs[White], c.inc[White]) << c.line;
    EXPECT_EQ(l.clockIncMs[Black], c.inc[Black]) << c.line;
    EXPECT_EQ(l.movesToGo, c.movesToGo) << c.line;
    EXPECT_EQ(HookMode, c.mode) << c.line;
    EXPECT_EQ(HookSide, c.side) << c.line;
    EXPECT_EQ(OpponentColour, c.side ^ 1) << c.line;
  }
  EXPECT_EQ(HookCalls, int(std::size(cases)));

  // searchmoves takes the rest of the line, and no more moves than the list holds.
  std::string line = "go searchmoves";
  for (int i = 0; i < 200; ++i) line += " a2a3";
  EXPECT_EQ(Run(line + " depth 5"), "");
  EXPECT_EQ(SearchLimits.DepthLimit, Max);
  EXPECT_EQ(SearchLimits.SearchMoveCount, MaxSearchMoves);
}

// ---------------------------------------------------------------- busy mechanism

// A stop is requested only during a search: one sent to an idle engine must not end the next search.
TEST_F(Dispatch, StopIsRequestedOnlyDuringASearch) {
  for (int mode : {SearchModeIdle, SearchModeNormal, SearchModeAnalysis, SearchModePonder, SearchModeCalibration}) {
    StopReason = StopNone;
    SearchMode = mode;
    RequestStop();
    EXPECT_EQ(StopReason, mode == SearchModeIdle ? StopNone : StopByGui) << mode;
  }
}

// A search that polls its input: the lines read during it, and those kept until it has ended (the
// commands that need an idle engine wait, as does isready for a stop not yet carried out).
TEST_F(Dispatch, InputDuringASearch) {
  const struct {
    const char* input;
    const char* output;
    const char* position;  // the last position text at the end
    bool newGame;
  } cases[] = {
      {"go infinite\nstop\nquit\n", "bestmove 0000\n", "", false},
      // The search answers isready, then stops for the position command, which is dispatched after it.
      {"go infinite\nisready\nposition startpos moves e2e4\nisready\nquit\n", "readyok\nbestmove 0000\nreadyok\n",
       "startpos moves e2e4", false},
      {"go ponder\nuci\nquit\n", "uciok\nbestmove 0000\n", "", false},  // quit waits for the search's end
      {"go ponder\nwhat\nstop\nquit\n", "info string unknown UCI <what> command\nbestmove 0000\n", "", false},
      {"go infinite\nsetoption name Hash value 1\nucinewgame\nquit\n", "bestmove 0000\n", "", true},
  };
  SearchHook = PollingSearch;
  for (const auto& c : cases) {
    SetUp();
    SearchHook = PollingSearch;
    Input(c.input);
    testing::internal::CaptureStdout();
    RunLoop();
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(out.size() >= std::strlen(c.output) && out.substr(out.size() - std::strlen(c.output)) == c.output)
        << c.input << "\n" << out;
    EXPECT_EQ(HookCalls, 1) << c.input;
    EXPECT_STREQ(LastPositionText, c.position) << c.input;
    EXPECT_EQ(NewGameFlag, c.newGame) << c.input;
    EXPECT_FALSE(PendingLine);
    TearDown();
  }
}

// A legal game of `plies` random moves from the start position, played into the game
// history; a move that would leave the opponent without a move is taken back and another tried.
std::vector<std::string> PlayRandomGame(int plies, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<std::string> moves;
  auto hasLegalMove = [](int side) {
    for (int i = 0, n = GenerateMoves(side, 2, 0); i < n; i++) {
      MakeMove(PlainMove(MoveListBegin(2)[i].move));
      bool legal = !Pos.attackTable[side ^ 1][Pos.kingSquare(side)].counts;
      UnmakeMove();
      if (legal) return true;
    }
    return false;
  };
  while (int(moves.size()) < plies) {
    std::array<Move, 256> list;
    int n = std::min(GenerateMoves(Game.side, 1, 0), int(list.size()));
    for (int i = 0; i < n; i++) list[i] = PlainMove(MoveListBegin(1)[i].move);
    std::shuffle(list.begin(), list.begin() + n, random);
    bool played = false;
    for (int i = 0; i < n && !played; i++) {
      if (!PlayGameMove(list[i], Game.side)) continue;
      if (!hasLegalMove(Game.side ^ 1)) {
        TakeBackGameMove();
        continue;
      }
      moves.push_back(MoveToText(list[i], TextCoordinate | TextNoPadding));
      Game.side ^= 1;
      played = true;
    }
    if (!played) break;
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

// ---------------------------------------------------------------- fuzz

TEST_F(Dispatch, RandomLinesNeverCrash) {
  const char* starts[] = {"", "uci ", "position ", "position fen ", "position startpos moves ", "go ",
                          "go searchmoves ", "setoption name ", "isready ", "ponderhit ", "ucinewgame ", "quit "};
  std::mt19937 random(12345);
  testing::internal::CaptureStdout();
  for (int i = 0; i < 3000; ++i) {
    std::string line = starts[random() % std::size(starts)];
    int length = int(random() % 200);
    for (int k = 0; k < length; ++k) {
      int kind = int(random() % 4);
      char c = kind == 0 ? ' ' : kind == 1 ? char('0' + random() % 10) : char(1 + random() % 255);
      line += c;
    }
    SearchMode = (random() % 4 == 0) ? SearchModeNormal : SearchModeIdle;
    StopReason = StopNone;
    int answer = DispatchCommand(line.c_str());
    EXPECT_TRUE(answer >= 0 && answer <= 2);
  }
  testing::internal::GetCapturedStdout();
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

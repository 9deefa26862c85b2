// The dispatcher in-process: keyword rule, go parameters, the new-game rule
// of the position command, the busy mechanism during a search, and a fuzz run.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "board/board.h"
#include "../board/same_position.h"
#include "search/search.h"
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
  SearchMode = mode == 6 ? 6 : 4;
  SetupTimeControl(GameClock.movesToGo, GameClock.timeLeftMs, GameClock.incrementMs);
  for (int bound : {3, 2, 6}) {
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
    if (input_[0] >= 0) close(input_[0]);
    if (input_[1] >= 0) close(input_[1]);
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

TEST(Keyword, MatchesIgnoringCaseAndSkipsBlanks) {
  const char* text = "PoSiTiOn   startpos";
  EXPECT_TRUE(MatchKeyword(text, "position"));
  EXPECT_STREQ(text, "startpos");
}

TEST(Keyword, NeedsWhiteSpaceOrEndAfterIt) {
  const char* text = "ucinewgame";
  EXPECT_FALSE(MatchKeyword(text, "uci"));
  EXPECT_STREQ(text, "ucinewgame");
  EXPECT_TRUE(MatchKeyword(text, "ucinewgame"));
  EXPECT_STREQ(text, "");
  const char* tabbed = "go\tdepth";
  EXPECT_TRUE(MatchKeyword(tabbed, "go"));
  EXPECT_STREQ(tabbed, "\tdepth");   // only blanks are skipped after a keyword
}

TEST(Keyword, MultiWordKeywordsIncludeTheirBlank) {
  const char* text = "playing style value aggressive";
  EXPECT_TRUE(MatchKeyword(text, "Playing Style"));
  EXPECT_STREQ(text, "value aggressive");
  const char* shortText = "Playing";
  EXPECT_FALSE(MatchKeyword(shortText, "Playing Style"));
}

// ---------------------------------------------------------------- dispatcher

TEST_F(Dispatch, NothingBeforeUciExceptQuit) {
  UciStarted = 0;
  EXPECT_EQ(Run("isready"), "");
  EXPECT_EQ(Run("foo"), "");
  EXPECT_EQ(Run("go depth 3"), "");
  EXPECT_EQ(HookCalls, 0);
  Run("quit");
  EXPECT_TRUE(QuitFlag);
}

TEST_F(Dispatch, UnknownCommandAnswersZero) {
  EXPECT_EQ(Run("  hello world", 0), "info string unknown UCI <hello world> command\n");
  EXPECT_EQ(Run("", 0), "info string unknown UCI <> command\n");
  EXPECT_EQ(Run("setoption", 0), "info string unknown UCI <> command\n");
  EXPECT_EQ(Run("setoption Hash value 1", 0), "info string unknown UCI <Hash value 1> command\n");
}

TEST_F(Dispatch, UciStartsTheProtocol) {
  UciStarted = 0;
  std::string out = Run("uci");
  EXPECT_EQ(UciStarted, 2);
  EXPECT_EQ(out.rfind("id name ", 0), 0u);
  EXPECT_EQ(out.substr(out.size() - 6), "uciok\n");
}

TEST_F(Dispatch, UcinewgameSetsTheFlagAndPositionClearsIt) {
  Run("ucinewgame");
  EXPECT_TRUE(NewGameFlag);
  Run("position startpos");
  EXPECT_FALSE(NewGameFlag);
  EXPECT_STREQ(LastPositionText, "startpos");
}

TEST_F(Dispatch, PositionFenKeepsTheFenFields) {
  Run("position fen 8/8/8/8/8/8/8/K6k w - - 0 1 moves a1a2");
  EXPECT_STREQ(StartFen, "8/8/8/8/8/8/8/K6k w - - 0 1");
  EXPECT_STREQ(LastPositionText, "fen 8/8/8/8/8/8/8/K6k w - - 0 1 moves a1a2");
  Run("position fen 4k3/8/8/8/8/8/8/4K3 b - - 3 40");
  EXPECT_STREQ(StartFen, "4k3/8/8/8/8/8/8/4K3 b - - 3 40");
}

TEST_F(Dispatch, UnreadableMovesAreSkippedSilently) {
  EXPECT_EQ(Run("position startpos moves zzzz e2e4 " + std::string(40, 'q') + " 0000"), "");
  EXPECT_EQ(Run("position moves e2e4"), "");
}

// ---------------------------------------------------------------- new-game rule

TEST_F(Dispatch, PositionExtendingTheGameDoesNotEndIt) {
  std::strcpy(LastPositionText, "startpos moves e2e4 e7e5");
  PliesPlayed = 3;
  EXPECT_FALSE(PositionEndsGame("startpos moves e2e4 e7e5 g1f3 b8c6"));
  EXPECT_FALSE(PositionEndsGame("startpos moves e2e4 e7e5"));
}

TEST_F(Dispatch, PositionSharingLessThanTwoThirdsEndsTheGame) {
  std::strcpy(LastPositionText, "startpos moves e2e4 e7e5");   // 24 characters
  PliesPlayed = 3;
  // The game goes on while common prefix * 3 / 2 reaches the old length.
  EXPECT_FALSE(PositionEndsGame("startpos moves e2"));     // 17: 25
  EXPECT_FALSE(PositionEndsGame("startpos moves e"));      // 16: 24
  EXPECT_TRUE(PositionEndsGame("startpos moves "));        // 15: 22
  EXPECT_TRUE(PositionEndsGame("startpos moves d2d4"));    // 15: 22
  EXPECT_TRUE(PositionEndsGame(""));
}

TEST_F(Dispatch, NewGameRuleNeedsThreePliesAndNoUcinewgame) {
  std::strcpy(LastPositionText, "startpos moves e2e4 e7e5");
  PliesPlayed = 2;
  EXPECT_FALSE(PositionEndsGame("fen 8/8/8/8/8/8/8/K6k w - - 0 1"));
  PliesPlayed = 3;
  EXPECT_TRUE(PositionEndsGame("fen 8/8/8/8/8/8/8/K6k w - - 0 1"));
  NewGameFlag = true;
  EXPECT_FALSE(PositionEndsGame("fen 8/8/8/8/8/8/8/K6k w - - 0 1"));
}

// ---------------------------------------------------------------- go parameters

TEST_F(Dispatch, GoDepthZeroSearchesToDepthOne) {
  Run("go depth 0");
  EXPECT_EQ(HookCalls, 1);
  EXPECT_EQ(SearchLimits.DepthLimit, 1);
  EXPECT_EQ(SearchLimits.TimeMode, 3);
  EXPECT_EQ(HookMode, 4);
}

TEST_F(Dispatch, GoZeroClockTimesBecomeOneMillisecond) {
  Run("go wtime 0 btime 0");
  EXPECT_EQ(SearchLimits.clockTimeMs[White], 1);
  EXPECT_EQ(SearchLimits.clockTimeMs[Black], 1);
  EXPECT_EQ(SearchLimits.TimeMode, 4);
  EXPECT_EQ(EngineColour, White);
  EXPECT_EQ(OpponentColour, Black);
}

TEST_F(Dispatch, ClockTimesTakePrecedenceOverInfinite) {
  Run("go infinite wtime 60000");
  EXPECT_EQ(SearchLimits.TimeMode, 4);
  EXPECT_EQ(SearchLimits.clockTimeMs[White], 60000);
}

TEST_F(Dispatch, OnlyTheSideToMovesClockCounts) {
  Run("go infinite btime 60000");
  EXPECT_EQ(SearchLimits.TimeMode, 3);
  Game.side = Black;
  Run("go infinite btime 60000");
  EXPECT_EQ(SearchLimits.TimeMode, 4);
  EXPECT_EQ(HookSide, Black);
  EXPECT_EQ(EngineColour, Black);
  EXPECT_EQ(OpponentColour, White);
}

TEST_F(Dispatch, GoReadsEveryKeyword) {
  std::string out = Run("go ponder wtime 1000 btime 2000 winc 10 binc 20 movestogo 30 nodes 5 mate 2 movetime 700");
  EXPECT_EQ(out, "");
  EXPECT_EQ(HookMode, 6);
  EXPECT_EQ(SearchLimits.requestedMode, 6);
  EXPECT_EQ(SearchLimits.clockTimeMs[White], 1000);
  EXPECT_EQ(SearchLimits.clockTimeMs[Black], 2000);
  EXPECT_EQ(SearchLimits.clockIncMs[White], 10);
  EXPECT_EQ(SearchLimits.clockIncMs[Black], 20);
  EXPECT_EQ(SearchLimits.movesToGo, 30);
  EXPECT_EQ(SearchLimits.MoveTimeMs, 700);
  EXPECT_EQ(SearchLimits.TimeMode, 4);   // White's clock given
  EXPECT_EQ(SearchLimits.DepthLimit, SearchMaxDepth);
}

TEST_F(Dispatch, GoResetsItsLimitsButKeepsTimeMode) {
  Run("go movetime 500 depth 7 wtime 100 movestogo 5");
  EXPECT_EQ(SearchLimits.TimeMode, 4);
  Run("go");
  EXPECT_EQ(SearchLimits.TimeMode, 4);
  EXPECT_EQ(SearchLimits.MoveTimeMs, 2000000000);
  EXPECT_EQ(SearchLimits.DepthLimit, SearchMaxDepth);
  EXPECT_EQ(SearchLimits.clockTimeMs[White], 0);
  EXPECT_EQ(SearchLimits.movesToGo, 0);
  EXPECT_EQ(SearchLimits.requestedMode, 4);
  Run("go movetime 500");
  EXPECT_EQ(SearchLimits.TimeMode, 3);
  EXPECT_EQ(SearchLimits.MoveTimeMs, 500);
}

TEST_F(Dispatch, GoUnknownWordsAreReportedOneTokenAtATime) {
  std::string out = Run("go foo bar depth 3");
  EXPECT_EQ(out,
            "info string unknown UCI go <foo bar depth 3> command\n"
            "info string unknown UCI go <bar depth 3> command\n");
  EXPECT_EQ(SearchLimits.DepthLimit, 3);
}

TEST_F(Dispatch, GoNumbersAreReadFromTheTokenStart) {
  Run("go depth 12abc movetime x");
  EXPECT_EQ(SearchLimits.DepthLimit, 12);
  EXPECT_EQ(SearchLimits.MoveTimeMs, 0);
  Run("go wtime -50 btime 99999999999999999999");
  EXPECT_EQ(SearchLimits.clockTimeMs[White], 1);
  EXPECT_EQ(SearchLimits.clockTimeMs[Black], 2147483647);
  Run("go depth");
  EXPECT_EQ(SearchLimits.DepthLimit, 1);
}

TEST_F(Dispatch, SearchmovesTakesTheRestOfTheLine) {
  std::string line = "go searchmoves";
  for (int i = 0; i < 200; ++i) line += " a2a3";
  line += " depth 5";
  EXPECT_EQ(Run(line), "");
  EXPECT_EQ(SearchLimits.DepthLimit, SearchMaxDepth);
  EXPECT_LE(SearchLimits.SearchMoveCount, MaxSearchMoves);
}

// ---------------------------------------------------------------- busy mechanism

TEST_F(Dispatch, CommandsThatNeedAnIdleEngineAnswerBusy) {
  SearchMode = SearchModeNormal;
  for (const char* line : {"quit", "position startpos", "go depth 1", "setoption name Hash value 32", "ucinewgame"}) {
    EXPECT_EQ(Run(line, 2), "");
  }
  EXPECT_FALSE(QuitFlag);
  EXPECT_FALSE(NewGameFlag);
  EXPECT_EQ(HookCalls, 0);
  EXPECT_STREQ(LastPositionText, "");
}

TEST_F(Dispatch, CommandsCarriedOutDuringASearch) {
  SearchMode = SearchModePonder;
  EXPECT_EQ(Run("isready"), "readyok\n");
  EXPECT_EQ(Run("uci").substr(0, 8), "id name ");
  EXPECT_EQ(Run("what", 0), "info string unknown UCI <what> command\n");
  EXPECT_EQ(Run("ponderhit"), "");
  EXPECT_EQ(SearchMode, 4);
}

TEST_F(Dispatch, IsReadyWaitsWhenAStopIsPending) {
  SearchMode = SearchModeNormal;
  StopReason = StopByGui;
  EXPECT_EQ(Run("isready", 2), "");
  SearchMode = 1;   // the search has ended
  EXPECT_EQ(Run("isready"), "readyok\n");
}

TEST_F(Dispatch, RequestStopOnlyDuringASearch) {
  RequestStop();
  EXPECT_EQ(StopReason, StopNone);
  for (int mode : {4, 5, 6, 7}) {
    StopReason = StopNone;
    SearchMode = mode;
    RequestStop();
    EXPECT_EQ(StopReason, StopByGui);
  }
}

TEST_F(Dispatch, StopEndsTheSearch) {
  SearchHook = PollingSearch;
  Input("go infinite\nstop\nquit\n");
  testing::internal::CaptureStdout();
  SearchMode = SearchModeIdle;
  ReadAndDispatch();
  EXPECT_EQ(StopReason, StopByGui);
  EXPECT_FALSE(QuitFlag);
  RunLoop();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "bestmove 0000\n");
  EXPECT_EQ(HookCalls, 1);
}

TEST_F(Dispatch, BusyLineIsDispatchedAgainAfterTheSearch) {
  SearchHook = PollingSearch;
  Input("go infinite\nisready\nposition startpos moves e2e4\nisready\nquit\n");
  testing::internal::CaptureStdout();
  SearchMode = SearchModeIdle;
  ReadAndDispatch();
  // The search answered isready, then stopped for the position command.
  EXPECT_TRUE(PendingLine);
  EXPECT_STREQ(CommandLine, "position startpos moves e2e4");
  EXPECT_STREQ(LastPositionText, "");
  RunLoop();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "readyok\nbestmove 0000\nreadyok\n");
  EXPECT_STREQ(LastPositionText, "startpos moves e2e4");
  EXPECT_FALSE(PendingLine);
}

TEST_F(Dispatch, QuitDuringASearchWaitsForItsEnd) {
  SearchHook = PollingSearch;
  Input("go ponder\nuci\nquit\n");
  testing::internal::CaptureStdout();
  RunLoop();
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(HookMode, 6);
  ASSERT_GE(out.size(), 20u);
  EXPECT_EQ(out.substr(out.size() - 20), "uciok\nbestmove 0000\n");
}

TEST_F(Dispatch, BusyGoAndSetoptionWaitForTheSearch) {
  SearchHook = PollingSearch;
  Input("go infinite\nsetoption name Hash value 1\nucinewgame\nquit\n");
  testing::internal::CaptureStdout();
  RunLoop();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "bestmove 0000\n");
  EXPECT_TRUE(NewGameFlag);
  EXPECT_EQ(HookCalls, 1);
}

TEST_F(Dispatch, ReadAndDispatchReadsWhileInputWaits) {
  Input("isready\nisready\nisready\n");
  testing::internal::CaptureStdout();
  ReadAndDispatch();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "readyok\nreadyok\nreadyok\n");
}

// A legal game of `plies` random moves from the start position, played into the game
// history; a move that would leave the opponent without a move is taken back and another tried.
std::vector<std::string> PlayRandomGame(int plies, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<std::string> moves;
  auto hasLegalMove = [](int side) {
    int n = GenerateMoves(side, 2, 0);
    std::vector<MoveEntry> list(MoveListBegin(2), MoveListBegin(2) + n);
    for (const MoveEntry& e : list) {
      MakeMove(Move(e.move & ~CheckMark));
      bool legal = !Pos.attackTable[side ^ 1][Pos.kingSquare(side)].counts;
      UnmakeMove();
      if (legal) return true;
    }
    return false;
  };
  while (int(moves.size()) < plies) {
    int n = GenerateMoves(Game.side, 1, 0);
    std::vector<MoveEntry> list(MoveListBegin(1), MoveListBegin(1) + n);
    std::shuffle(list.begin(), list.end(), random);
    bool played = false;
    for (const MoveEntry& e : list) {
      Move m = Move(e.move & ~CheckMark);
      if (!PlayGameMove(m, Game.side)) continue;
      if (!hasLegalMove(Game.side ^ 1)) {
        TakeBackGameMove();
        continue;
      }
      moves.push_back(MoveToText(m, TextCoordinate | TextNoPadding));
      Game.side ^= 1;
      played = true;
      break;
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
    SearchMode = (random() % 4 == 0) ? 4 : 0;
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

// UCI sessions with the engine binary over pipes, with exact expected output.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <utility>

#include "shell/engine_process.h"

namespace {

constexpr int WaitMs = 5000;
const std::string Banner =
    "CORVID by Avery Quill\n"
    "Copyright (c) Avery Quill. All rights reserved.\n";

// The UCI_Elo maximum follows from the speed measured at start-up: the
// expected answers carry this mark in its place, filled in from the output.
const std::string EloMaxMark = "@ELOMAX@";
const std::string EloLineStart = "option name UCI_Elo type spin min 1250 max ";

std::string FillEloMax(std::string answer, const std::string& output) {
  size_t line = output.rfind(EloLineStart);
  if (line == std::string::npos) return answer;
  size_t start = line + EloLineStart.size();
  std::string max = output.substr(start, output.find(' ', start) - start);
  for (size_t p = answer.find(EloMaxMark); p != std::string::npos; p = answer.find(EloMaxMark))
    answer.replace(p, EloMaxMark.size(), max);
  return answer;
}

// The answer to "uci" at the default settings, with the given book state.
std::string UciAnswer(const std::string& ownBook, const std::string& bookStatus, int bookPositions) {
  std::ostringstream s;
  s << "id name CORVID 11.2 SP\n"
       "id author Avery Quill\n"
       "option name Ponder type check default true\n"
       "option name OwnBook type check default " << ownBook << "\n"
       "option name Book File type string default Corvid11Book2.cbk\n"
       "option name Book Status type string default " << bookStatus << "\n"
       "option name Book Positions type combo default " << bookPositions << " var " << bookPositions << "\n"
       "option name Book Style type combo default Tournament var Wild var Wide var Varied var Tournament\n"
       "option name Book Learning type check default true\n"
       "option name Position Learning type check default true\n"
       "option name Hash type spin min 1 max 2048 default 16\n"
       "option name Clear Hash type button\n"
       "option name Retain Hash type check default true\n"
       "option name Use Tablebases type check default true\n"
       "option name Tablebase Depth type spin min 0 max 7 default 2\n"
       "option name NalimovCache type spin min 1 max 256 default 1\n"
       "option name NalimovPath type string default \n"
       "option name Corvid Draw Value type spin min -100 max 100 default 0\n"
       "option name Playing Style type combo default Normal var Normal var Aggressive var Solid\n"
       "option name Selectivity type spin min 0 max 7 default 7\n"
       "option name Forward Pruning type spin min 0 max 15 default 10\n"
       "option name Threat Depth type spin min 0 max 7 default 5\n"
       "option name Smart Search type check default true\n"
       "option name Futility type check default true\n"
       "option name Steady Search type check default false\n"
       "option name Combinations type check default false\n"
       "option name Hyper-Modern Play type check default true\n"
       "option name Swindle type check default true\n"
       "option name GUI Time Lag type check default false\n"
       "option name Verbose UCI type check default false\n"
       "option name AutoSave PGN type check default true\n"
       "option name UCI_Elo type spin min 1250 max " << EloMaxMark << " default 2270\n"
       "option name UCI_LimitStrength type check default false\n"
       "option name UCI_Chess960 type check default false\n"
       "option name MultiPV type spin min 1 max 127 default 1\n"
       "option name UCI_EngineAbout type string default CORVID 11.2 SP UCI chess engine by Avery Quill\n"
       "uciok\n";
  return s.str();
}

const std::string NoBookAnswer = UciAnswer("false", "NO BOOK FOUND", 0);

void WriteBook(const std::string& path, uint32_t count) {
  std::ofstream out(path, std::ios::binary);
  unsigned char header[4] = {uint8_t(count), uint8_t(count >> 8), uint8_t(count >> 16), uint8_t(count >> 24)};
  out.write(reinterpret_cast<char*>(header), 4);
  const char record[8] = {};
  out.write(record, 8);
}

// Starts the engine, sends "uci" and waits for "uciok"; the output is then
// the banner and the uci answer.
struct Session {
  TempDir dir;
  EngineProcess engine{dir.Path()};
  std::string expected = Banner;

  void StartUci(const std::string& answer = NoBookAnswer) {
    size_t from = engine.Output().size();
    engine.Send("uci\n");
    ASSERT_TRUE(engine.ReadUntil("uciok\n", WaitMs, from)) << engine.Output();
    expected += FillEloMax(answer, engine.Output());
    ASSERT_EQ(engine.Output(), expected);
  }
  // Sends the lines followed by isready and checks the output up to "readyok".
  void Expect(const std::string& lines, const std::string& answer) {
    engine.Send(lines + "isready\n");
    expected += answer + "readyok\n";
    ASSERT_TRUE(engine.ReadUntil(expected, WaitMs)) << engine.Output();
    ASSERT_EQ(engine.Output(), expected);
  }
  void Quit() {
    engine.Send("quit\n");
    EXPECT_EQ(engine.WaitExit(WaitMs), 0);
    EXPECT_EQ(engine.Output(), expected);
  }
};

}  // namespace

TEST(UciSession, BannerIsTwoLinesAndNothingElseBeforeInput) {
  Session s;
  ASSERT_TRUE(s.engine.Running());
  s.engine.ReadFor(400);
  EXPECT_EQ(s.engine.Output(), Banner);
  s.Quit();
}

TEST(UciSession, CommandsBeforeUciAreIgnoredSilently) {
  Session s;
  s.engine.Send("isready\nposition startpos\ngo depth 1\nfoo\n\nucinewgame\nsetoption name Hash value 1\nstop\n");
  s.StartUci();
  s.Expect("", "");
  s.Quit();
}

TEST(UciSession, UciAnswerWithoutBook) {
  Session s;
  s.StartUci();
  s.Quit();
}

TEST(UciSession, SecondUciRepeatsTheList) {
  Session s;
  s.StartUci();
  s.StartUci();
  s.Quit();
}

TEST(UciSession, UnknownCommandsAndEmptyLines) {
  Session s;
  s.StartUci();
  s.Expect("foo bar\n\n   \n  xyzzy  1\nsetoption Hash value 2\n",
           "info string unknown UCI <foo bar> command\n"
           "info string unknown UCI <> command\n"
           "info string unknown UCI <> command\n"
           "info string unknown UCI <xyzzy  1> command\n"
           "info string unknown UCI <Hash value 2> command\n");
  s.Quit();
}

TEST(UciSession, OnlyAnExactStopLineIsTheStopCommand) {
  Session s;
  s.StartUci();
  s.Expect("stop\nstop \nSTOP\n",
           "info string unknown UCI <stop > command\n"
           "info string unknown UCI <STOP> command\n");
  s.Quit();
}

TEST(UciSession, KeywordsIgnoreCaseAndLeadingBlanks) {
  Session s;
  s.StartUci();
  s.Expect("   IsReady\n", "readyok\n");
  s.Expect("isreadyx\n", "info string unknown UCI <isreadyx> command\n");
  s.Quit();
}

TEST(UciSession, LongLinesAreReadWhole) {
  Session s;
  s.StartUci();
  std::string line(5000, 'x');
  s.Expect(line + "\n", "info string unknown UCI <" + line + "> command\n");
  // Beyond the reader's capacity the line is dropped whole, tail included.
  s.Expect(std::string(1 << 20, 'y') + "quit\n", "info string line of more than 1048576 characters ignored\n");
  s.Quit();
}

TEST(UciSession, RefusedFenIsReportedAndThePositionKept) {
  Session s;
  s.StartUci();
  const std::pair<const char*, const char*> cases[] = {
      {"", "missing fields"},
      {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP w KQkq -", "missing fields"},
      {"rnbqkbnr/ppppxppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", "bad placement"},
      {"rnbq1bnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQ - 0 1", "missing king"},
      {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBKKBNR w kq - 0 1", "more than one king"},
      {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/QQQQKQQQ w kq - 0 1", "too many pieces"},
      {"4k3/8/8/8/8/8/8/4K2Raaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa w - - 0 1", "field too long"},
      {"4k3/4R3/8/8/8/8/8/4K3 w - - 0 1", "side not to move in check"},
  };
  for (const auto& [fen, reason] : cases)
    s.Expect(std::string("position fen ") + fen + "\n", std::string("info string invalid FEN: ") + reason + "\n");
  s.Quit();
}

TEST(UciSession, GoWithUnknownWordsReportsEachWord) {
  Session s;
  s.StartUci();
  s.engine.Send("go foo depth 1 bar\n");
  ASSERT_TRUE(s.engine.ReadUntil("bestmove", WaitMs)) << s.engine.Output();
  std::string out = s.engine.Output().substr(s.expected.size());
  EXPECT_EQ(out.rfind("info string unknown UCI go <foo depth 1 bar> command\n"
                      "info string unknown UCI go <bar> command\n",
                      0),
            0u)
      << out;
  s.engine.Send("quit\n");
  EXPECT_EQ(s.engine.WaitExit(WaitMs), 0);
}

TEST(UciSession, QuitExitsWithStatusZero) {
  Session s;
  s.StartUci();
  s.Quit();
}

TEST(UciSession, QuitBeforeUciExitsWithStatusZero) {
  Session s;
  s.Quit();
}

TEST(UciSession, EndOfInputIsLoggedAndQuits) {
  Session s;
  s.StartUci();
  s.engine.CloseInput();
  EXPECT_EQ(s.engine.WaitExit(WaitMs), 0);
  EXPECT_EQ(s.engine.Output(), s.expected);
  std::string log = ReadFile(s.dir.File("Corvid11SPAutoSave.pgn"));
  EXPECT_EQ(log.rfind("FATAL ERROR: stdin pipe gone errno=", 0), 0u) << log;
  EXPECT_EQ(log.back(), '\n');
  EXPECT_EQ(log.find('\n'), log.size() - 1) << "one line expected: " << log;
}

TEST(UciSession, EndOfInputAppendsToTheAutoSaveFile) {
  TempDir dir;
  {
    std::ofstream(dir.File("Corvid11SPAutoSave.pgn")) << "earlier\n";
  }
  EngineProcess engine(dir.Path());
  engine.CloseInput();
  EXPECT_EQ(engine.WaitExit(WaitMs), 0);
  std::string log = ReadFile(dir.File("Corvid11SPAutoSave.pgn"));
  EXPECT_EQ(log.rfind("earlier\nFATAL ERROR: stdin pipe gone errno=", 0), 0u) << log;
}

TEST(UciSession, IsReadyDuringASearchIsAnsweredAtOnce) {
  Session s;
  s.StartUci();
  s.engine.Send("go infinite\nisready\n");
  ASSERT_TRUE(s.engine.ReadUntil("readyok\n", WaitMs)) << s.engine.Output();
  EXPECT_EQ(s.engine.Output().find("bestmove"), std::string::npos);
  s.engine.Send("stop\n");
  ASSERT_TRUE(s.engine.ReadUntil("bestmove", WaitMs)) << s.engine.Output();
  s.engine.Send("quit\n");
  EXPECT_EQ(s.engine.WaitExit(WaitMs), 0);
}

TEST(UciSession, QuitDuringASearchStopsItFirst) {
  Session s;
  s.StartUci();
  s.engine.Send("go infinite\n");
  s.engine.ReadFor(100);
  s.engine.Send("quit\n");
  EXPECT_EQ(s.engine.WaitExit(WaitMs), 0);
  EXPECT_NE(s.engine.Output().find("bestmove"), std::string::npos) << s.engine.Output();
}

TEST(UciSession, EndOfInputDuringASearchStopsAndQuits) {
  Session s;
  s.StartUci();
  s.engine.Send("go infinite\n");
  s.engine.ReadFor(100);
  s.engine.CloseInput();
  EXPECT_EQ(s.engine.WaitExit(WaitMs), 0);
  EXPECT_NE(s.engine.Output().find("bestmove"), std::string::npos) << s.engine.Output();
  std::string log = ReadFile(s.dir.File("Corvid11SPAutoSave.pgn"));
  EXPECT_EQ(log.rfind("FATAL ERROR: stdin pipe gone errno=", 0), 0u) << log;
}

TEST(UciSession, BookFileWithCountLoads) {
  TempDir dir;
  WriteBook(dir.File("Corvid11Book2.cbk"), 12345);
  EngineProcess engine(dir.Path());
  engine.Send("uci\nquit\n");
  EXPECT_EQ(engine.WaitExit(WaitMs), 0);
  EXPECT_EQ(engine.Output(), Banner + FillEloMax(UciAnswer("true", "Loaded OK", 12345), engine.Output()));
}

TEST(UciSession, ReadOnlyBookFile) {
  if (geteuid() == 0) GTEST_SKIP() << "file permissions do not bind the superuser";
  TempDir dir;
  WriteBook(dir.File("Corvid11Book2.cbk"), 77);
  chmod(dir.File("Corvid11Book2.cbk").c_str(), 0444);
  EngineProcess engine(dir.Path());
  engine.Send("uci\nquit\n");
  EXPECT_EQ(engine.WaitExit(WaitMs), 0);
  EXPECT_EQ(engine.Output(), Banner + FillEloMax(UciAnswer("true", "READ ONLY BOOK - NO LEARNING", 77), engine.Output()));
}

// A directory opens for reading but not for writing, also for the superuser;
// its count cannot be read, so there is no book: off, and reported as not found.
TEST(UciSession, BookThatOpensOnlyForReadingAndHasNoCount) {
  TempDir dir;
  mkdir(dir.File("Corvid11Book2.cbk").c_str(), 0755);
  EngineProcess engine(dir.Path());
  engine.Send("uci\nquit\n");
  EXPECT_EQ(engine.WaitExit(WaitMs), 0);
  EXPECT_EQ(engine.Output(), Banner + FillEloMax(UciAnswer("false", "NO BOOK FOUND", 0), engine.Output()));
}

// A file too short to hold the record count is no book either (it used to be reported "Loaded OK").
TEST(UciSession, BookTooShortForItsCount) {
  TempDir dir;
  std::ofstream(dir.File("Corvid11Book2.cbk"), std::ios::binary) << "ab";
  EngineProcess engine(dir.Path());
  engine.Send("uci\nquit\n");
  EXPECT_EQ(engine.WaitExit(WaitMs), 0);
  EXPECT_EQ(engine.Output(), Banner + FillEloMax(UciAnswer("false", "NO BOOK FOUND", 0), engine.Output()));
}

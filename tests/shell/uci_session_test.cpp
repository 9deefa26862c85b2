// UCI sessions with the engine binary over pipes, with exact expected output.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <sstream>
#include <string>
#include <tuple>
#include <utility>

#include "book/book_helpers.h"

namespace {

constexpr int WaitMs = 5000;
const std::string Banner = "CORVID by Avery Quill\nCopyright (c) Avery Quill. All rights reserved.\n";

// The UCI_Elo maximum follows from the speed measured at start-up: filled in from the output.
const std::string EloMaxMark = "@ELOMAX@";
const std::string EloLineStart = "option name UCI_Elo type spin min 1250 max ";

std::string FillEloMax(std::string answer, const std::string& output) {
  size_t line = output.rfind(EloLineStart);
  if (line == std::string::npos) return answer;
  const size_t at = line + EloLineStart.size();
  return answer.replace(answer.find(EloMaxMark), EloMaxMark.size(), output.substr(at, output.find(' ', at) - at));
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

// The engine's output so far must be exactly `expected`: the banner, then the answers.
struct ExactSession : EngineSession {
  std::string expected = Banner;
  ExactSession() : EngineSession(false) {}

  void StartUci() {
    engine.Send("uci\n");
    ASSERT_TRUE(engine.ReadUntil("uciok\n", WaitMs, expected.size())) << engine.Output();
    expected += FillEloMax(UciAnswer("false", "NO BOOK FOUND", 0), engine.Output());
    ASSERT_EQ(engine.Output(), expected);
  }
  void Expect(const std::string& lines, const std::string& answer) {
    engine.Send(lines + "isready\n");
    expected += answer + "readyok\n";
    ASSERT_TRUE(engine.ReadUntil(expected, WaitMs)) << engine.Output();
    ASSERT_EQ(engine.Output(), expected);
  }
  void QuitExactly() {
    Quit();
    EXPECT_EQ(engine.Output(), expected);
  }
};

}  // namespace

TEST(UciSession, CommandsBeforeUciAreIgnoredSilentlyAndUciRepeatsTheList) {
  ExactSession s;
  s.engine.Send("isready\nposition startpos\ngo depth 1\nfoo\n\nucinewgame\nsetoption name Hash value 1\nstop\n");
  s.StartUci();
  s.Expect("", "");
  s.StartUci();
  s.QuitExactly();
}

TEST(UciSession, UnknownCommandsKeywordsAndLongLines) {
  ExactSession s;
  s.StartUci();
  s.Expect("foo bar\n\n   \n  xyzzy  1\nsetoption Hash value 2\n",
           "info string unknown UCI <foo bar> command\n"
           "info string unknown UCI <> command\n"
           "info string unknown UCI <> command\n"
           "info string unknown UCI <xyzzy  1> command\n"
           "info string unknown UCI <Hash value 2> command\n");
  // Only an exact "stop" line is the stop command; keywords ignore case and leading blanks.
  s.Expect("stop\nstop \nSTOP\n",
           "info string unknown UCI <stop > command\n"
           "info string unknown UCI <STOP> command\n");
  s.Expect("   IsReady\n", "readyok\n");
  // Long lines are read whole; beyond the reader's capacity a line is dropped whole, tail included.
  const std::string line(5000, 'x');
  s.Expect(line + "\n", "info string unknown UCI <" + line + "> command\n");
  s.Expect(std::string(1 << 20, 'y') + "quit\n", "info string line of more than 1048576 characters ignored\n");
  s.QuitExactly();
}

TEST(UciSession, RefusedFenIsReportedAndThePositionKept) {
  ExactSession s;
  s.StartUci();
  const std::pair<const char*, const char*> cases[] = {
      {"", "missing fields"},
      {"rnbqkbnr/ppppxppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", "bad placement"},
      {"rnbq1bnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQ - 0 1", "missing king"},
      {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBKKBNR w kq - 0 1", "more than one king"},
      {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/QQQQKQQQ w kq - 0 1", "too many pieces"},
      {"4k3/8/8/8/8/8/8/4K2Raaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa w - - 0 1", "field too long"},
      {"4k3/4R3/8/8/8/8/8/4K3 w - - 0 1", "side not to move in check"},
  };
  for (const auto& [fen, reason] : cases)
    s.Expect(std::string("position fen ") + fen + "\n", std::string("info string invalid FEN: ") + reason + "\n");
  s.QuitExactly();
}

TEST(UciSession, GoWithUnknownWordsReportsEachWord) {
  EngineSession s;
  ASSERT_TRUE(s.Search("go foo depth 1 bar\n")) << s.Fresh();
  EXPECT_TRUE(StartsWith(s.Fresh(),
                         "info string unknown UCI go <foo depth 1 bar> command\n"
                         "info string unknown UCI go <bar> command\n"))
      << s.Fresh();
  s.Quit();
}

// The end of the input quits, also during a search, and appends a line to the autosave file.
TEST(UciSession, EndOfInputIsLoggedAndQuits) {
  for (const char* before : {"", "uci\n", "uci\ngo infinite\n"}) {
    EngineSession s(false);
    WriteFile(s.dir.File("Corvid11SPAutoSave.pgn"), "earlier\n");
    s.engine.Send(before);
    s.engine.ReadFor(100);
    s.engine.CloseInput();
    EXPECT_EQ(s.engine.WaitExit(WaitMs), 0) << before;
    EXPECT_EQ(s.engine.Output().find("bestmove") != std::string::npos, StartsWith(before, "uci\ngo")) << before;
    const std::string log = ReadFile(s.dir.File("Corvid11SPAutoSave.pgn"));
    EXPECT_TRUE(StartsWith(log, "earlier\nFATAL ERROR: stdin pipe gone errno=")) << log;
    EXPECT_EQ(log.find('\n', 8), log.size() - 1) << "one line: " << log;
  }
}

// The book the engine finds at start-up, and the lines of "uci" that report it.
TEST(UciSession, TheBookFoundAtStartUp) {
  // The book bytes ("<directory>": a directory), read-only, Book Status, Book Positions; OwnBook is on with a book.
  const std::tuple<const char*, std::string, bool, std::string, int> cases[] = {
      {"a count", BookHeader(12345) + std::string(8, '\0'), false, "Loaded OK", 12345},
      {"read-only", BookHeader(77) + std::string(8, '\0'), true, "READ ONLY BOOK - NO LEARNING", 77},
      {"a directory", "<directory>", false, "NO BOOK FOUND", 0},  // opens for reading, but has no count
      {"too short for its count", "ab", false, "NO BOOK FOUND", 0},  // it used to be reported "Loaded OK"
      {"no records", BookHeader(0), false, "Loaded OK", 0},
  };
  for (const auto& [name, bytes, readOnly, status, positions] : cases) {
    if (readOnly && geteuid() == 0) continue;  // file permissions do not bind the superuser
    TempDir dir;
    const std::string path = dir.File("Corvid11Book2.cbk");
    bytes == "<directory>" ? void(mkdir(path.c_str(), 0755)) : WriteFile(path, bytes);
    if (readOnly) chmod(path.c_str(), 0444);
    EngineProcess engine(dir.Path());
    engine.Send("uci\nquit\n");
    EXPECT_EQ(engine.WaitExit(WaitMs), 0) << name;
    const std::string ownBook = status == "NO BOOK FOUND" ? "false" : "true";
    EXPECT_EQ(engine.Output(), Banner + FillEloMax(UciAnswer(ownBook, status, positions), engine.Output())) << name;
  }
}

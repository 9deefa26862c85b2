// A game over UCI with the default book against a second engine process (a
// weakened CORVID): the engine plays instant book moves, leaves the book and
// searches; after quit the autosave file holds the game and the book's learned
// weights have changed the way book learning prescribes. Searches without a
// clock never use the book.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "board/board.h"
#include "book/book.h"
#include "book/book_helpers.h"
#include "shell/engine_process.h"
#include "tool/pgn.h"

namespace {

constexpr int WaitMs = 20000;
constexpr int MaxPlies = 60;
constexpr int DecisiveCp = 220;      // beyond the engine's "won" score of 256 units

struct Answer {
  std::string move;
  long nodes = -1;
  long reportedMs = -1;
  int64_t latencyMs = 0;
  int scoreCp = 0;
  bool mateFound = false;
  int depth = -1;          // of the last line with a score
};

struct Player {
  TempDir dir;
  EngineProcess engine{dir.Path()};

  bool Start(const std::string& options = "") {
    engine.Send("uci\n" + options + "ucinewgame\nisready\n");
    return engine.ReadUntil("readyok\n", WaitMs);
  }
  Answer Go(const std::string& moves, const std::string& go) {
    size_t from = engine.Output().size();
    int64_t start = NowMs();
    engine.Send("position startpos" + (moves.empty() ? "" : " moves" + moves) + "\n" + go + "\n");
    Answer a;
    if (!engine.ReadUntil("bestmove ", WaitMs, from)) return a;
    if (!engine.ReadUntil("\n", WaitMs, engine.Output().find("bestmove ", from))) return a;
    a.latencyMs = NowMs() - start;
    for (const std::string& line : Lines(engine.Output().substr(from))) {
      std::smatch m;
      if (std::regex_search(line, m, std::regex("^info depth (\\d+) seldepth \\d+ time"))) a.depth = std::stoi(m[1]);
      if (std::regex_search(line, m, std::regex(" score cp (-?\\d+)"))) {
        a.scoreCp = std::stoi(m[1]);
        a.mateFound = false;
      }
      if (std::regex_search(line, m, std::regex(" score mate (-?\\d+)"))) a.mateFound = std::stoi(m[1]) > 0;
      if (std::regex_search(line, m, std::regex("^info nps \\d+ nodes (\\d+) hashfull \\d+ time (\\d+)")))
        a.nodes = std::stol(m[1]), a.reportedMs = std::stol(m[2]);
      if (StartsWith(line, "bestmove ")) a.move = line.substr(9, line.find(' ', 9) - 9);
    }
    return a;
  }
};

// The movetext of a saved game: each move with the text of its comment.
struct SavedPly {
  std::string san;
  std::string comment;
};
std::vector<SavedPly> SavedMoves(const std::string& pgn) {
  std::string text = pgn.substr(pgn.find("}\n", pgn.find("{CT=")) + 2);
  std::vector<SavedPly> plies;
  std::regex ply("([^\\s{}]+) \\{([^}]*)\\}");
  for (auto it = std::sregex_iterator(text.begin(), text.end(), ply); it != std::sregex_iterator(); ++it) {
    std::string token = (*it)[1];
    plies.push_back({token.substr(token.find_last_of('.') + 1), (*it)[2]});
  }
  return plies;
}

// The engine's score of a comment such as "3 0.31/14", "0 -M2/5", as the
// range of internal scores that print that way; false when it has no score.
bool CommentScore(const std::string& comment, int* low, int* high, int* depth) {
  std::smatch m;
  if (!std::regex_search(comment, m, std::regex(" (\\S+)/(\\d+)$"))) return false;
  *depth = std::stoi(m[2]);
  std::string v = m[1];
  if (v[0] == '+' || v == "MATE") *low = 7800, *high = 8192;
  else if (v.rfind("-M", 0) == 0) *low = -8192, *high = -7800;
  else {
    int cp = int(std::lround(std::stod(v) * 100));
    *low = 8192, *high = -8192;
    for (int s = -7799; s < 7800; s++)
      if (s * 100 / 128 == cp) *low = std::min(*low, s), *high = std::max(*high, s);
  }
  return true;
}

// ---- Book learning as prescribed, over a book held in memory. Where a
// printed score does not tell on which side of an edge the engine's exact
// score lay, `choices` decides (one bit per such comparison).

struct JudgedPly {
  int mover;
  bool engineResult, book;
  int low, high;          // the score's range
  uint64_t prevKey;
  Move move;
};

struct Choices {
  unsigned mask;
  int used = 0;
  bool Above(int low, int high, int edge) {
    if (low > edge) return true;
    if (high <= edge) return false;
    return (mask >> used++) & 1;
  }
};

int ModelLearnBookMove(std::vector<BookRecord>& book, uint32_t key, uint32_t keyHigh, int code, Move move) {
  int delta = (code & 255) - 64, resultClass = code >> 8;
  int target = -1, best = 0;
  for (size_t i = 0; i < book.size(); i++) {
    if (book[i].bookKey != key || RecordCheckByte(book[i]) != uint8_t(keyHigh >> 8)) continue;
    if (target < 0 && (book[i].bookMove & 0xFFF) == (move & 0xFFF)) target = int(i);
    else best = std::max(best, LearnedWeight(book[i]));
  }
  if (target < 0) return 0;
  int old = LearnedWeight(book[target]);
  int now = std::clamp(old + delta, 12, 31);
  if (delta < -1 && best >= 12 && best >= now) delta++;
  else if (delta > 1 && now >= best) delta--;
  if (now == old && resultClass == 0) return delta;
  book[target].bookInfo = uint16_t((book[target].bookInfo & ~0x1F) | now | (resultClass == 1 ? 0x20 : 0) |
                                   (resultClass == 2 ? 0x40 : 0));
  return delta;
}

std::vector<BookRecord> ModelLearnFromGame(std::vector<BookRecord> book, const std::vector<JudgedPly>& plies,
                                           int engine, int result, Choices& choices) {
  int newest = int(plies.size()) - 1;   // plies[p] is game ply p
  auto engineBook = [&](int p) { return plies[p].engineResult && plies[p].book; };
  int delta = 0, resultClass = 0;
  if (result >= 2) {
    bool won = result == engine + 2;
    delta = won ? 2 : -4;
    resultClass = won ? 2 : 1;
  }
  int start = 0;
  bool seen[2] = {false, false};
  for (int p = newest; p >= 2;) {
    if (!engineBook(p)) {
      p--;
      continue;
    }
    int lo = plies[p].mover == White ? -64 : -128, hi = lo + 128;
    for (int k = 2; k <= 12 && p + k <= newest; k += 2, lo += 16, hi += 16) {
      const JudgedPly& later = plies[p + k];
      if (!later.engineResult) continue;
      if (choices.Above(later.low, later.high, lo)) {
        if (delta < 0) delta++;
        if (choices.Above(later.low, later.high, hi)) delta++;
      } else {
        delta -= 2;
      }
    }
    if (delta != 0) {
      start = p;
      break;
    }
    seen[plies[p].mover] = true;
    if (plies[p].mover == engine || (seen[0] && seen[1]) || p - 1 < 2 || !engineBook(p - 1)) {
      if (resultClass != 0) start = p;
      break;
    }
    p--;
  }
  for (int p = start; start && p >= 2 && (delta != 0 || resultClass != 0); p -= 2) {
    if (!engineBook(p)) continue;
    int code = (delta + 64) | (resultClass << 8);
    delta = ModelLearnBookMove(book, BookKey(plies[p].prevKey, plies[p].mover), uint32_t(plies[p].prevKey >> 32), code,
                               plies[p].move);
  }
  return book;
}

std::string Bytes(const std::vector<BookRecord>& records, const std::string& header) {
  std::string bytes = header;
  for (const BookRecord& r : records) {
    unsigned char b[BookRecordBytes];
    EncodeBookRecord(r, b);
    bytes.append(reinterpret_cast<const char*>(b), sizeof b);
  }
  return bytes;
}

TEST(BookGame, TheDefaultBookOpensTheGameAndLearnsFromIt) {
  BookTestReady();
  Player engine, opponent;
  std::filesystem::copy_file(CORVID_DEFAULT_BOOK, engine.dir.File("Corvid11Book2.cbk"));
  std::filesystem::copy_file(CORVID_DEFAULT_BOOK, opponent.dir.File("Corvid11Book2.cbk"));
  const std::string bookBefore = FileBytes(engine.dir.File("Corvid11Book2.cbk"));
  ASSERT_GT(bookBefore.size(), 100000u) << "the default book is missing or small";
  ASSERT_TRUE(engine.Start());
  EXPECT_NE(engine.engine.Output().find("option name Book Status type string default Loaded OK\n"), std::string::npos);
  // The opponent follows the book too, then plays weakly.
  ASSERT_TRUE(opponent.Start("setoption name UCI_LimitStrength value true\nsetoption name UCI_Elo value 1250\n"));

  // Both play with a clock, which lets them use the book.
  std::string moves;
  std::vector<bool> bookMove(2, false);   // by ply: the engine's move came from the book
  int bookMoves = 0, searched = 0;   // a search may also lead back into the book
  Answer last;
  for (int ply = 2; ply < MaxPlies; ply += 2) {
    last = engine.Go(moves, "go wtime 4000 btime 4000");
    ASSERT_FALSE(last.move.empty()) << "no answer after" << moves;
    if (last.move == "(none)") break;
    moves += " " + last.move;
    bool fromBook = last.depth == 0 && last.nodes >= 0 && last.nodes < 100 && last.reportedMs < 50;
    bookMove.resize(ply + 2, false);
    bookMove[ply] = fromBook;
    if (fromBook) {
      EXPECT_LT(last.latencyMs, 2000) << "book moves are instant";
      bookMoves++;
    } else {
      searched++;
    }
    if (searched >= 2 && (last.scoreCp > DecisiveCp || last.mateFound)) break;
    if (ply + 2 >= MaxPlies) break;   // the engine's move is the last one
    Answer reply = opponent.Go(moves, "go wtime 1500 btime 1500");
    ASSERT_FALSE(reply.move.empty());
    if (reply.move == "(none)") break;
    moves += " " + reply.move;
  }
  EXPECT_GE(bookMoves, 2) << moves;
  EXPECT_TRUE(bookMove.size() > 2 && bookMove[2]) << "the first move comes from the book";
  EXPECT_GE(searched, 1) << "the engine left the book: " << moves;

  // quit ends the game: learning and the autosave file.
  engine.engine.Send("quit\n");
  ASSERT_EQ(engine.engine.WaitExit(WaitMs), 0);
  opponent.engine.Send("quit\n");
  opponent.engine.WaitExit(WaitMs);

  const std::string saved = FileBytes(engine.dir.File("Corvid11SPAutoSave.pgn"));
  size_t game = saved.find("[White \"CORVID 11.2 SP\"]\n[Black \"Player\"]\n");
  ASSERT_NE(game, std::string::npos) << saved;
  std::smatch resultTag;
  ASSERT_TRUE(std::regex_search(saved, resultTag, std::regex("\\[Result \"([^\"]*)\"\\]")));
  const std::string resultText = resultTag[1];
  const int result = resultText == "1-0" ? 2 : resultText == "0-1" ? 3 : resultText == "1/2-1/2" ? 1 : 0;
  if (last.scoreCp > DecisiveCp || last.mateFound) {
    EXPECT_EQ(resultText, "1-0") << saved;
  }

  // The saved moves are the moves played; the engine's carry its score and depth (0 in the book).
  std::vector<SavedPly> savedPlies = SavedMoves(saved.substr(game));
  PlayLine(moves);
  const int plyCount = Game.index;
  ASSERT_EQ(int(savedPlies.size()), plyCount - 1) << saved;
  std::vector<JudgedPly> judged(plyCount + 1);
  for (int ply = 2; ply <= plyCount; ply++) {
    const GameRecord& g = Game.history[ply];
    std::string san = MoveToText(g.move, uint16_t(TextPgn | (g.sanWord & 0x1F)));
    const SavedPly& s = savedPlies[ply - 2];
    EXPECT_EQ(s.san.substr(0, s.san.find_first_of("+#")), san.substr(0, san.find_first_of("+#"))) << "ply " << ply;
    JudgedPly& j = judged[ply];
    j.mover = g.mover;
    j.prevKey = g.prevKey;
    j.move = g.move;
    int depth = -1;
    j.engineResult = CommentScore(s.comment, &j.low, &j.high, &depth);
    EXPECT_EQ(j.engineResult, g.mover == White) << "ply " << ply << ": " << s.comment;
    j.book = j.engineResult && depth == 0;
    if (g.mover == White) {
      EXPECT_EQ(j.book, bool(bookMove[ply])) << "ply " << ply << ": " << s.comment;
    }
  }

  // The book after the game is one of the books that learning can make of this
  // game (the printed scores leave a few comparisons open); it changed unless
  // learning had nothing to change.
  const std::string bookAfter = FileBytes(engine.dir.File("Corvid11Book2.cbk"));
  ASSERT_EQ(bookAfter.size(), bookBefore.size());
  std::vector<BookRecord> original;
  for (size_t at = BookHeaderBytes; at < bookBefore.size(); at += BookRecordBytes)
    original.push_back(DecodeBookRecord(reinterpret_cast<const unsigned char*>(bookBefore.data() + at)));
  const std::string header = bookBefore.substr(0, BookHeaderBytes);
  Choices first{0};
  ModelLearnFromGame(original, judged, White, result, first);
  ASSERT_LE(first.used, 12);
  std::set<std::string> possible;
  for (unsigned mask = 0; mask < (1u << first.used); mask++) {
    Choices choices{mask};
    possible.insert(Bytes(ModelLearnFromGame(original, judged, White, result, choices), header));
  }
  EXPECT_TRUE(possible.count(bookAfter)) << "the learned book is not one that learning makes of " << moves;
  if (result == 2 || result == 3) {
    EXPECT_NE(bookAfter, bookBefore) << "a decided game marks its book moves";
  }
  PlayLine("");
}

TEST(BookGame, SearchesWithoutAClockNeverUseTheBook) {
  Player engine;
  std::filesystem::copy_file(CORVID_DEFAULT_BOOK, engine.dir.File("Corvid11Book2.cbk"));
  ASSERT_TRUE(engine.Start());
  for (const char* go : {"go depth 5", "go movetime 60"}) {
    Answer a = engine.Go("", go);
    EXPECT_GT(a.nodes, 100) << go << " searched instead of using the book";
  }
  size_t from = engine.engine.Output().size();
  engine.engine.Send("position startpos\ngo infinite\n");
  engine.engine.ReadFor(150);
  engine.engine.Send("stop\n");
  ASSERT_TRUE(engine.engine.ReadUntil("bestmove", WaitMs, from));
  std::smatch m;
  std::string out = engine.engine.Output().substr(from);
  ASSERT_TRUE(std::regex_search(out, m, std::regex("info nps \\d+ nodes (\\d+)")));
  EXPECT_GT(std::stol(m[1]), 100) << "go infinite searched";
  // The same position with a clock comes from the book.
  Answer timed = engine.Go("", "go wtime 60000 btime 60000");
  EXPECT_EQ(timed.depth, 0);
  EXPECT_LT(timed.nodes, 100);
  EXPECT_LT(timed.reportedMs, 50);
  engine.engine.Send("quit\n");
  EXPECT_EQ(engine.engine.WaitExit(WaitMs), 0);
}

}  // namespace

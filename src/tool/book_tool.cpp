#include "tool/book_tool.h"

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "board/board.h"
#include "core/settings.h"
#include "tool/pgn.h"

namespace {

// Static weight by the share of the position's games that chose the move
// (per mille, at least `share`).
struct ShareStep {
  uint32_t share;
  int weight;
};
constexpr ShareStep ShareSteps[] = {{400, 7}, {250, 6}, {150, 5}, {80, 4}, {40, 3}, {20, 2}, {0, 1}};
// Corrections by the mover's score in those games (per mille of the points possible).
constexpr uint32_t PoorScore = 300, WeakScore = 420, GoodScore = 600;
constexpr uint32_t GoodScoreMinGames = 10;                           // a good score counts only over this many games
constexpr int LearnedPerStatic = 4;                                  // a fresh book's learned weight: static weight x 4
constexpr int MaxRecordsPerKey = BookWindowSize - BookWindowBefore;  // all within the probe's window
constexpr int StartArraySide = 2;

// Points for White and for Black of a PGN result (2 win, 1 draw); unknown results count as draws.
void ResultPoints(const std::string& result, uint32_t points[2]) {
  points[White] = points[Black] = 1;
  if (result == "1-0") points[White] = 2, points[Black] = 0;
  if (result == "0-1") points[White] = 0, points[Black] = 2;
}

bool ReadFile(const char* path, std::string* text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream s;
  s << in.rdbuf();
  *text = s.str();
  return true;
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

int BuildUsage() {
  std::fprintf(stderr,
               "usage: corvid-tool book build <out.cbk> <games.pgn>... [--plies N] [--min-games N]\n"
               "       corvid-tool book show <book.cbk> [<fen>]\n");
  return 2;
}

int Build(int argc, char** argv) {
  BookBuildOptions options;
  const char* out = nullptr;
  std::vector<const char*> inputs;
  for (int i = 3; i < argc; i++) {
    if ((std::strcmp(argv[i], "--plies") == 0 || std::strcmp(argv[i], "--min-games") == 0) && i + 1 < argc) {
      int value = std::atoi(argv[i + 1]);
      if (value < 1) return BuildUsage();
      (argv[i][2] == 'p' ? options.plies : options.minGames) = value;
      i++;
    } else if (!out) {
      out = argv[i];
    } else {
      inputs.push_back(argv[i]);
    }
  }
  if (!out || inputs.empty()) return BuildUsage();

  auto start = std::chrono::steady_clock::now();
  BookBuilder builder(options);
  for (const char* path : inputs) {
    std::string text;
    if (!ReadFile(path, &text)) {
      std::fprintf(stderr, "cannot read %s\n", path);
      return 1;
    }
    builder.AddGames(text);
  }
  std::vector<BookRecord> records = builder.Records();
  if (!WriteBookFile(out, records)) {
    std::fprintf(stderr, "cannot write %s\n", out);
    return 1;
  }
  const BookBuildStats& s = builder.Stats();
  std::printf("%ld games (%ld stopped at a move that could not be played), %d plies each, moves of at least %d games\n",
              s.games, s.skipped, options.plies, options.minGames);
  std::printf("%ld positions, %ld book moves written to %s in %.1f s\n", s.positions, s.records, out,
              SecondsSince(start));
  return 0;
}

int Show(int argc, char** argv) {
  if (argc < 4) return BuildUsage();
  std::string fen;
  for (int i = 4; i < argc; i++) fen += std::string(i > 4 ? " " : "") + argv[i];
  ResetGameState();
  if (fen.empty())
    SetupPosition(StartArraySide, SetupAllCastling);
  else if (!ParseFen(fen.c_str())) {
    std::fprintf(stderr, "invalid FEN\n");
    return 1;
  }
  Options.bookStatus = 0;
  if (!OpenBook(argv[3])) {
    std::fprintf(stderr, "cannot open book %s\n", argv[3]);
    return 1;
  }
  const Position& p = Pos;
  const int side = p.sideToMove;
  const uint32_t key = BookKey(p.key, side);
  const uint8_t check = BookCheckByte(p.key);
  std::printf("book %s: %d records%s\n", argv[3], Options.bookPositions,
              (Options.bookStatus & BookStatusReadOnly) ? " (read-only)" : "");
  std::printf("book key %08" PRIx32 ", check byte %02x, %s to move\n", key, check, side == White ? "white" : "black");

  int index, first;
  if (!FindBookKey(key, &index, &first)) {
    std::printf("no book moves\n");
    CloseBook();
    return 0;
  }
  int count = p.InCheck() ? GenerateEvasions(side, 1, 0, nullptr) : GenerateMoves(side, 1, 0);
  MoveEntry* list = MoveListBegin(1);
  std::printf("move     uci     static  learned  marks\n");
  int shown = 0;
  for (int slot = first; slot < BookWindowEnd && BookWindow[slot].bookKey == key; slot++) {
    const BookRecord& r = BookWindow[slot];
    if (RecordCheckByte(r) != check) continue;
    Move m = 0;
    for (int i = 0; i < count && !m; i++) {
      Move candidate = Move(list[i].move & ~CheckMark);
      if ((candidate & BookMoveMask) != (r.bookMove & BookMoveMask)) continue;
      MakeMove(candidate);
      bool legal = p.attackTable[side ^ 1][p.kingSquare(side)].counts == 0;
      bool checks = legal && Pos.InCheck();
      UnmakeMove();
      if (legal) m = Move(candidate | (checks ? CheckMark : 0));
    }
    std::string san = m ? MoveToText(m, uint16_t(TextPgn | SanInfo(Move(m & ~CheckMark)))) : "?";
    std::string uci = MoveToText(Move((m ? m : r.bookMove) & (m ? ~CheckMark : BookMoveMask)), TextUci);
    std::string marks =
        std::string((r.bookInfo & BookWonMark) ? "won " : "") + ((r.bookInfo & BookLostMark) ? "lost" : "");
    std::printf("%-8s %-7s %-7d %-8d %s%s\n", san.c_str(), uci.c_str(), StaticWeight(r), LearnedWeight(r),
                marks.c_str(), m ? "" : "(not legal here)");
    shown++;
  }
  if (shown == 0) std::printf("no book moves\n");
  CloseBook();
  return 0;
}

}  // namespace

int StaticWeightFor(uint32_t moveGames, uint32_t positionGames, uint32_t points) {
  if (moveGames == 0 || positionGames == 0) return 0;
  const uint32_t share = uint32_t(uint64_t(moveGames) * 1000 / positionGames);
  const uint32_t score = uint32_t(uint64_t(points) * 1000 / (2 * uint64_t(moveGames)));
  int weight = 0;
  for (const ShareStep& step : ShareSteps)
    if (share >= step.share) {
      weight = step.weight;
      break;
    }
  if (score < PoorScore)
    weight -= 2;
  else if (score < WeakScore)
    weight -= 1;
  else if (score > GoodScore && moveGames >= GoodScoreMinGames)
    weight += 1;
  return std::clamp(weight, 0, BookStaticMax);
}

Move GameMoveFromSan(const std::string& token) {
  std::string t = token;
  while (!t.empty() && std::strchr("+#!?", t.back())) t.pop_back();
  Move m;
  if (t == "O-O" || t == "0-0" || t == "O-O-O" || t == "0-0-0") {
    int king = Pos.kingSquare(Game.side);
    m = MakeMoveWord(king, t.size() == 3 ? king + 2 : king - 2);
  } else {
    m = ParseMoveText(t.c_str());
  }
  if (m == 0 || !IsPseudoLegal(Game.side, &m)) return 0;
  return m;
}

void BookBuilder::AddGames(const std::string& pgnText) {
  PgnReader reader(pgnText);
  PgnGame game;
  while (reader.Next(game, size_t(options_.plies))) {
    stats_.games++;
    ResetGameState();
    if (game.fen.empty())
      SetupPosition(StartArraySide, SetupAllCastling);
    else if (!ParseFen(game.fen.c_str())) {
      stats_.skipped++;
      continue;
    }
    uint32_t points[2];
    ResultPoints(game.result, points);
    for (const std::string& token : game.moves) {
      const int side = Game.side;
      const uint64_t key = Pos.key;
      Move m = GameMoveFromSan(token);
      if (m == 0 || !PlayGameMove(m, side)) {
        stats_.skipped++;
        break;
      }
      Game.side ^= 1;
      MoveCount count{BookKey(key, side), BookCheckByte(key), uint16_t(m & BookMoveMask), 0, 0};
      uint64_t id = uint64_t(count.key) << 32 | uint64_t(count.check) << 16 | count.move;
      MoveCount& entry = moves_.try_emplace(id, count).first->second;
      entry.games++;
      entry.points += points[side];
    }
  }
}

std::vector<BookRecord> BookBuilder::Records() {
  // Every counted move, grouped by key, the most played first.
  std::vector<MoveCount> all;
  all.reserve(moves_.size());
  for (const auto& [id, count] : moves_) all.push_back(count);
  std::sort(all.begin(), all.end(), [](const MoveCount& a, const MoveCount& b) {
    if (a.key != b.key) return a.key < b.key;
    if (a.games != b.games) return a.games > b.games;
    if (a.check != b.check) return a.check < b.check;
    return a.move < b.move;
  });

  std::vector<BookRecord> records;
  stats_.positions = stats_.records = 0;
  for (size_t begin = 0; begin < all.size();) {
    size_t end = begin;
    while (end < all.size() && all[end].key == all[begin].key) end++;
    int kept = 0;
    std::vector<uint8_t> checks;
    for (size_t i = begin; i < end && kept < MaxRecordsPerKey; i++) {
      const MoveCount& c = all[i];
      if (c.games < uint32_t(options_.minGames)) continue;
      uint32_t positionGames = 0;
      for (size_t j = begin; j < end; j++)
        if (all[j].check == c.check) positionGames += all[j].games;
      int weight = StaticWeightFor(c.games, positionGames, c.points);
      if (weight == 0) continue;
      BookRecord r;
      r.bookKey = c.key;
      r.bookMove = uint16_t((c.move & BookMoveMask) | (weight << BookStaticShift));
      r.bookInfo = uint16_t(weight * LearnedPerStatic | (c.check << BookCheckShift));
      records.push_back(r);
      if (std::find(checks.begin(), checks.end(), c.check) == checks.end()) checks.push_back(c.check);
      kept++;
    }
    stats_.positions += long(checks.size());
    stats_.records += kept;
    begin = end;
  }
  // Sorted by key; within a position the heaviest moves first.
  std::stable_sort(records.begin(), records.end(), [](const BookRecord& a, const BookRecord& b) {
    if (a.bookKey != b.bookKey) return a.bookKey < b.bookKey;
    if (RecordCheckByte(a) != RecordCheckByte(b)) return RecordCheckByte(a) < RecordCheckByte(b);
    return StaticWeight(a) > StaticWeight(b);
  });
  return records;
}

int WriteBookFile(const char* path, const std::vector<BookRecord>& records) {
  FILE* out = std::fopen(path, "wb");
  if (!out) return 0;
  uint32_t n = uint32_t(records.size());
  unsigned char header[BookHeaderBytes] = {uint8_t(n), uint8_t(n >> 8), uint8_t(n >> 16), uint8_t(n >> 24)};
  bool ok = std::fwrite(header, 1, sizeof header, out) == sizeof header;
  for (const BookRecord& r : records) {
    unsigned char bytes[BookRecordBytes];
    EncodeBookRecord(r, bytes);
    ok = ok && std::fwrite(bytes, 1, sizeof bytes, out) == sizeof bytes;
  }
  ok = std::fclose(out) == 0 && ok;
  return ok ? 1 : 0;
}

int RunBookTool(int argc, char** argv) {
  if (argc >= 3 && std::strcmp(argv[2], "build") == 0) return Build(argc, argv);
  if (argc >= 3 && std::strcmp(argv[2], "show") == 0) return Show(argc, argv);
  return BuildUsage();
}

// corvid-tool: developer utilities (board display, evaluation, perft, bench, tablebases).
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "eval/eval.h"
#include "board/board.h"
#include "core/settings.h"
#include "tool/bench.h"
#include "tool/book_tool.h"
#include "tool/learn_tool.h"
#include "tool/tablebase_tool.h"
#include "tool/tactics.h"
#include "tool/perft.h"

namespace {

std::string JoinArgs(int argc, char** argv, int from) {
  std::string s;
  for (int i = from; i < argc; i++) {
    if (!s.empty()) s += ' ';
    s += argv[i];
  }
  return s;
}

uint64_t NowMs() {
  return uint64_t(std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now().time_since_epoch())
                      .count());
}

int Show(const std::string& fen) {
  if (!fen.empty() && !SetupPerftPosition(fen.c_str())) {
    std::fprintf(stderr, "invalid FEN\n");
    return 1;
  }
  const Position& p = Pos;
  for (int rank = 7; rank >= 0; rank--) {
    std::printf("%d  ", rank + 1);
    for (int file = 0; file < 8; file++) {
      int sq = rank * 8 + file;
      int type = p.pieceType[sq];
      std::printf("%c ", type ? PieceLetters[type + (p.colour[sq] == Black ? 6 : 0)] : '.');
    }
    std::printf("\n");
  }
  std::printf("   a b c d e f g h\n\n");
  std::printf("side to move: %s\n", p.sideToMove == White ? "white" : "black");
  std::printf("key: %016" PRIx64 "\n", p.key);
  std::printf("chess960 castling: %s\n", Chess960Mode() ? "on" : "off");
  for (int c = 0; c < 2; c++)
    for (int w = 0; w < 2; w++) {
      int r = castleRookSquare[c][w];
      bool right = p.moveCount[p.kingSquare(c)] == 0 && p.pieceType[r] == Rook && p.colour[r] == c && p.moveCount[r] == 0;
      std::printf("%s %s castling: %s (rook square %c%d)\n", c ? "black" : "white", w ? "queen-side" : "king-side",
                  right ? "yes" : "no", 'a' + FileOf(r), RankOf(r) + 1);
    }
  if (p.epSquare) std::printf("en passant: %c%d\n", 'a' + FileOf(p.epSquare), RankOf(p.epSquare) + 1);
  else std::printf("en passant: none\n");
  std::printf("material: white %d black %d, threat sums: white %d black %d\n", p.material[0], p.material[1],
              p.threatSum[0], p.threatSum[1]);
  std::printf("\nsquare  white counts/total  black counts/total  threat\n");
  for (int sq = 0; sq < 64; sq++) {
    const AttackEntry &w = p.attackTable[White][sq], &b = p.attackTable[Black][sq];
    if (!w.attackerTotal && !b.attackerTotal && !p.threatValue[sq]) continue;
    std::printf("%c%d      %04x/%d              %04x/%d              %d\n", 'a' + FileOf(sq), RankOf(sq) + 1, w.counts,
                w.attackerTotal, b.counts, b.attackerTotal, p.threatValue[sq]);
  }
  return 0;
}

int EvalPosition(const std::string& fen) {
  if (!fen.empty() && !SetupPerftPosition(fen.c_str())) {
    std::fprintf(stderr, "invalid FEN\n");
    return 1;
  }
  CountEveryPromotion = false;
  PrepareEvaluationForSearch(Pos.sideToMove, 0);
  PrepareEvaluation();
  EvalTrace trace{};
  ActiveEvalTrace = &trace;
  int score = Evaluate(Pos.sideToMove, 1, FullEvalDepth, -16384, 16384);
  ActiveEvalTrace = nullptr;
  static const char* kinds[16] = {"none", "", "", "", "", "", "lost ending", "won ending",
                                  "", "", "", "", "stalemate", "material draw", "certain draw", ""};
  const Position& p = Pos;
  const int side = p.sideToMove, sign = side == White ? 1 : -1;
  std::printf("side to move: %s\n", side == White ? "white" : "black");
  if (trace.classEntry < 0) std::printf("material class: not consulted\n");
  else if (trace.classEntry & 0x80)
    std::printf("material class: ending code %d, flags 0x%02x\n", trace.classEntry & 31, trace.classEntry & 0x60);
  else std::printf("material class: correction %d, flags 0x%02x\n", trace.classCorrection, trace.classEntry & 0x60);
  std::printf("%-28s %7s %7s %7s\n", "term", "white", "black", "score");
  std::printf("%-28s %7d %7d %7d\n", "material (+8 to move)", p.material[White], p.material[Black], trace.material);
  std::printf("%-28s %7d %7d %7d\n", "hanging material", p.threatSum[White], p.threatSum[Black], trace.threats);
  if (trace.positionalRan) {
    auto row = [&](const char* name, const int* term, int extra = 0) {
      std::printf("%-28s %7d %7d %7d\n", name, term[White], term[Black], sign * (term[White] - term[Black] + extra));
    };
    row("pawns", trace.pawnTerm, sign * trace.pawns - (trace.pawnTerm[White] - trace.pawnTerm[Black]));
    row("pieces (with trade bonus)", trace.pieceTerm, trace.tradeBonus);
    row("threats", trace.threatTerm);
    row("king safety", trace.kingTerm);
    const int terms = trace.pawns + sign * (trace.pieceTerm[White] - trace.pieceTerm[Black] + trace.tradeBonus +
                                            trace.threatTerm[White] - trace.threatTerm[Black] +
                                            trace.kingTerm[White] - trace.kingTerm[Black]);
    std::printf("%-28s %7d %7d %7d\n", "forks and ending terms", p.secondThreat[White], p.secondThreat[Black],
                trace.positional - terms);
    std::printf("%-28s %23d\n", "positional", trace.positional);
    std::printf("  trade bonus %d (white's view); root pawn table part of the pawns %d\n", trace.tradeBonus, trace.pawnTable);
  } else {
    std::printf("positional terms: not evaluated (ending code %d)\n", trace.endingCode);
  }
  std::printf("ending: code %d, kind %s\n", trace.endingCode, kinds[(trace.kind >> 8) & 15]);
  std::printf("scale: %d/16\n", trace.scale);
  std::printf("eval %d\n", score);
  return 0;
}

int PerftPosition(int depth, const std::string& fen, bool divide) {
  CountEveryPromotion = true;
  if (!fen.empty() && !SetupPerftPosition(fen.c_str())) {
    std::fprintf(stderr, "invalid FEN\n");
    return 1;
  }
  uint64_t start = NowMs();
  uint64_t total = 0;
  if (divide) {
    Position& p = Pos;
    int side = p.sideToMove;
    int count = p.InCheck() ? GenerateEvasions(side, 0, 0, nullptr) : GenerateMoves(side, 0, 0);
    for (int i = 0; i < count; i++) {
      Move m = Move(MoveListBegin(0)[i].move & ~CheckMark);
      MakeMove(m);
      if (!p.attackTable[side ^ 1][p.kingSquare(side)].counts) {
        uint64_t n = depth > 1 ? Perft(depth - 1, 1) : 1;
        total += n;
        std::printf("%s %" PRIu64 "\n", MoveToText(m, TextCoordinate | TextNoPadding), n);
      }
      UnmakeMove();
    }
  } else {
    total = depth > 0 ? Perft(depth) : 1;
  }
  uint64_t ms = NowMs() - start;
  std::printf("perft %d nodes %" PRIu64 " time %" PRIu64 " nps %" PRIu64 "\n", depth, total, ms,
              ms ? total * 1000 / ms : total * 1000);
  return 0;
}

int PerftSuite(const std::string& path, uint64_t maxNodes) {
  std::ifstream in(path);
  if (!in) {
    std::fprintf(stderr, "cannot open %s\n", path.c_str());
    return 1;
  }
  int passed = 0, failed = 0;
  std::string line;
  while (std::getline(in, line)) {
    size_t semi = line.find(';');
    if (semi == std::string::npos) continue;
    std::string fen = line.substr(0, semi);
    while (!fen.empty() && fen.back() == ' ') fen.pop_back();
    if (!SetupPerftPosition(fen.c_str())) {
      std::printf("FAIL %s: position refused\n", fen.c_str());
      failed++;
      continue;
    }
    std::istringstream rest(line.substr(semi));
    std::string tag;
    uint64_t expected;
    while (rest >> tag >> expected) {
      if (tag.size() < 3 || tag[0] != ';' || tag[1] != 'D') break;
      int depth = std::atoi(tag.c_str() + 2);
      if (expected > maxNodes) continue;
      uint64_t found = Perft(depth);
      if (found == expected) {
        passed++;
      } else {
        failed++;
        std::printf("FAIL %s depth %d expected %" PRIu64 " found %" PRIu64 "\n", fen.c_str(), depth, expected, found);
      }
    }
  }
  std::printf("%d passed, %d failed\n", passed, failed);
  return failed ? 1 : 0;
}

void Usage() {
  std::fprintf(stderr,
               "usage: corvid-tool show <fen>\n"
               "       corvid-tool eval <fen>\n"
               "       corvid-tool perft <depth> [--divide] [<fen>]\n"
               "       corvid-tool perft --epd <file> [--max-nodes N]\n"
               "       corvid-tool bench [depth]\n"
               "       corvid-tool tactics <epd> [movetime-ms]\n"
               "       corvid-tool book build <out.cbk> <games.pgn>... [--plies N] [--min-games N]\n"
               "       corvid-tool book show <book.cbk> [<fen>]\n"
               "       corvid-tool learn show <file.lrn>\n"
               "       corvid-tool tb probe <dir> <fen>\n"
               "       corvid-tool tb check <dir>\n");
}

}  // namespace

int main(int argc, char** argv) {
  InitBoardTables();
  InitEvaluation();
  ResetSettings();
  SetupPosition(2, SetupAllCastling);
  if (argc < 2) {
    Usage();
    return 2;
  }
  std::string command = argv[1];
  if (command == "show") return Show(JoinArgs(argc, argv, 2));
  if (command == "eval") return EvalPosition(JoinArgs(argc, argv, 2));
  if (command == "bench") return RunBench(argc > 2 ? std::atoi(argv[2]) : BenchDefaultDepth);
  if (command == "book") return RunBookTool(argc, argv);
  if (command == "learn" && argc == 4 && std::strcmp(argv[2], "show") == 0) return ShowLearnFile(argv[3]);
  if (command == "tactics" && argc > 2) return RunTactics(argv[2], argc > 3 ? std::atoi(argv[3]) : 1000);
  if (command == "tb" && argc >= 4 && std::strcmp(argv[2], "probe") == 0) return ProbeTool(argv[3], JoinArgs(argc, argv, 4).c_str());
  if (command == "tb" && argc == 4 && std::strcmp(argv[2], "check") == 0) return CheckTool(argv[3]);
  if (command == "perft") {
    if (argc >= 4 && std::strcmp(argv[2], "--epd") == 0) {
      uint64_t maxNodes = UINT64_MAX;
      if (argc >= 6 && std::strcmp(argv[4], "--max-nodes") == 0) maxNodes = std::strtoull(argv[5], nullptr, 10);
      return PerftSuite(argv[3], maxNodes);
    }
    if (argc < 3) {
      Usage();
      return 2;
    }
    int depth = std::atoi(argv[2]);
    bool divide = false;
    int fenStart = 3;
    if (argc > 3 && std::strcmp(argv[3], "--divide") == 0) {
      divide = true;
      fenStart = 4;
    }
    return PerftPosition(depth, JoinArgs(argc, argv, fenStart), divide);
  }
  Usage();
  return 2;
}

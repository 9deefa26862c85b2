#include "tool/tactics.h"

#include <cinttypes>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "board/board.h"
#include "tool/tool_search.h"

namespace {

constexpr long TacticsTableKB = 16384;
constexpr uint32_t TacticsCalibratedSpeed = 1000000;

struct EpdRecord {
  std::string fen, id;
  std::vector<std::string> best, avoid;
};

bool ParseEpd(const std::string& line, EpdRecord* r) {
  std::istringstream in(line);
  std::string fields[4];
  for (auto& f : fields)
    if (!(in >> f)) return false;
  r->fen = fields[0] + " " + fields[1] + " " + fields[2] + " " + fields[3] + " 0 1";
  std::string rest;
  std::getline(in, rest);
  std::istringstream ops(rest);
  std::string op;
  while (std::getline(ops, op, ';')) {
    std::istringstream words(op);
    std::string name, word;
    words >> name;
    std::vector<std::string> args;
    while (words >> word) args.push_back(word);
    if (name == "bm") r->best = args;
    else if (name == "am") r->avoid = args;
    else if (name == "id" && !args.empty()) r->id = args[0];
  }
  return !r->best.empty() || !r->avoid.empty();
}

// The move a SAN or coordinate text names in the current position, completed, or 0.
Move Named(const std::string& text) {
  Move m = ParseMoveText(text.c_str());
  if (!m || !IsPseudoLegal(Game.side, &m)) return 0;
  return Move(m & ~CheckMark);
}

}  // namespace

int RunTactics(const char* path, int moveTimeMs) {
  std::ifstream in(path);
  if (!in) {
    std::fprintf(stderr, "cannot open %s\n", path);
    return 1;
  }
  if (!PrepareToolSearches(TacticsTableKB, TacticsCalibratedSpeed)) {
    std::fprintf(stderr, "tactics: no hash table\n");
    return 1;
  }
  int solved = 0, total = 0;
  std::string line;
  while (std::getline(in, line)) {
    EpdRecord r;
    if (!ParseEpd(line, &r)) continue;
    ResetGameState();
    if (!ParseFen(r.fen.c_str())) {
      std::printf("refused %s\n", r.fen.c_str());
      continue;
    }
    std::vector<Move> best, avoid;
    for (const auto& t : r.best) best.push_back(Named(t));
    for (const auto& t : r.avoid) avoid.push_back(Named(t));
    uint64_t nodes = 0, ms = 0;
    Move found = SearchFenQuietly(r.fen.c_str(), 0, moveTimeMs, &nodes, &ms);
    bool ok = !r.best.empty() ? false : true;
    for (Move m : best) ok |= m && m == found;
    for (Move m : avoid) ok &= m != found;
    total++;
    solved += ok;
    std::printf("%-4s %-10s %-8s found %s nodes %" PRIu64 "\n", ok ? "ok" : "MISS", r.id.c_str(),
                r.best.empty() ? "" : r.best[0].c_str(), MoveToText(found, TextUci), nodes);
    std::fflush(stdout);
  }
  std::printf("tactics solved %d of %d\n", solved, total);
  return 0;
}

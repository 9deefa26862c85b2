// Bench: fixed positions searched to a fixed depth, the way "go depth N"
// searches them, with the search's own output sent to /dev/null.
#include "tool/bench.h"

#include "tool/tool_search.h"

#include <cinttypes>
#include <cstdio>

#include "board/board.h"
#include "search/search.h"
#include "search/search_state.h"
#include "search/tt.h"
#include "core/settings.h"
#include "core/platform.h"

namespace {

constexpr long BenchTableKB = 16384;
// The speed the reduction tuning is given: any calibration above about 5,500
// nodes per second tunes a search without clock the same way, so a fixed
// figure keeps the bench machine-independent.
constexpr uint32_t BenchCalibratedSpeed = 1000000;

// Openings, middlegames, tactical positions and endings; both sides to move.
constexpr const char* BenchPositions[] = {
    // Openings
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
    "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1",
    "r1bqkbnr/1ppp1ppp/p1n5/1B2p3/4P3/5N2/PPPP1PPP/RNBQK2R w KQkq - 0 4",
    "rnbqkb1r/1p2pppp/p2p1n2/8/3NP3/2N5/PPP2PPP/R1BQKB1R w KQkq - 0 6",
    "rnbqk2r/ppp1bppp/4pn2/3p2B1/2PP4/2N5/PP2PPPP/R2QKBNR w KQkq - 2 5",
    "rnbq1rk1/ppp1ppbp/3p1np1/8/2PPP3/2N2N2/PP3PPP/R1BQKB1R w KQ - 1 6",
    "rnbqk1nr/ppp2ppp/4p3/3p4/1b1PP3/2N5/PPP2PPP/R1BQKBNR w KQkq - 2 4",
    "rn1qkbnr/pp2pppp/2p5/3pPb2/3P4/8/PPP2PPP/RNBQKBNR w KQkq - 1 4",
    "rnbqkb1r/ppp2ppp/8/3np3/8/2N3P1/PP1PPP1P/R1BQKBNR w KQkq - 0 5",
    "r1bqk2r/pppp1ppp/2n2n2/2b1p3/2B1P3/2N2N2/PPPP1PPP/R1BQK2R w KQkq - 4 5",
    // Middlegames
    "r1bq1rk1/pp2bppp/2n1pn2/2pp4/3P4/2PBPN2/PP1N1PPP/R1BQ1RK1 w - - 0 8",
    "2rq1rk1/pb1nbppp/1p2pn2/2pp4/2PP4/1P2PN2/PB1NBPPP/2RQ1RK1 w - - 0 11",
    "r1bq1rk1/pp3ppp/2n1pn2/2b5/2BP4/2N2N2/PP3PPP/R1BQ1RK1 w - - 0 9",
    "r2q1rk1/1b1nbppp/pp1ppn2/8/2PNP3/1PN1B3/P3BPPP/R2Q1RK1 w - - 0 11",
    "r1bq1rk1/ppp2ppp/2np1n2/2b1p3/2B1P3/2PP1N2/PP3PPP/RNBQ1RK1 b - - 0 7",
    "r3kb1r/1p1n1ppp/p3pn2/8/3N4/2N1B3/PPP2PPP/2KR1B1R b kq - 2 11",
    "2kr3r/ppp2ppp/2nqbn2/3pp3/4P3/2NP1N1P/PPPQ1PP1/2KR1B1R w - - 0 10",
    "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10",
    // Tactics
    "r1b1k2r/ppppnppp/2n2q2/2b5/3NP3/2P1B3/PP3PPP/RN1QKB1R w KQkq - 1 7",
    "r2qkb1r/pp2nppp/3p4/2pNN1B1/2BnP3/3P4/PPP2PPP/R2bK2R w KQkq - 1 10",
    "6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 1",
    "r1b2rk1/pp1p1pp1/1b1p2B1/n1q3p1/8/5N2/P3RPPP/4R1K1 w - - 0 1",
    // Endings
    "8/8/8/4k3/8/8/4P3/4K3 w - - 0 1",
    "1K1k4/1P6/8/8/8/8/r7/2R5 w - - 0 1",
    "4k3/8/8/3PK3/8/8/r7/7R w - - 0 1",
    "8/8/8/3k4/8/8/2r5/K5Q1 w - - 0 1",
    "8/5pk1/6p1/3B3p/7P/6P1/5PK1/3n4 w - - 0 1",
    "8/4kp2/4p1p1/3bP1P1/5P2/2B5/5K2/8 w - - 0 1",
    "8/3k4/2n1p3/1p1pP3/1P1P4/2N5/4K3/8 b - - 0 1",
    "3r2k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 1",
    "3q2k1/5pp1/7p/8/8/7P/5PP1/3Q2K1 w - - 0 1",
    "8/8/1p1k4/pPp1p3/P1P1P3/3K4/8/8 w - - 0 1",
    "8/P7/8/8/8/8/6kp/K7 w - - 0 1",
    "8/6k1/p7/1p6/8/6P1/5PKP/8 w - - 0 1",
};
constexpr int BenchPositionCount = int(sizeof BenchPositions / sizeof BenchPositions[0]);

uint64_t Rate(uint64_t nodes, uint64_t ms) { return nodes * 1000 / (ms ? ms : 1); }

}  // namespace

int RunBench(int depth) {
  if (depth < 1) depth = BenchDefaultDepth;
  if (depth > SearchMaxDepth) depth = SearchMaxDepth;

  if (!PrepareToolSearches(BenchTableKB, BenchCalibratedSpeed)) {
    std::fprintf(stderr, "bench: no hash table\n");
    return 1;
  }

  uint64_t totalNodes = 0, totalMs = 0;
  int failed = 0;
  for (int i = 0; i < BenchPositionCount; i++) {
    uint64_t nodes = 0, ms = 0;
    if (!SearchFenQuietly(BenchPositions[i], depth, 0, &nodes, &ms)) {
      std::printf("position %2d refused: %s\n", i + 1, BenchPositions[i]);
      failed++;
      continue;
    }
    totalNodes += nodes;
    totalMs += ms;
    std::printf("position %2d/%d nodes %10" PRIu64 " time %6" PRIu64 " ms nps %9" PRIu64 "  %s\n", i + 1,
                BenchPositionCount, nodes, ms, Rate(nodes, ms), BenchPositions[i]);
  }
  std::printf("depth %d positions %d time %" PRIu64 " ms\n", depth, BenchPositionCount - failed, totalMs);
  std::printf("bench nodes %" PRIu64 " nps %" PRIu64 "\n", totalNodes, Rate(totalNodes, totalMs));
  std::fflush(stdout);
  return failed ? 1 : 0;
}

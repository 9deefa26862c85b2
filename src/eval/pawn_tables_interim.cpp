// Interim definitions of the root preparation's square tables and the pawn-structure tables that
// the endgame evaluators read. The root preparation and the pawn structure own these tables;
// delete this file when they arrive. Until then the square tables stay zero.
#include <cstdint>

#include "eval/eval_internal.h"

int16_t PawnSquareTable[2][64];
int16_t KingSquareTable[2][64];

// By square, White's view, rank 1 first: the penalty of a pawn no neighbour can come to defend.
const uint8_t WeakPawnPenalty[64] = {0, 0, 0, 0, 0, 0, 0, 0,   // rank 1
                                     3, 4, 6, 9, 9, 6, 4, 3,   // rank 2
                                     2, 3, 5, 7, 7, 5, 3, 2,   // rank 3
                                     1, 2, 3, 4, 4, 3, 2, 1,   // rank 4
                                     0, 0, 1, 2, 2, 1, 0, 0,   // rank 5
                                     0, 0, 0, 0, 0, 0, 0, 0,   // rank 6
                                     0, 0, 0, 0, 0, 0, 0, 0,   // rank 7
                                     0, 0, 0, 0, 0, 0, 0, 0};  // rank 8

uint16_t PawnSupportTable[1024];

namespace {

// Index = W | B << 5 for one file: W = White pawns on rank indices 1-5 (bit r - 1), B = Black pawns
// on rank indices 2-6 (bit r - 2). Low byte field k: a White pawn at rank o <= k + 1 can reach rank
// k + 1 with no Black pawn on (o, k + 1]; high byte field k: a Black pawn at rank e >= k + 3 can
// reach rank k + 3 with no White pawn on [k + 3, e).
struct PawnSupportBuilder {
  PawnSupportBuilder() {
    auto white = [](int i, int r) { return r >= 1 && r <= 5 && (i >> (r - 1) & 1); };
    auto black = [](int i, int r) { return r >= 2 && r <= 6 && (i >> (5 + r - 2) & 1); };
    for (int i = 0; i < 1024; i++) {
      uint16_t entry = 0;
      for (int k = 0; k < 4; k++) {
        for (int o = 1; o <= k + 1; o++) {
          bool free = true;
          for (int r = o + 1; r <= k + 1; r++) free = free && !black(i, r);
          if (white(i, o) && free) entry |= uint16_t(1 << (2 * k));
        }
        for (int e = k + 3; e <= 6; e++) {
          bool free = true;
          for (int r = k + 3; r < e; r++) free = free && !white(i, r);
          if (black(i, e) && free) entry |= uint16_t(1 << (8 + 2 * k));
        }
      }
      PawnSupportTable[i] = entry;
    }
  }
} BuildPawnSupport;

}  // namespace

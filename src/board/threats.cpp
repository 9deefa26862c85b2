// Threat values: how much a piece is worth to the enemy when it is attacked,
// from a summary of both sides' attackers on its square and a precomputed exchange table.
#include <algorithm>

#include "board/attack_update.h"

uint8_t AttackCode[AttackCodeSize];
uint8_t ExchangeCost[128][128];

namespace {

// Exchange values in units of 8: pawn, minor piece, rook, queen (and king and x-ray attackers).
constexpr int UnitPawn = 16, UnitMinor = 52, UnitRook = 80, UnitQueen = 156;

// Summary code: bits 0-1 queens, king and x-ray attackers (at most 3); bits 2-3 rooks (at most 3);
// bits 4-6 pawns and minor pieces: 0-3 minors alone, 4 pawn, 5 pawn and minor, 6 two pawns,
// 7 two pawns and a minor (more attackers of this group saturate at 7).
int SummaryCode(unsigned v) {
  int heavy = int(v & 1) + int((v >> 1) & 7);
  int rooks = int((v >> 4) & 3);
  int minors = int((v >> 6) & 3) + int((v >> 8) & 3);
  int pawns = int((v >> 10) & 3);
  int low = pawns == 0 ? std::min(minors, 3) : std::min(7, (pawns == 1 ? 4 : 6) + minors);
  return std::min(heavy, 3) | std::min(rooks, 3) << 2 | low << 4;
}

// Attacker values of a summary code, cheapest first.
int Decode(int code, int* out) {
  int n = 0;
  int low = code >> 4;
  static const int lowPawns[8] = {0, 0, 0, 0, 1, 1, 2, 2};
  static const int lowMinors[8] = {0, 1, 2, 3, 0, 1, 0, 1};
  for (int i = 0; i < lowPawns[low]; i++) out[n++] = UnitPawn;
  for (int i = 0; i < lowMinors[low]; i++) out[n++] = UnitMinor;
  for (int i = 0; i < ((code >> 2) & 3); i++) out[n++] = UnitRook;
  for (int i = 0; i < (code & 3); i++) out[n++] = UnitQueen;
  return n;
}

// Best result for the side to capture when `onSquare` stands on the square and the two sides
// still have the given attackers; either side may stop capturing.
int Gain(int onSquare, const int* mine, int nMine, const int* theirs, int nTheirs) {
  if (nMine == 0) return 0;
  return std::max(0, onSquare - Gain(mine[0], theirs, nTheirs, mine + 1, nMine - 1));
}

}  // namespace

void InitExchangeTables() {
  for (unsigned v = 0; v < AttackCodeSize; v++) AttackCode[v] = uint8_t(SummaryCode(v));
  int enemy[16], own[16];
  for (int e = 0; e < 128; e++) {
    int ne = Decode(e, enemy);
    for (int o = 0; o < 128; o++) {
      int no = Decode(o, own);
      // The enemy has taken the target with its cheapest attacker; what it loses from here on.
      ExchangeCost[e][o] = ne == 0 ? 0 : uint8_t(Gain(enemy[0], own, no, enemy + 1, ne - 1));
    }
  }
}

int ThreatOf(const Position& p, int sq) {
  int c = p.colour[sq];
  const AttackEntry& e = p.attackTable[c ^ 1][sq];
  if (!e.counts) return 0;
  const AttackEntry& d = p.attackTable[c][sq];
  int cost = ExchangeCost[AttackCode[(e.counts + e.xrayCounts) & AttackCodeMask]][AttackCode[(d.counts + d.xrayCounts) & AttackCodeMask]];
  int value = pieceValue[p.pieceType[sq]];
  return 8 * cost < value ? value - 8 * cost : 0;
}

void RecomputeThreats(Position& p, ThreatChange* journal, int* journalCount) {
  for (int c = 0; c < 2; c++) {
    uint32_t set = p.changedSlots[c] & ~1u;   // the king carries no threat value
    p.changedSlots[c] = 0;
    while (set) {
      int slot = LowestSlot(set);
      set &= set - 1;
      int sq = p.pieceList[c][slot];
      if (sq == NoSlot) continue;
      int old = p.threatValue[sq];
      int now = ThreatOf(p, sq);
      if (old == now) continue;
      if (journal) journal[(*journalCount)++] = {uint8_t(sq), int16_t(old)};
      p.threatValue[sq] = now;
      p.threatSum[c] += now - old;
      if (now) p.threatenedSlots[c] |= 1u << slot; else p.threatenedSlots[c] &= ~(1u << slot);
    }
  }
}

// The few primitives that change the attack tables: add or remove one piece's
// attacks, and re-walk the slider rays that pass a square whose occupant changes.
// Every change of the board goes through these, which is what keeps the tables exact.
#pragma once

#include "board/geometry.h"
#include "board/position.h"

extern uint8_t AttackCode[1 << 16];       // counts + xrayCounts -> 7-bit summary
extern uint8_t ExchangeCost[128][128];    // [enemy code][own code], units of 8

namespace attack_update {

// Marks the occupant of sq (if any) for threat-value recomputation.
inline void MarkOccupant(Position& p, int sq) {
  if (p.pieceType[sq]) p.changedSlots[p.colour[sq]] |= p.slotBit[sq];
}

inline bool Transparent(int type, int d) { return (DirectionTypeMask[d] >> type) & 1; }

// Adds (Sign +1) or removes (Sign -1) the part of a slider's ray that lies beyond square s
// in direction d; `xray` tells whether the slider reaches the next square directly or through a piece.
template <int Sign>
inline void WalkRay(Position& p, int c, uint16_t bit, uint16_t unit, int d, int s, bool xray) {
  AttackEntry* table = p.attackTable[c];
  const uint8_t* next = Geo.nextSquare[d];
  for (s = next[s]; s != OffBoard; s = next[s]) {
    AttackEntry& e = table[s];
    if (!xray) {
      e.counts = uint16_t(e.counts + Sign * unit);
      if (Sign > 0) e.attackers |= bit; else e.attackers &= uint16_t(~bit);
    } else {
      e.xrayCounts = uint8_t(e.xrayCounts + Sign * 2);
      if (Sign > 0) e.xrayAttackers |= bit; else e.xrayAttackers &= uint16_t(~bit);
    }
    e.attackerTotal = uint8_t(e.attackerTotal + Sign);
    int type = p.pieceType[s];
    if (type) {
      p.changedSlots[p.colour[s]] |= p.slotBit[s];
      if (!Transparent(type, d)) return;
      xray = true;
    }
  }
}

// Adds or removes all attacks of the piece standing on sq.
template <int Sign>
inline void PieceAttacks(Position& p, int sq) {
  int type = p.pieceType[sq], c = p.colour[sq];
  uint16_t bit = uint16_t(p.slotBit[sq]);
  uint16_t unit = CountUnit[type];
  AttackEntry* table = p.attackTable[c];
  const uint8_t* targets;
  switch (type) {
    case Pawn: targets = Geo.pawnTargets[c][sq]; break;
    case Knight: targets = Geo.knightTargets[sq]; break;
    case King: targets = Geo.kingTargets[sq]; break;
    default: {
      int first = type == Rook ? 0 : type == Bishop ? 4 : 0;
      int last = type == Rook ? 3 : 7;
      for (int d = first; d <= last; d++) WalkRay<Sign>(p, c, bit, unit, d, sq, false);
      return;
    }
  }
  for (; *targets != EndOfList; targets++) {
    int t = *targets;
    AttackEntry& e = table[t];
    e.counts = uint16_t(e.counts + Sign * unit);
    if (Sign > 0) e.attackers |= bit; else e.attackers &= uint16_t(~bit);
    e.attackerTotal = uint8_t(e.attackerTotal + Sign);
    MarkOccupant(p, t);
  }
}

// The sliders of both sides whose rays reach a square, collected before its occupant changes.
struct RaysThrough {
  int count;
  uint8_t colour[32];
  uint8_t slot[32];
  uint8_t xray[32];
};

inline void CollectRays(Position& p, int sq, RaysThrough& r) {
  r.count = 0;
  for (int c = 0; c < 2; c++) {
    const AttackEntry& e = p.attackTable[c][sq];
    uint32_t set = uint32_t(e.attackers | e.xrayAttackers) & p.allSliders[c];
    while (set) {
      int slot = LowestSlot(set);
      set &= set - 1;
      r.colour[r.count] = uint8_t(c);
      r.slot[r.count] = uint8_t(slot);
      r.xray[r.count] = (e.xrayAttackers >> slot) & 1;
      r.count++;
    }
  }
}

// Removes (Sign -1) or re-adds (Sign +1) the parts beyond sq of the collected rays,
// judged with the occupant now on sq.
template <int Sign>
inline void WalkBeyond(Position& p, int sq, const RaysThrough& r) {
  int occupant = p.pieceType[sq];
  for (int i = 0; i < r.count; i++) {
    int c = r.colour[i];
    int from = p.pieceList[c][r.slot[i]];
    int d = Direction(sq, from);
    bool xray = r.xray[i];
    if (occupant) {
      if (!Transparent(occupant, d)) continue;
      xray = true;
    }
    WalkRay<Sign>(p, c, uint16_t(1u << r.slot[i]), CountUnit[p.pieceType[from]], d, sq, xray);
  }
}

// Re-walks only the rays for which the old and new occupants differ in transparency.
template <int Sign>
inline void WalkBeyondChanged(Position& p, int sq, const RaysThrough& r, int otherType) {
  int occupant = p.pieceType[sq];
  for (int i = 0; i < r.count; i++) {
    int c = r.colour[i];
    int from = p.pieceList[c][r.slot[i]];
    int d = Direction(sq, from);
    if (Transparent(occupant, d) == Transparent(otherType, d)) continue;
    if (!Transparent(occupant, d)) continue;
    WalkRay<Sign>(p, c, uint16_t(1u << r.slot[i]), CountUnit[p.pieceType[from]], d, sq, true);
  }
}

}  // namespace attack_update

// Threat values of the marked slots of both sides (kings excluded).
void RecomputeThreats(Position& p);
int ThreatOf(const Position& p, int sq);
void InitExchangeTables();

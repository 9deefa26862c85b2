// The few primitives that change the attack tables: add or remove one piece's
// attacks, and re-walk the slider rays that pass a square whose occupant changes.
// Every change of the board goes through these, which is what keeps the tables exact.
#pragma once

#include "board/geometry.h"
#include "board/position.h"

// counts + xrayCounts -> 7-bit summary. The sum stays below 0x1000: at most two pawns and
// three knights of a side attack one square (the small table stays in the first-level cache).
constexpr unsigned AttackCodeSize = 0x1000, AttackCodeMask = AttackCodeSize - 1;
extern uint8_t AttackCode[AttackCodeSize];
extern uint8_t ExchangeCost[128][128];    // [enemy code][own code], units of 8

namespace attack_update {

// Marks the occupant of an occupied square for threat-value recomputation.
inline void MarkOccupant(Position& p, int sq) { p.changedSlots[p.colour[sq]] |= p.slotBit[sq]; }

inline bool Transparent(int type, int d) { return (DirectionTypeMask[d] >> type) & 1; }

// Adds (Sign +1) or removes (Sign -1) one attacker of `unit` and slot `bit`, direct or x-ray.
template <int Sign>
inline void UpdateEntry(AttackEntry& e, uint16_t unit, uint16_t bit, bool xray) {
  if (!xray) {
    e.counts = uint16_t(e.counts + Sign * unit);
    if (Sign > 0) e.attackers |= bit; else e.attackers &= uint16_t(~bit);
  } else {
    e.xrayCounts = uint8_t(e.xrayCounts + Sign * 2);
    if (Sign > 0) e.xrayAttackers |= bit; else e.xrayAttackers &= uint16_t(~bit);
  }
  e.attackerTotal = uint8_t(e.attackerTotal + Sign);
}

// Adds (Sign +1) or removes (Sign -1) the part of a slider's ray that lies beyond square s
// in direction d; `xray` tells whether the slider reaches the next square directly or through a piece.
template <int Sign, bool Mark = true>
inline void WalkRay(Position& p, int c, uint16_t bit, uint16_t unit, int d, int s, bool xray) {
  AttackEntry* table = p.attackTable[c];
  const uint8_t* next = Geo.nextSquare[d];
  for (s = next[s]; s != OffBoard; s = next[s]) {
    UpdateEntry<Sign>(table[s], unit, bit, xray);
    int type = p.pieceType[s];
    if (type) {
      if (Mark) MarkOccupant(p, s);
      if (!Transparent(type, d)) return;
      xray = true;
    }
  }
}

// Adds or removes all attacks of the piece standing on sq.
template <int Sign, bool Mark = true>
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
      // Sliders walk their precomputed rays; a blocker that does not move along the ray
      // ends it, one that does turns the rest of the ray into x-ray attacks.
      const uint8_t* ray = Geo.rays[type][sq];
      const uint8_t* skip = Geo.raySkip[type][sq];
      const uint8_t* dir = Geo.rayDirection[type][sq];
      bool xray = false;
      for (int i = 0; ray[i] != EndOfList;) {
        int s = ray[i];
        UpdateEntry<Sign>(table[s], unit, bit, xray);
        int occupant = p.pieceType[s];
        if (occupant) {
          if (Mark) MarkOccupant(p, s);
          if (!Transparent(occupant, dir[i])) {
            i += skip[i] + 1;
            xray = false;
            continue;
          }
          xray = true;
        }
        if (!skip[i]) xray = false;
        i++;
      }
      return;
    }
  }
  for (; *targets != EndOfList; targets++) {
    int t = *targets;
    UpdateEntry<Sign>(table[t], unit, bit, false);
    if (Mark && p.pieceType[t]) MarkOccupant(p, t);
  }
}

// The sliders of both sides whose rays reach a square, collected before its occupant changes.
struct RaysThrough {
  uint32_t sliders[2];   // slot sets
  uint32_t xray[2];      // those among them that reach the square through a piece
  bool Empty() const { return !(sliders[0] | sliders[1]); }
};

inline void CollectRays(Position& p, int sq, RaysThrough& r) {
  for (int c = 0; c < 2; c++) {
    const AttackEntry& e = p.attackTable[c][sq];
    r.sliders[c] = uint32_t(e.attackers | e.xrayAttackers) & p.allSliders[c];
    r.xray[c] = e.xrayAttackers;
  }
}

// Removes (Sign -1) or re-adds (Sign +1) the parts beyond sq of the collected rays, judged
// with the occupant now on sq. With `otherType` (the occupant before or after a replacement)
// only the rays for which the two occupants differ in transparency are walked.
constexpr int EveryRay = -1;

template <int Sign, bool Mark = true>
inline void WalkBeyond(Position& p, int sq, const RaysThrough& r, int otherType = EveryRay) {
  int occupant = p.pieceType[sq];
  for (int c = 0; c < 2; c++) {
    for (uint32_t set = r.sliders[c]; set; set &= set - 1) {
      int slot = LowestSlot(set);
      int from = p.pieceList[c][slot];
      int d = Direction(sq, from);
      if (otherType != EveryRay && Transparent(occupant, d) == Transparent(otherType, d)) continue;
      bool xray = (r.xray[c] >> slot) & 1;
      if (occupant) {
        if (!Transparent(occupant, d)) continue;
        xray = true;
      }
      WalkRay<Sign, Mark>(p, c, uint16_t(1u << slot), CountUnit[p.pieceType[from]], d, sq, xray);
    }
  }
}

}  // namespace attack_update

// Threat values of the marked slots of both sides (kings excluded). With a journal, every
// changed value is also written there with its old value.
void RecomputeThreats(Position& p, ThreatChange* journal = nullptr, int* journalCount = nullptr);
int ThreatOf(const Position& p, int sq);
void InitExchangeTables();

// An independent rebuild of every derived field from the placement, compared with the
// incrementally kept one. Used by the tests along random games and in debug builds.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "board/attack_update.h"
#include "board/board.h"
#include "board/keys.h"

namespace {

char Report[256];

const char* Fail(const char* what, int a, int b, int where) {
  std::snprintf(Report, sizeof Report, "%s differs at %d: kept %d, rebuilt %d", what, where, a, b);
  return Report;
}

bool MovesAlong(int type, int d) {
  if (d < 4) return type == Rook || type == Queen;
  return type == Bishop || type == Queen;
}

// Attacks of every piece walked square by square, with x-rays through pieces moving along the line.
void BuildAttacks(const Position& p, AttackEntry table[2][64]) {
  std::memset(table, 0, sizeof(AttackEntry) * 128);
  static const int Step[8][2] = {{1, 0}, {0, 1}, {-1, 0}, {0, -1}, {-1, 1}, {1, 1}, {-1, -1}, {1, -1}};
  static const int Jump[8][2] = {{-1, -2}, {-2, -1}, {-2, 1}, {-1, 2}, {1, 2}, {2, 1}, {2, -1}, {1, -2}};
  for (int sq = 0; sq < 64; sq++) {
    int type = p.pieceType[sq];
    if (!type) continue;
    int c = p.colour[sq];
    uint16_t bit = uint16_t(p.slotBit[sq]);
    auto direct = [&](int f, int r) {
      AttackEntry& e = table[c][r * 8 + f];
      e.counts = uint16_t(e.counts + CountUnit[type]);
      e.attackers |= bit;
      e.attackerTotal++;
    };
    int file = FileOf(sq), rank = RankOf(sq);
    auto onBoard = [](int f, int r) { return f >= 0 && f < 8 && r >= 0 && r < 8; };
    if (type == Pawn) {
      int r = rank + (c == White ? 1 : -1);
      for (int df : {-1, 1})
        if (onBoard(file + df, r)) direct(file + df, r);
    } else if (type == Knight) {
      for (auto& j : Jump)
        if (onBoard(file + j[0], rank + j[1])) direct(file + j[0], rank + j[1]);
    } else if (type == King) {
      for (auto& s : Step)
        if (onBoard(file + s[0], rank + s[1])) direct(file + s[0], rank + s[1]);
    } else {
      for (int d = 0; d < 8; d++) {
        if (!MovesAlong(type, d)) continue;
        bool xray = false;
        for (int f = file + Step[d][0], r = rank + Step[d][1]; onBoard(f, r); f += Step[d][0], r += Step[d][1]) {
          int s = r * 8 + f;
          if (xray) {
            AttackEntry& e = table[c][s];
            e.xrayCounts = uint8_t(e.xrayCounts + 2);
            e.xrayAttackers |= bit;
            e.attackerTotal++;
          } else {
            direct(f, r);
          }
          if (p.pieceType[s]) {
            if (!MovesAlong(p.pieceType[s], d)) break;
            xray = true;
          }
        }
      }
    }
  }
}

}  // namespace

const char* CheckPositionConsistency() {
  const Position& p = Pos;
  static Position fresh;
  std::memset(&fresh, 0, sizeof fresh);

  // Slots against the board.
  for (int c = 0; c < 2; c++) {
    uint32_t used = 0;
    for (int slot = 0; slot < 16; slot++) {
      int sq = p.pieceList[c][slot];
      if (sq == NoSlot) continue;
      used |= 1u << slot;
      if (sq > 63 || p.colour[sq] != c || !p.pieceType[sq]) return Fail("piece list", sq, slot, c);
      if (p.slotBit[sq] != 1u << slot) return Fail("slot bit", int(p.slotBit[sq]), 1 << slot, sq);
    }
    if (used != p.usedSlots[c]) return Fail("used slots", int(p.usedSlots[c]), int(used), c);
  }
  int kings[2] = {0, 0};
  for (int sq = 0; sq < 64; sq++) {
    int type = p.pieceType[sq];
    if (!type) {
      if (p.colour[sq] != NoColour) return Fail("colour of empty square", p.colour[sq], NoColour, sq);
      if (p.slotBit[sq]) return Fail("slot bit of empty square", int(p.slotBit[sq]), 0, sq);
      if (p.threatValue[sq]) return Fail("threat value of empty square", p.threatValue[sq], 0, sq);
      continue;
    }
    int c = p.colour[sq];
    if (c > 1 || !p.slotBit[sq]) return Fail("occupied square", c, 0, sq);
    int slot = LowestSlot(p.slotBit[sq]);
    if (p.pieceList[c][slot] != sq) return Fail("piece list entry", p.pieceList[c][slot], sq, slot);
    if (type == King) {
      kings[c]++;
      if (slot != 0) return Fail("king slot", slot, 0, sq);
    }
    uint32_t bit = p.slotBit[sq];
    if (type != King) {
      fresh.typeSlots[type][c] |= bit;
      if (type == Bishop || type == Queen) fresh.diagonalSliders[c] |= bit;
      if (type == Rook || type == Queen) fresh.orthogonalSliders[c] |= bit;
      if (type >= Bishop && type <= Queen) fresh.allSliders[c] |= bit;
      fresh.material[c] += pieceValue[type];
      fresh.materialSignature[c] += SignatureIncrement[type];
    }
    if (type == Pawn) {
      fresh.pawnsOnRank[c][RankOf(sq)] |= bit;
      fresh.pawnFiles[c][FileOf(sq) + 1] |= uint8_t(1 << RankOf(sq));
    }
    fresh.key ^= PieceKey(type, c, sq);
  }
  if (kings[0] != 1 || kings[1] != 1) return Fail("king count", kings[0], kings[1], 0);
  if (std::memcmp(fresh.typeSlots, p.typeSlots, sizeof fresh.typeSlots)) return Fail("type slot sets", 0, 0, 0);
  if (std::memcmp(fresh.diagonalSliders, p.diagonalSliders, sizeof fresh.diagonalSliders) ||
      std::memcmp(fresh.orthogonalSliders, p.orthogonalSliders, sizeof fresh.orthogonalSliders) ||
      std::memcmp(fresh.allSliders, p.allSliders, sizeof fresh.allSliders))
    return Fail("slider sets", 0, 0, 0);
  if (std::memcmp(fresh.pawnsOnRank, p.pawnsOnRank, sizeof fresh.pawnsOnRank)) return Fail("pawns on rank", 0, 0, 0);
  if (std::memcmp(fresh.pawnFiles, p.pawnFiles, sizeof fresh.pawnFiles)) return Fail("pawn files", 0, 0, 0);
  for (int c = 0; c < 2; c++) {
    if (fresh.material[c] != p.material[c]) return Fail("material", p.material[c], fresh.material[c], c);
    if (fresh.materialSignature[c] != p.materialSignature[c])
      return Fail("material signature", int(p.materialSignature[c]), int(fresh.materialSignature[c]), c);
  }

  // Attack tables.
  BuildAttacks(p, fresh.attackTable);
  for (int c = 0; c < 2; c++)
    for (int sq = 0; sq < 64; sq++) {
      const AttackEntry &a = p.attackTable[c][sq], &b = fresh.attackTable[c][sq];
      if (a.counts != b.counts) return Fail(c ? "black counts" : "white counts", a.counts, b.counts, sq);
      if (a.attackers != b.attackers) return Fail(c ? "black attackers" : "white attackers", a.attackers, b.attackers, sq);
      if (a.xrayCounts != b.xrayCounts) return Fail(c ? "black x-ray counts" : "white x-ray counts", a.xrayCounts, b.xrayCounts, sq);
      if (a.xrayAttackers != b.xrayAttackers)
        return Fail(c ? "black x-ray attackers" : "white x-ray attackers", a.xrayAttackers, b.xrayAttackers, sq);
      if (a.attackerTotal != b.attackerTotal)
        return Fail(c ? "black attacker total" : "white attacker total", a.attackerTotal, b.attackerTotal, sq);
    }

  // Threat values from the rebuilt tables.
  std::memcpy(fresh.pieceType, p.pieceType, sizeof fresh.pieceType);
  std::memcpy(fresh.colour, p.colour, sizeof fresh.colour);
  int sums[2] = {0, 0};
  uint32_t threatened[2] = {0, 0};
  for (int sq = 0; sq < 64; sq++) {
    if (!p.pieceType[sq]) continue;
    int c = p.colour[sq];
    int v = p.pieceType[sq] == King ? 0 : ThreatOf(fresh, sq);
    if (v != p.threatValue[sq]) return Fail("threat value", p.threatValue[sq], v, sq);
    sums[c] += v;
    if (v) threatened[c] |= p.slotBit[sq];
  }
  for (int c = 0; c < 2; c++) {
    if (sums[c] != p.threatSum[c]) return Fail("threat sum", p.threatSum[c], sums[c], c);
    if (threatened[c] != p.threatenedSlots[c]) return Fail("threatened slots", int(p.threatenedSlots[c]), int(threatened[c]), c);
  }

  // The key: pieces and en passant exactly; the castling part holds the key of every wing whose
  // right the move counts say is still alive, and only castling keys. (A lost right may be absent
  // from the key: the capture of a rook on its square leaves the key as it was.)
  uint64_t rest = p.key ^ fresh.key ^ (p.epSquare ? castleEpKey[p.epSquare] : 0);
  if (rest >> 32) return Fail("key high word", int(rest >> 32), 0, 0);
  const int rights = CastlingRights();
  bool found = false;
  for (int subset = 0; subset < 16 && !found; subset++) {
    if (subset & rights) continue;
    uint32_t v = 0;
    for (int i = 0; i < 4; i++)
      if (subset >> i & 1) v ^= castleEpKey[castleRookSquare[i / 2][i % 2]];
    found = v == uint32_t(rest);
  }
  if (!found) return Fail("key castling part", int(rest), 0, 0);
  if (p.epSquare && !(p.attackTable[p.sideToMove][p.epSquare].counts & CountMaskPawn))
    return Fail("en-passant square without a capturing pawn", p.epSquare, 0, p.epSquare);
  return "";
}

void VerifyPositionOrAbort(const char* after) {
  const char* difference = CheckPositionConsistency();
  if (!*difference) return;
  std::fprintf(stderr, "position check failed after %s: %s\nFEN: %s\n", after, difference, PositionToFen());
  std::abort();
}

// King safety: in the bare endgame the king's activity; otherwise open files near the king,
// attacks on the king zone, checks along the king's lines and by knights, discovered checks and
// mating nets. The attack part leaves flags in the current undo record for the search (mating
// net, acute danger, a discovered check) and may name a mating check as the threat move.
//
// Which king neighbours a check covers comes from the board's check masks: a slider checking
// from a square of a king line (steps 2 and 3) covers QueenContactMask (a queen next to the king,
// by its blocked E/N/W/S neighbours), WideCheckMask (a rook next to it), QueenDistanceTwoMask (a
// queen two squares away) or else NarrowCheckMask (the line's own two neighbours); a discovered
// check covers NarrowCheckMask of its line; a knight check (step 4) the neighbours the knight
// attacks from its square. Step 6 compares the flights with all of these together.
#include <algorithm>
#include <array>
#include <cstring>

#include "board/board.h"
#include "board/check_masks.h"
#include "board/geometry.h"
#include "eval/eval_internal.h"
#include "eval/tables.h"

namespace {

// Danger from the attack units against the king, by units >> 3 (0..63), units of 1/128 pawn.
constexpr std::array<int, 64> KingDanger = [] {
  constexpr int rising[28] = {0,   1,   3,   6,   10,  16,  25,  38,  57,  85,  113, 141, 169, 197,
                              225, 256, 288, 320, 352, 384, 416, 448, 480, 512, 544, 576, 608, 640};
  std::array<int, 64> t{};
  for (int i = 0; i < 64; i++) t[i] = i < 28 ? rising[i] : 640;
  return t;
}();

// Weight of an undefended square of the king zone, index a1..h8 (rank 1 first; the table is
// the same seen from either side), units of 1/128 pawn.
constexpr uint8_t ZoneSquareWeight[64] = {
    6,  6,  6,  6,  6,  6,  6,  6,    // rank 1
    4,  12, 8,  6,  6,  8,  12, 4,    // rank 2
    10, 14, 10, 10, 10, 10, 14, 10,   // rank 3
    14, 14, 14, 14, 14, 14, 14, 14,   // rank 4
    14, 14, 14, 14, 14, 14, 14, 14,   // rank 5
    10, 14, 10, 10, 10, 10, 14, 10,   // rank 6
    4,  12, 8,  6,  6,  8,  12, 4,    // rank 7
    6,  6,  6,  6,  6,  6,  6,  6};   // rank 8

// Attack units of an attacker, by its piece-list slot (king 0, queen 1, rooks 2-3, bishops 4-5,
// knights 6-7); the further slots (8-15: pawns and extra pieces) count one unit each.
constexpr int SlotWeight[16] = {2, 6, 3, 3, 2, 2, 2, 2, 1, 1, 1, 1, 1, 1, 1, 1};
// The weights summed over a byte of slots: [0] slots 0-7, [1] slots 8-15.
constexpr std::array<std::array<uint8_t, 256>, 2> SlotsWeight = [] {
  std::array<std::array<uint8_t, 256>, 2> t{};
  for (int half = 0; half < 2; half++)
    for (int set = 0; set < 256; set++)
      for (int slot = 0; slot < 8; slot++)
        if (set >> slot & 1) t[half][set] = uint8_t(t[half][set] + SlotWeight[8 * half + slot]);
  return t;
}();
inline int AttackerWeight(uint32_t slots) { return SlotsWeight[0][slots & 0xFF] + SlotsWeight[1][(slots >> 8) & 0xFF]; }
// Attack units of an enemy piece standing in the zone, by piece type.
constexpr int DefenderWeight[7] = {0, 0, 2, 2, 3, 6, 2};

// Open files near the king, by king file and file: the penalty when the enemy has no pawn on
// that file, and when the king's own side has none.
constexpr int8_t EnemyOpenFilePenalty[8][8] = {
    {21, 18, 11, 0, 0, 0, 0, 0},   // king on a
    {18, 21, 11, 0, 0, 0, 0, 0},   // b
    {15, 18, 21, 11, 0, 0, 0, 0},  // c
    {0, 0, 18, 21, 11, 0, 0, 0},   // d
    {0, 0, 0, 11, 21, 18, 0, 0},   // e
    {0, 0, 0, 0, 11, 21, 18, 15},  // f
    {0, 0, 0, 0, 0, 11, 21, 18},   // g
    {0, 0, 0, 0, 0, 11, 18, 21}};  // h
constexpr int8_t OwnOpenFilePenalty[8][8] = {
    {15, 13, 0, 0, 0, 0, 0, 0},    // king on a
    {13, 15, 0, 0, 0, 0, 0, 0},    // b
    {11, 13, 15, 0, 0, 0, 0, 0},   // c
    {0, 0, 13, 15, 0, 0, 0, 0},    // d
    {0, 0, 0, 0, 15, 13, 0, 0},    // e
    {0, 0, 0, 0, 0, 15, 13, 11},   // f
    {0, 0, 0, 0, 0, 0, 15, 13},    // g
    {0, 0, 0, 0, 0, 0, 13, 15}};   // h

constexpr int MatingNetThreat = 1248;      // a mating net ranks as the largest threat
constexpr int AmplifyNumerator = 5;        // king safety counts 5/4 unless the style says otherwise
constexpr int LinePieceUnits = 6;          // a line piece or knight bearing on a checking square
constexpr int OccupiedLineSquare = 5;      // an enemy piece on one of the king's lines
constexpr int DiscoveredCheckPenalty = 16;
constexpr int WeakLineSquare = 10;         // a square on a king line that the enemy controls
constexpr int CheckingSquarePenalty = 12;  // ...from which a slider can check safely
constexpr int ContestedLineSquare = 6;     // ...that both sides hold equally
constexpr int EnemyPieceOnKnightCheck = 5;
constexpr int SafeKnightCheck = 20;
constexpr int KnightCheck = 6;
constexpr int KnightCheckNoFlight = 24;
constexpr int WellDefended = 2;            // own attackers ahead by this much make a line safe further out
constexpr int ZoneLeadUnits = 4, ZoneDoubleLeadUnits = 8;
constexpr int AttackerCountUnits = 2;
constexpr int MatingNetPenalty = 64;
constexpr int CoveredFlightsPenalty = 32;
constexpr int MinAttackers = 2;
constexpr int KingDangerShift = 3;

// Neighbour direction bits (bit d: the step d from the king).
constexpr uint8_t OwnRankNeighbours = 1u << 0 | 1u << 2;
constexpr uint8_t BlockedMaskBits = 15;   // the contact masks look at the E, N, W, S neighbours

// The king zone: the 3x3 block around the shelter centre, centre first, by king square; and for
// each zone square next to the king the direction bit of the step to it (0 for the others).
struct Zone {
  uint8_t square[9];
  uint8_t neighbourBit[9];
};
constexpr std::array<Zone, 64> KingZones = [] {
  constexpr int fileStep[8] = {1, 0, -1, 0, -1, 1, -1, 1}, rankStep[8] = {0, 1, 0, -1, 1, 1, -1, -1};
  std::array<Zone, 64> t{};
  for (int k = 0; k < 64; k++) {
    const int centre = ShelterCentre[k];
    for (int i = 0; i < 9; i++) {
      const int z = i == 0 ? centre : centre + rankStep[i - 1] * 8 + fileStep[i - 1];
      t[k].square[i] = uint8_t(z);
      for (int d = 0; d < 8; d++)
        if (FileOf(k) + fileStep[d] == FileOf(z) && RankOf(k) + rankStep[d] == RankOf(z)) t[k].neighbourBit[i] = uint8_t(1u << d);
    }
  }
  return t;
}();

// The files within two of the king's file, by king file (bit f = file f).
constexpr std::array<uint8_t, 8> NearFiles = [] {
  std::array<uint8_t, 8> t{};
  for (int kf = 0; kf < 8; kf++)
    for (int f = std::max(kf - 2, 0); f <= std::min(kf + 2, 7); f++) t[kf] = uint8_t(t[kf] | 1u << f);
  return t;
}();

// The files without a pawn of colour c (bit f = file f), from the eight pawn bytes read as one word.
inline unsigned FilesWithoutPawns(const Position& p, int c) {
  uint64_t x;
  std::memcpy(&x, p.pawnFiles[c] + 1, 8);
  constexpr uint64_t Low7 = 0x7F7F7F7F7F7F7F7Fu, High = 0x8080808080808080u;
  const uint64_t occupied = ((((x & Low7) + Low7) | x) & High) >> 7;   // bit 0 of each non-zero byte
  return ~unsigned((occupied * 0x0102040810204080u) >> 56) & 0xFF;    // gathered into one byte
}

inline int Distance(int a, int b) {
  return std::max(std::abs(FileOf(a) - FileOf(b)), std::abs(RankOf(a) - RankOf(b)));
}

// The neighbours of the king on k that a knight on x covers.
uint8_t KnightCover(int x, int k) {
  uint8_t mask = 0;
  for (int d = 0; d < 8; d++) {
    const int y = Geo.nextSquare[d][k];
    if (y != OffBoard && Direction(y, x) >= 8 && Direction(y, x) < NoDirection) mask |= uint8_t(1u << d);
  }
  return mask;
}

// One evaluation of the attack on the king of colour C (a template argument, so that the colours
// and the enemy's direction are constants).
template <int C>
struct KingAttackState {
  static constexpr int c = C, e = C ^ 1;
  Position& p;
  int k;
  const AttackEntry* own;
  const AttackEntry* enemy;
  UndoRecord& record;
  int s = 0, units = 0, xunits = 0;
  uint32_t attackers = 0, xrayAttackers = 0;
  uint8_t flights = 0, blocked = 0, checkDirections = 0;
  uint8_t loneGuard[16] = {};   // per enemy slot: the neighbours it alone attacks
  bool matingNet = false;

  // A check of the enemy piece in `slot` from x: which neighbours it covers, whether it leaves
  // no flight (the neighbours it alone guarded included), and then the threat move.
  void CheckFrom(int slot, int from, int x, uint8_t covered) {
    checkDirections |= covered;
    if ((flights | loneGuard[slot]) & ~covered) return;
    if (p.sideToMove != e) return;
    if (!(record.checkFlag & RecordThreatMoveSet)) {
      record.threatMove = MakeMoveWord(from, x, p.pieceType[x] ? KindCapture : KindQuiet);
      record.checkFlag |= RecordThreatMoveSet;
    }
    matingNet = true;
  }

  // The squares of one king line, outward up to the first occupied square; `sliders` are the
  // enemy pieces that move along lines of this kind.
  __attribute__((always_inline)) void Line(int d, uint32_t sliders) {
    int acc = 0;
    const bool file = d == 1 || d == 3;
    const uint8_t* next = Geo.nextSquare[d];
    for (int x = next[k]; x != OffBoard; x = next[x]) {
      const int d2 = own[x].attackerTotal - enemy[x].attackerTotal;
      if (d2 >= WellDefended) acc += d2;
      const uint32_t lineSliders = enemy[x].attackers & sliders;
      const int type = p.pieceType[x];
      if (lineSliders) {
        if (type && p.colour[x] == e) {
          // An enemy piece on the line: a discovered check when a slider stands behind it.
          if (type != Pawn) s -= OccupiedLineSquare - acc;
          constexpr int forward = e == White ? 8 : -8;
          if (!acc && (type != Pawn || (!file && !p.pieceType[x + forward]))) {
            for (uint32_t set = lineSliders; set; set &= set - 1) {
              const int slot = LowestSlot(set);
              const int from = p.pieceList[e][slot];
              if (Direction(x, from) != OppositeDirection[d] || p.threatValue[from]) continue;
              p.lineAttackers[e] |= uint16_t(1u << slot);
              units += AttackerWeight(1u << slot) + LinePieceUnits;
              s -= DiscoveredCheckPenalty;
              record.checkFlag |= RecordKingAttack[c];
              // The check runs along the line: every flight on it is lost.
              checkDirections |= NarrowCheckMask[d];
              if (!(flights & ~NarrowCheckMask[d])) matingNet = true;
            }
          }
        } else if (d2 < 0) {
          // A square the enemy controls: a slider may check from it.
          s -= WeakLineSquare - acc;
          for (uint32_t set = lineSliders; set; set &= set - 1) {
            p.lineAttackers[e] |= uint16_t(1u << LowestSlot(set));
            units += AttackerWeight(1u << LowestSlot(set)) + LinePieceUnits;
          }
          // With nothing of c's further out on the line the check holds (d2 < 0: the enemy
          // has more attackers on x than c has defenders).
          if (!acc) {
            s -= CheckingSquarePenalty;
            const int distance = Distance(x, k);
            for (uint32_t set = lineSliders; set; set &= set - 1) {
              const int slot = LowestSlot(set);
              const int from = p.pieceList[e][slot];
              const int checker = p.pieceType[from];
              uint8_t covered;
              if (distance == 1 && checker == Queen) covered = QueenContactMask[blocked & BlockedMaskBits][d];
              else if (distance == 1 && checker == Rook) covered = WideCheckMask[d];
              else if (distance == 2 && checker == Queen) covered = QueenDistanceTwoMask[d];
              else covered = NarrowCheckMask[d];
              CheckFrom(slot, from, x, covered);
            }
          }
        } else if (d2 == 0) {
          s -= ContestedLineSquare - acc;
        }
      }
      if (type) break;
    }
  }
};

template <int C>
int AttackOnKing(Position& p, UndoRecord& record, const unsigned* bishopShades, bool* net);

inline int AttackOn(int c, Position& p, UndoRecord& record, const unsigned* bishopShades, bool* net) {
  return c == White ? AttackOnKing<White>(p, record, bishopShades, net) : AttackOnKing<Black>(p, record, bishopShades, net);
}

// Square shades (bit 0 light, bit 1 dark) holding a bishop of each colour.
void BishopShades(const Position& p, unsigned shades[2]) {
  for (int side = 0; side < 2; side++) {
    shades[side] = 0;
    for (uint32_t set = p.bishops(side); set; set &= set - 1) shades[side] |= 1u << Geo.shade[p.pieceList[side][LowestSlot(set)]];
  }
}

}  // namespace

int KingAttack(int c) {
  bool net;
  unsigned shades[2];
  BishopShades(Pos, shades);
  return AttackOn(c, Pos, EvaluationRecord(), shades, &net);
}

namespace {

// The attack on the king of colour C in C's view; *net tells whether it found a mating net.
template <int C>
int AttackOnKing(Position& p, UndoRecord& record, const unsigned* bishopShades, bool* net) {
  constexpr int c = C, e = C ^ 1;
  const int k = p.kingSquare(c);
  KingAttackState<C> a{p, k, p.attackTable[c], p.attackTable[e], record};
  p.lineAttackers[e] = 0;

  // Step 1: the zone, the 3x3 block around the shelter centre (centre first): flights, blocked
  // neighbours, lone guards, attack units and undefended squares.
  const Zone& zone = KingZones[k];
  constexpr int enemyForward = e == White ? 8 : -8;
  for (int i = 0; i < 9; i++) {
    const int z = zone.square[i];
    const AttackEntry &E = a.enemy[z], &O = a.own[z];
    const int type = p.pieceType[z], col = type ? int(p.colour[z]) : int(NoColour);
    if (const uint8_t bit = zone.neighbourBit[i]) {
      if (col == c || (col == e && (type == Pawn || type == Knight || type == Bishop || type == King))) a.blocked |= bit;
      if (col != c && !E.counts) a.flights |= bit;
      if (col != c && E.attackerTotal == 1) a.loneGuard[LowestSlot(uint32_t(E.attackers | E.xrayAttackers))] |= bit;
    }
    // An enemy pawn stuck in front of the king does not attack the zone.
    if (col == e && type == Pawn && p.pieceType[z + enemyForward]) continue;
    a.attackers |= E.attackers;
    a.units += AttackerWeight(E.attackers);
    // X-ray attackers are rare: skip their lookups when there are none.
    if (E.xrayAttackers) {
      a.xrayAttackers |= E.xrayAttackers;
      a.xunits += AttackerWeight(E.xrayAttackers);
    }
    int d = E.attackerTotal - O.attackerTotal;
    bool undefended = O.counts <= E.counts && d >= 0;
    if (col == e && type != Pawn) {
      d++;
      if (O.counts == CountMaskKing || !p.threatValue[z]) undefended = false;
      a.units += DefenderWeight[type];
    }
    if (undefended) {
      const int w = ZoneSquareWeight[z];
      const unsigned shade = 1u << Geo.shade[z];
      const bool ownBishop = bishopShades[c] & shade, enemyBishop = bishopShades[e] & shade;
      a.s -= w;
      if (enemyBishop && !ownBishop) a.s -= w;
      if ((col == c && type == Bishop) || (ownBishop && !enemyBishop)) a.s += w;
    }
    if (d > 0) a.units += ZoneLeadUnits;
    if (d >= 2) a.units += ZoneDoubleLeadUnits;
  }

  // Step 2: the diagonals from the king.
  if (p.diagonalSliders[e])
    for (int d = 4; d < 8; d++) a.Line(d, p.diagonalSliders[e]);

  // Step 3: the ranks and files; a king with no flight off its rank fears the back rank.
  if (p.orthogonalSliders[e]) {
    if (!(a.flights & ~OwnRankNeighbours)) a.s -= 2 * p.endgameWeight;
    for (int d = 0; d < 4; d++) a.Line(d, p.orthogonalSliders[e]);
  }

  // Step 4: knight checks.
  if (p.knights(e)) {
    for (const uint8_t* t = Geo.knightTargets[k]; *t != EndOfList; t++) {
      const int x = *t;
      const AttackEntry &E = a.enemy[x], &O = a.own[x];
      if (!(E.counts & CountMaskKnight) || O.attackerTotal > E.attackerTotal) continue;
      if (p.pieceType[x] && p.colour[x] == e && p.pieceType[x] != Pawn) {
        a.s -= EnemyPieceOnKnightCheck;
        continue;
      }
      const uint32_t knights = E.attackers & p.knights(e);
      for (uint32_t set = knights; set; set &= set - 1) {
        p.lineAttackers[e] |= uint16_t(1u << LowestSlot(set));
        a.units += AttackerWeight(1u << LowestSlot(set)) + LinePieceUnits;
      }
      if (O.attackerTotal < E.attackerTotal) {
        a.s -= SafeKnightCheck;
        const uint8_t covered = KnightCover(x, k);
        for (uint32_t set = knights; set; set &= set - 1) {
          const int slot = LowestSlot(set);
          a.CheckFrom(slot, p.pieceList[e][slot], x, covered);
        }
      } else {
        a.s -= KnightCheck;
        if (!a.flights) a.s -= KnightCheckNoFlight;
      }
    }
  }

  // Step 5: attack units.
  const int kingAttackers = BitCount(a.attackers);
  const int allAttackers = BitCount(a.attackers | a.xrayAttackers);
  int u = a.xunits / 2 + a.units + AttackerCountUnits * kingAttackers + AttackerCountUnits * allAttackers;
  if (allAttackers < MinAttackers) u >>= 1;
  a.s -= KingDanger[std::min(u >> KingDangerShift, 63)];

  // Step 6: a mating net, or every flight covered by checks of at least two attackers.
  if (a.matingNet) {
    a.record.checkFlag |= RecordMatingNet[c] | RecordThreat[c];
    a.s -= MatingNetPenalty;
  } else if (a.checkDirections && !(a.flights & ~a.checkDirections) &&
             BitCount((a.attackers | a.xrayAttackers | p.lineAttackers[e]) & 0xFF) >= MinAttackers) {
    a.record.checkFlag |= RecordThreat[c];
    a.s -= CoveredFlightsPenalty;
  }
  *net = a.matingNet;
  return a.s;
}

}  // namespace

int KingSafety(int* perColour) {
  Position& p = Pos;
  UndoRecord& record = EvaluationRecord();
  unsigned shades[2];
  BishopShades(p, shades);
  int terms[2];
  for (int c = 0; c < 2; c++) {
    const int e = c ^ 1, k = p.kingSquare(c);
    // Step 1: in the bare endgame, the king's activity: its square and its best safe step.
    if (p.Phase <= 1) {
      int best = KingSquareTable[c][k];
      for (const uint8_t* t = Geo.kingTargets[k]; *t != EndOfList; t++)
        if (!p.attackTable[e][*t].counts) best = std::max(best, int(KingSquareTable[c][*t]));
      terms[c] = (KingSquareTable[c][k] + best) / 2;
      continue;
    }
    // Step 2: open files near the king (against rooks and queens) and the attack on it.
    int s = 0;
    if (p.orthogonalSliders[e]) {
      const int kf = FileOf(k);
      const unsigned near = NearFiles[kf];
      for (unsigned set = FilesWithoutPawns(p, e) & near; set; set &= set - 1) s -= EnemyOpenFilePenalty[kf][LowestSlot(set)];
      for (unsigned set = FilesWithoutPawns(p, c) & near; set; set &= set - 1) s -= OwnOpenFilePenalty[kf][LowestSlot(set)];
    }
    bool net;
    s += AttackOn(c, p, record, shades, &net);
    if (net) {
      p.secondThreat[c] = p.largestThreat[c];
      p.largestThreat[c] = MatingNetThreat;
    }
    // Scaled by the phase (one more with an enemy queen), and by 5/4 unless the style keeps it plain.
    s = ((p.Phase + (p.queens(e) ? 1 : 0)) * s) >> 4;
    if (KingSafetyPlain != c + 1) s = (AmplifyNumerator * s) >> 2;
    terms[c] = s + KingSquareTable[c][k];
  }
  if (perColour) {
    perColour[White] = terms[White];
    perColour[Black] = terms[Black];
  }
  return terms[White] - terms[Black];
}

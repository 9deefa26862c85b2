// Threats against the pieces: overloaded defenders, pins and skewers, and pieces en prise that
// cannot get away. Every threat found is entered in its colour's threat list (the largest and the
// second-largest threat), which the fork term and the search read. Written once for both colours.
#include <algorithm>

#include "board/attack_update.h"
#include "board/board.h"
#include "board/geometry.h"
#include "eval/eval_internal.h"

namespace {

// The `counts` bits of the attackers of each piece type.
constexpr uint16_t TypeCountMask[7] = {0, CountMaskPawn, CountMaskKnight, CountMaskBishop, CountMaskRook, CountMaskQueen,
                                       CountMaskKing};
// Exchange classes: a piece escapes by capturing an enemy piece of at least its own class.
constexpr int PieceClass[7] = {0, 1, 2, 2, 3, 4, 5};

constexpr int ThreatBase = 6;            // every threat counted costs this much besides its shifted value
constexpr int OverloadMarkShift = 4;     // a defender's mark grows by the loss >> 4 per piece it must guard
constexpr int OverloadRepeatWeight = 16; // per mark unit, when a defender guards a second piece
constexpr int XrayDefenceUnits = 2;      // one x-ray attacker in xrayCounts
constexpr int PinBase = 3;
constexpr int PinValueShift = 7;
constexpr int PinFreeSliderPenalty = 3;  // the pinning slider is safe from the pinned piece
constexpr int PinDefenceShift = 6;
constexpr int MaxPinValue = 1248;

inline int Cost(unsigned enemyWord, unsigned ownWord) {
  return 8 * ExchangeCost[AttackCode[enemyWord & AttackCodeMask]][AttackCode[ownWord & AttackCodeMask]];
}
// What the enemy wins by taking a piece worth `value` with these attack words on its square.
inline int ExchangeGain(int value, unsigned enemyWord, unsigned ownWord) { return value - Cost(enemyWord, ownWord); }
inline unsigned Word(const AttackEntry& e) { return unsigned(e.counts) + e.xrayCounts; }

void RecordThreat(Position& p, int c, int v) {
  if (v > p.largestThreat[c]) {
    p.secondThreat[c] = p.largestThreat[c];
    p.largestThreat[c] = v;
  } else if (v > p.secondThreat[c]) {
    p.secondThreat[c] = v;
  }
}

// The loss that remains for c's piece on sq, threatened by t, when it tries to move away;
// 0 when some move gets it to safety.
int EscapeLoss(const Position& p, int c, int sq, int t) {
  const int them = c ^ 1, type = p.pieceType[sq];
  const AttackEntry* own = p.attackTable[c];
  const AttackEntry* enemy = p.attackTable[them];
  if (type == Pawn) {
    const int front = sq + (c == White ? 8 : -8);
    if (!p.pieceType[front] && enemy[front].attackerTotal <= own[front].attackerTotal) return 0;
    for (const uint8_t* x = Geo.pawnTargets[c][sq]; *x != EndOfList; x++)
      if (p.pieceType[*x] && p.colour[*x] == them) return 0;
    return t;
  }
  // One destination: -1 ends the line, 0 is an escape, 1 goes on.
  auto consider = [&](int x) {
    const int victim = p.pieceType[x];
    if (victim && p.colour[x] == c) return -1;
    if (victim && PieceClass[victim] >= PieceClass[type]) return 0;
    if (!enemy[x].counts) return 0;
    const int loss = ExchangeGain(pieceValue[type], Word(enemy[x]), Word(own[x]) - CountUnit[type]) - pieceValue[victim];
    if (loss < 1) return 0;
    t = std::min(t, loss);
    return victim ? -1 : 1;
  };
  if (type == Knight) {
    for (const uint8_t* x = Geo.knightTargets[sq]; *x != EndOfList; x++)
      if (consider(*x) == 0) return 0;
    return t;
  }
  const uint8_t* ray = Geo.rays[type][sq];
  const uint8_t* skip = Geo.raySkip[type][sq];
  for (int i = 0; ray[i] != EndOfList;) {
    const int r = consider(ray[i]);
    if (r == 0) return 0;
    i += r < 0 ? skip[i] + 1 : 1;
  }
  return t;
}

// Overloaded defenders of c's piece on sq (not en prise, attacked, no enemy attacker of its own
// type): a defender whose removal would lose the piece is tied to it. Returns the overload sum.
struct OverloadMarks {
  uint32_t marked = 0;   // slots already found overloaded for another piece
  int mark[16] = {};
};

int OverloadSum(Position& p, int c, int sq, OverloadMarks& marks, int* score) {
  const AttackEntry& own = p.attackTable[c][sq];
  const AttackEntry& enemy = p.attackTable[c ^ 1][sq];
  const int value = pieceValue[p.pieceType[sq]];
  const uint8_t* costs = ExchangeCost[AttackCode[Word(enemy) & AttackCodeMask]];
  const unsigned ownWord = Word(own);
  // What the enemy wins on sq with c's defence reduced to `defence`.
  auto gain = [&](unsigned defence) { return value - 8 * costs[AttackCode[defence & AttackCodeMask]]; };
  int sum = 0;
  auto overloaded = [&](int slot, int loss) {
    const int dsq = p.pieceList[c][slot];
    const uint32_t bit = 1u << slot;
    sum += pieceValue[p.pieceType[dsq]] / 2 + loss;
    if (marks.marked & bit) sum += OverloadRepeatWeight * marks.mark[slot] + loss;
    marks.marked |= bit;
    marks.mark[slot] += loss >> OverloadMarkShift;
    if (p.threatValue[dsq]) {
      const int m = std::min(loss, int(p.threatValue[dsq]));
      *score -= ThreatBase + (m >> ThreatShift[c]);
      RecordThreat(p, c, m);
    }
  };
  // Direct defenders, cheapest first; the king does not count.
  for (uint32_t set = own.attackers & ~1u; set;) {
    const int slot = HighestSlot(set);
    set ^= 1u << slot;
    const int type = p.pieceType[p.pieceList[c][slot]];
    const int loss = gain(ownWord - CountUnit[type]);
    if (loss > 0) overloaded(slot, loss);
    else if (!(own.counts & ~TypeCountMask[type])) break;   // the rest are of the same kind
  }
  // X-ray defenders, all alike.
  if (own.xrayAttackers) {
    const int loss = gain(ownWord - XrayDefenceUnits);
    if (loss >= 1)
      for (uint32_t set = own.xrayAttackers; set; set &= set - 1) overloaded(LowestSlot(set), loss);
  }
  return sum;
}

// The threats against the pieces of colour c, in c's own view. The colour is a template argument
// so that the tables of the scan over all pieces (most of them not attacked) are at fixed places.
template <int c>
int ThreatsAgainst(Position& p) {
  const int shift = ThreatShift[c];
  const AttackEntry* enemy = p.attackTable[c ^ 1];
  OverloadMarks marks;
  int score = 0;
  for (uint32_t set = p.usedSlots[c] & ~1u; set; set &= set - 1) {
    const int sq = p.pieceList[c][LowestSlot(set)];
    if (!enemy[sq].counts) continue;
    const int type = p.pieceType[sq];
    int t = p.threatValue[sq];

    // Step 1: overloaded defenders.
    if (!t && !(enemy[sq].counts & TypeCountMask[type])) {
      const int overload = OverloadSum(p, c, sq, marks, &score);
      score -= overload >> (shift + 1);
    }

    // Step 2: pins and skewers.
    int x = 0;
    if (type >= Knight && type <= Queen && (enemy[sq].counts & CountMaskSliders)) {
      int penalty = 0;
      x = PinScore(c, sq, &penalty);
      score += penalty;
    }

    // Step 3: en prise: once for the threat, and once more unless the piece can get away.
    if (!t) continue;
    score -= ThreatBase + (t >> shift);
    RecordThreat(p, c, t);
    if (x < t) {
      t = std::max(EscapeLoss(p, c, sq, t), x);
      if (!t) continue;
    }
    score -= ThreatBase + (t >> shift);
    RecordThreat(p, c, t);
  }
  return score;
}

}  // namespace

int PinScore(int c, int sq, int* penalty) {
  const Position& p = Pos;
  const int them = c ^ 1;
  const AttackEntry* own = p.attackTable[c];
  const AttackEntry* enemy = p.attackTable[them];
  const int front = p.pieceType[sq];
  int best = 0;
  for (uint32_t set = enemy[sq].attackers & p.allSliders[them]; set; set &= set - 1) {
    const int slot = LowestSlot(set);
    const int from = p.pieceList[them][slot];
    const int d = Direction(sq, from);
    // The first piece beyond sq on the slider's line.
    int behind = Geo.nextSquare[d][sq];
    while (behind != OffBoard && !p.pieceType[behind]) behind = Geo.nextSquare[d][behind];
    if (behind == OffBoard || p.colour[behind] != c) continue;

    // What the slider wins there once the piece on sq has gone (its x-ray, if counted, only once).
    const int target = p.pieceType[behind];
    unsigned enemyWord = Word(enemy[behind]) + CountUnit[p.pieceType[from]];
    if (enemy[behind].xrayAttackers & (1u << slot)) enemyWord -= XrayDefenceUnits;
    const unsigned ownWord = Word(own[behind]);
    const int x = ExchangeGain(pieceValue[target], enemyWord, ownWord);
    if (x <= 0) continue;
    best = std::max(best, std::min(x, MaxPinValue));
    *penalty -= PinBase + ((pieceValue[front] + x) >> PinValueShift);
    if (!p.threatValue[from] && !(own[from].attackers & p.slotBit[sq])) *penalty -= PinFreeSliderPenalty;
    // The pinned piece also guards what stands behind it.
    if (target != Pawn && (own[behind].attackers & p.slotBit[sq])) {
      const int y = ExchangeGain(pieceValue[target], enemyWord, ownWord - CountUnit[front]);
      if (y > 0) *penalty -= (*penalty >> PinValueShift) + (y >> PinDefenceShift);
    }
  }
  return best;
}

int ThreatScore(int* perColour) {
  Position& p = Pos;
  const int white = ThreatsAgainst<White>(p), black = ThreatsAgainst<Black>(p);
  if (perColour) {
    perColour[White] = white;
    perColour[Black] = black;
  }
  return white - black;
}

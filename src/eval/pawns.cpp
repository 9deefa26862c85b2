// Pawn structure: each pawn's square value, the king shelter it forms, weaknesses (unsupported,
// isolated, backward, doubled, blocked), pawn storms, passed and candidate passed pawns with king
// races, free paths and promotion threats. Recomputed at every full evaluation from the
// incremental pawn bytes and attack tables; there is no pawn hash. Written once for both colours
// in the pawn's own view: ranks are relative (0 = own first rank) and Black's squares mirrored.
#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>

#include "board/attack_update.h"
#include "board/board.h"
#include "board/geometry.h"
#include "eval/eval_internal.h"
#include "eval/tables.h"

uint16_t PawnSupportTable[1024];
uint8_t pawnMass[2][2];
int16_t PawnValues[64];

namespace {

// Shelter shift by relative rank index, and by file (files a, b, g, h shelter less far).
constexpr int ShelterShift[8] = {0, 1, 2, 3, 3, 2, 1, 0};
// Castling-wing shelter by file: 0 marks the files (g, h) where a pawn is worth phaseHalf more.
constexpr int ShelterWide[8] = {1, 1, 1, 2, 2, 1, 0, 0};
// Penalty for a weak pawn blockaded by an enemy piece, by the blocker's piece type.
constexpr int BlockerPenalty[7] = {0, 0, 8, 6, 4, 2, 6};
// Penalty when the stop square of a backward pawn is held by enemy pawns, by relative rank index of the stop square.
constexpr int StopSquarePenalty[8] = {0, 12, 8, 4, 2, 1, 1, 1};
// Bonus of a storming pawn, by relative rank index (shifted by the storm weight).
constexpr int StormBonus[8] = {0, 0, 0, 2, 3, 3, 3, 0};
// Passed pawns, by relative rank index: base value, and bonuses when sq is safe from enemy pawns and
// its path is covered by an own pawn / sq is defended by one / an own pawn covers the square two ahead.
constexpr int PassedBase[8] = {8, 16, 16, 32, 64, 112, 160, 208};
constexpr int PassedProtectedPath[8] = {0, 4, 7, 14, 28, 56, 112, 0};
constexpr int PassedDefended[8] = {0, 6, 6, 12, 24, 48, 96, 0};
constexpr int PassedDefensible[8] = {0, 2, 2, 4, 8, 16, 32, 0};

// Castling wings of an unmoved king: the pawns of these files shelter it.
constexpr uint8_t QueenSideWing = 0x03;   // files a, b
constexpr uint8_t KingSideWing = 0xE0;    // files f-h
constexpr uint8_t CentreWing = 0x38;      // files d-f, with only the queen-side castling left

constexpr int BlockedCentrePawnPenalty = 20;   // d2/e2 pawn blocked in front of its own bishop
constexpr int BackwardPenalty = 3;
constexpr int BackwardOnOpenFilePenalty = 11;   // enemy rooks or queens can attack it down the file
constexpr int BackwardDefendedRelief = 4;
constexpr int IsolatedOnOpenFilePenalty = 8;
constexpr int DoubledPenalty = 4;
constexpr int DoubledBackwardPenalty = 9;
constexpr int StormMinUnits = 17;      // own material in pawn units needed for a storm
constexpr int StormUnitsShift = 3;     // every 8 units more double the storm
constexpr int RookBehindBonus = 17;
constexpr int EnemyRookBehindPenalty = 21;
constexpr int DefenderMinorUnits = 4;  // below this the defender has at most one minor piece
constexpr int SquareRuleBase = 4;
constexpr int BareKingPassedBonus = 160;

constexpr int SecondRank = 1, SeventhRank = 6, EighthRank = 7;
constexpr int SupportFields = 4;      // fields per colour in a support word
constexpr int StopRankLimit = 4;      // a backward pawn's stop square lies below this rank index, else in front
constexpr int NoEnemyPawnAhead = 7;   // rank index standing for "no enemy pawn ahead"
constexpr int NoOwnPawnBeside = 6;

// Rank bits of a pawn-file byte mirrored, so that a byte reads in Black's own view.
constexpr std::array<uint8_t, 256> ReversedRanks = [] {
  std::array<uint8_t, 256> t{};
  for (int b = 0; b < 256; b++)
    for (int r = 0; r < 8; r++)
      if (b >> r & 1) t[b] |= uint8_t(0x80 >> r);
  return t;
}();

// The ten pawn bytes of one colour (files -1..8) with their rank bits mirrored; the first eight
// are mirrored together in one word.
void MirrorRanks(const uint8_t* files, uint8_t* out) {
  uint64_t x;
  std::memcpy(&x, files, 8);
  x = (x >> 1 & 0x5555555555555555u) | (x & 0x5555555555555555u) << 1;
  x = (x >> 2 & 0x3333333333333333u) | (x & 0x3333333333333333u) << 2;
  x = (x >> 4 & 0x0F0F0F0F0F0F0F0Fu) | (x & 0x0F0F0F0F0F0F0F0Fu) << 4;
  std::memcpy(out, &x, 8);
  out[8] = ReversedRanks[files[8]];
  out[9] = ReversedRanks[files[9]];
}

inline int KingDistance(int a, int b) {
  return std::max(std::abs(FileOf(a) - FileOf(b)), std::abs(RankOf(a) - RankOf(b)));
}
inline int PawnAttacks(const AttackEntry& e) { return (e.counts & CountMaskPawn) >> 10; }
// The lowest rank index at or above `from` with a bit in `ranks`, else `none`.
inline int LowestRankFrom(unsigned ranks, int from, int none) {
  unsigned m = ranks & (0xFFu << from) & 0xFFu;
  return m ? __builtin_ctz(m) : none;
}
// Field k of a support word: own pawns able to reach relative rank k + 1, enemy pawns relative rank k + 3.
inline int OwnField(unsigned support, int k) { return (support >> (2 * k)) & 3; }
inline int EnemyField(unsigned support, int k) { return (support >> (8 + 2 * k)) & 3; }
inline unsigned Support(uint8_t ours, uint8_t theirs) {
  return PawnSupportTable[((ours >> 1) & 31) | ((theirs >> 2) & 31) << 5];
}

// One colour's view of the board for its pawns.
struct PawnSide {
  const AttackEntry* own;
  const AttackEntry* enemy;
  uint8_t ours[10], theirs[10];       // pawn bytes by file -1..8, relative ranks
  uint8_t wing;                       // castling-wing shelter files, 0 for none
  uint8_t stormFiles;                 // files of a pawn storm planned at the root, 0 for none
  int units, enemyUnits;              // material in pawn units
  bool enemyHeavy;                    // the enemy has rooks or queens
  int usToMove, themToMove;
};

// The castling wings whose pawns shelter an unmoved king.
uint8_t CastlingWing(const Position& p, int c) {
  if (p.moveCount[p.kingSquare(c)]) return 0;
  auto unmovedRook = [&](int sq) { return p.pieceType[sq] == Rook && p.colour[sq] == c && !p.moveCount[sq]; };
  const bool queenSide = unmovedRook(castleRookSquare[c][QueenSide]);
  uint8_t wing = queenSide ? QueenSideWing : 0;
  if (unmovedRook(castleRookSquare[c][KingSide])) wing |= KingSideWing;
  else if (queenSide) wing |= CentreWing;
  return wing;
}

// Where a pawn of colour Us stands, in its own view. The colour is a template argument so that
// the direction and the mirroring are constants.
template <int Us>
struct PawnPlace {
  static constexpr int us = Us, them = Us ^ 1;
  static constexpr int forward = Us == White ? 8 : -8;
  static constexpr int flip = Us == White ? 0 : 56;   // XOR turning a relative square into an actual one
  int sq, f, rel, r, front;
  explicit PawnPlace(int square)
      : sq(square), f(FileOf(square)), rel(square ^ flip), r(RankOf(square ^ flip)), front(square + forward) {}
};

// The steps that few pawns reach are kept out of line, so that the common path keeps its values
// in registers. Each returns its change to the pawn's value.

// Step 5: weaknesses of a pawn that no neighbour can come to defend; `backward` is set for a
// backward pawn.
struct Weakness {
  int change;
  bool backward;
};

template <int Us>
__attribute__((noinline)) Weakness WeakPawnTerm(const Position& p, const PawnSide& s, int sq, bool covered,
                                                bool blockedFile) {
  const PawnPlace<Us> w(sq);
  constexpr int them = PawnPlace<Us>::them, flip = PawnPlace<Us>::flip;
  const int f = w.f, rel = w.rel, r = w.r, front = w.front;
  const uint8_t* ours = s.ours + 1;   // indexable by files -1..8
  const uint8_t* theirs = s.theirs + 1;
  const int frontType = p.pieceType[front];
  const bool frontEnemy = frontType && p.colour[front] == them;
  const bool frontEnemyPawn = frontEnemy && frontType == Pawn;
  const uint8_t ownAdj = ours[f - 1] | ours[f + 1];
  const int enemyAhead = LowestRankFrom(theirs[f - 1] | theirs[f + 1], r + 2, NoEnemyPawnAhead);
  int v = 0;
  bool backward = false;
  // 5.1: unprotectable, and worse with an enemy piece sitting in front.
  if (!covered && !frontEnemyPawn) {
    v -= WeakPawnPenalty[rel];
    if (frontEnemy) v -= BlockerPenalty[frontType];
  }
  // 5.2: isolated.
  if (!ownAdj) {
    v -= IsolatedPenalty[f] + p.endgameHalf;
    if (!blockedFile && s.enemyHeavy) v -= IsolatedOnOpenFilePenalty;
  }
  // 5.3: backward: fewer own pawns can come to defend the stop rank than enemy pawns can attack it.
  const int ownBeside = LowestRankFrom(ownAdj, r, NoOwnPawnBeside);
  const int k = enemyAhead - 3;
  if (k >= 0 && k < std::min(ownBeside, SupportFields)) {
    const unsigned support = Support(ours[f - 1], theirs[f - 1]) + Support(ours[f + 1], theirs[f + 1]);
    if (OwnField(support, k) < EnemyField(support, k)) {
      backward = true;
      int deduction = BackwardPenalty;
      if (!frontEnemyPawn) {
        const int stopRel = enemyAhead - 1 < StopRankLimit ? (enemyAhead - 1) * 8 + f : rel + 8;
        const int stop = stopRel ^ flip;
        if (!blockedFile && s.enemyHeavy) deduction = BackwardOnOpenFilePenalty;
        const int enemyPawns = PawnAttacks(s.enemy[stop]), ownPawns = PawnAttacks(s.own[stop]);
        if (enemyPawns > ownPawns) {
          const int penalty = WeakPawnPenalty[stopRel - 8] + StopSquarePenalty[RankOf(stopRel)];
          v -= penalty;
          if (enemyPawns - ownPawns >= 2) v -= penalty;
        }
        if (s.enemy[sq].attackerTotal <= s.own[sq].attackerTotal) v += BackwardDefendedRelief;
      }
      v -= deduction;
    }
  }
  return {v, backward};
}

// Step 7: pawn storm on the wing planned at the root.
template <int Us>
__attribute__((noinline)) int StormTerm(const Position& p, const PawnSide& s, int sq, bool covered,
                                        bool attackedByPawn) {
  const PawnPlace<Us> w(sq);
  constexpr int us = PawnPlace<Us>::us;
  const int f = w.f, r = w.r, front = w.front;
  const uint8_t* theirs = s.theirs + 1;
  const int frontType = p.pieceType[front];
  int v = 0;
  const int u = StormLevel[us] + ((s.units - StormMinUnits) >> StormUnitsShift);
  v -= 2 << u;
  const int g = StormBonus[r] << u;
  const bool frontPawn = frontType == Pawn;
  if (r > 2) {
    if (StormLevel[us] == 0) {
      if (!frontPawn || attackedByPawn || covered) v += g;
    } else {
      const int besideNearest = LowestRankFrom(theirs[f - 1] | theirs[f + 1], r + 1, NoEnemyPawnAhead);
      const int fileNearest = LowestRankFrom(theirs[f], r + 1, NoEnemyPawnAhead);
      const bool doublyAttacked = PawnAttacks(s.enemy[front]) - PawnAttacks(s.own[front]) >= 2;
      if (besideNearest <= fileNearest && !doublyAttacked) {
        if (!frontPawn) v += g;
        else if (attackedByPawn || covered) v += g >> 1;
      }
    }
  }
  return v;
}

// Step 8: passed and candidate passed pawns (on a file free of pawns ahead, not backward).
template <int Us>
__attribute__((noinline)) int PassedTerm(Position& p, const PawnSide& s, int sq, bool covered, bool attackedByPawn) {
  const PawnPlace<Us> w(sq);
  constexpr int us = PawnPlace<Us>::us, them = PawnPlace<Us>::them;
  constexpr int forward = PawnPlace<Us>::forward, flip = PawnPlace<Us>::flip;
  const int f = w.f, r = w.r, front = w.front;
  const uint8_t* ours = s.ours + 1;   // indexable by files -1..8
  const uint8_t* theirs = s.theirs + 1;
  const int frontType = p.pieceType[front];
  int v = 0;
  const int enemyKing = p.kingSquare(them), ownKing = p.kingSquare(us);
  const int enemyAhead = LowestRankFrom(theirs[f - 1] | theirs[f + 1], r + 2, NoEnemyPawnAhead);
  if (enemyAhead != NoEnemyPawnAhead) {
    // Candidate: the own pawns beside it can carry it past the nearest enemy pawn at enemyAhead.
    const unsigned support = Support(ours[f - 1], theirs[f - 1]) + Support(ours[f + 1], theirs[f + 1]);
    const int past = enemyAhead - 3, beyond = enemyAhead - 2;
    const int besideStop = ((enemyAhead - 1) * 8 + f) ^ flip;
    const bool passes = OwnField(support, past) >= EnemyField(support, past);
    // With the nearest enemy pawn still on its own second rank, no enemy pawn can ever attack the
    // square beyond it (the table has no field for it): nothing contests that step.
    const bool goesOn = beyond >= SupportFields ||
                        OwnField(support, beyond) - PawnAttacks(s.own[besideStop]) >= EnemyField(support, beyond);
    if (passes && goesOn)
      v += std::abs(f - FileOf(enemyKing)) + ((r - (r == 2)) << p.endgameEighth) + p.endgameHalf;
    return v;
  }

  // 8.1: protection.
  int bonus = 0;
  if (!attackedByPawn) {
    if (covered) bonus = PassedProtectedPath[r];
    else if (PawnAttacks(s.own[sq])) bonus = PassedDefended[r];
    else if (!frontType && r < SeventhRank && PawnAttacks(s.own[front + forward])) bonus = PassedDefensible[r];
  }

  // 8.2: rooks and queens behind the pawn on its file.
  const int promotion = (EighthRank * 8 + f) ^ flip;
  unsigned ownUnits = s.own[promotion].counts, enemyUnits = s.enemy[promotion].counts;
  int balance = 0;
  auto behind = [&](int from) { return FileOf(from) == f && (us == White ? from < sq : from > sq); };
  for (uint32_t set = uint32_t(s.own[sq].attackers | s.own[sq].xrayAttackers) & p.orthogonalSliders[us]; set;
       set &= set - 1) {
    const int from = p.pieceList[us][LowestSlot(set)];
    if (!behind(from)) continue;
    bonus += RookBehindBonus;
    ownUnits += CountUnit[p.pieceType[from]];
    balance++;
  }
  for (uint32_t set = uint32_t(s.enemy[sq].attackers | s.enemy[sq].xrayAttackers) & p.orthogonalSliders[them]; set;
       set &= set - 1) {
    const int from = p.pieceList[them][LowestSlot(set)];
    if (!behind(from)) continue;
    bonus -= EnemyRookBehindPenalty;
    enemyUnits += CountUnit[p.pieceType[from]];
    balance--;
  }

  // 8.3: king race to the pawn and to its promotion square.
  const int dp = KingDistance(ownKing, sq) - KingDistance(enemyKing, sq) + s.themToMove;
  const int dq = KingDistance(ownKing, promotion) - KingDistance(enemyKing, promotion) + s.themToMove;
  const bool weakDefender = s.enemyUnits < DefenderMinorUnits;
  if (weakDefender) {
    if (dp < 0 && dq < 0) balance++;
    else if (dp > 0 && dq > 0) balance--;
  }

  // 8.4: the free path: each square ahead controlled by the own side (with the balance of rooks
  // behind and the king race) raises the value, each one held by the enemy or occupied lowers it.
  int a = PassedBase[r], k = 2, blocked = 0;
  for (int to = front, rank = r + 1; rank <= EighthRank; rank++, to += forward) {
    if (!p.pieceType[to]) {
      if (s.own[to].attackerTotal - s.enemy[to].attackerTotal + balance < 0) {
        a -= a >> (k + 1);
        k += 2;
      } else {
        k += 1;
        a += a >> k;
      }
    } else {
      blocked++;
      if (p.colour[to] == them && !p.threatValue[to]) {
        a -= a >> k;
        k += 1;
      }
      k += 2;
    }
  }

  // 8.5: sum.
  bonus = bonus - 2 * dp - 2 * dq + (a >> (k - 8 + r)) + a;

  // 8.6: the square rule: the enemy king cannot catch the pawn.
  const int q = (r == SecondRank) - blocked - s.themToMove + KingDistance(enemyKing, promotion) - 7 + r;
  if (q > 0) bonus += (q + SquareRuleBase) << p.endgameEighth;

  // 8.7: against at most a minor piece.
  if (weakDefender) {
    if (q > 0 && p.material[them] == 0) bonus += BareKingPassedBonus;
    else if ((q > 0 || dp < 1) && dq < 0) bonus += a >> 1;
    else if (q > 0 && k - 7 + r == 2) bonus += a >> 2;
  }

  // 8.8: passed pawns count more as pieces leave.
  const int scaled = (((p.Phase >> 3) + p.endgameWeight) * bonus) >> 4;

  // 8.9: a pawn on the seventh threatens to promote: what the promotion wins after the exchange
  // on the promotion square (all of the queen when the enemy cannot take there), or the threat to
  // the piece standing there.
  if (r == SeventhRank) {
    int t = 0;
    bool threat = true;
    if (!p.pieceType[promotion]) {
      const int enemyCode = AttackCode[enemyUnits & AttackCodeMask], ownCode = AttackCode[ownUnits & AttackCodeMask];
      t = enemyCode ? 8 * ExchangeCost[enemyCode][ownCode] : pieceValue[Queen];
    } else {
      t = p.threatValue[promotion];
      threat = t != 0;
    }
    t -= pieceValue[Pawn] + scaled;
    if (threat && t > 0) {
      const int shift = PassedShift[them];
      v += t >> shift;
      if (t > p.largestThreat[them]) {
        if (s.usToMove || !p.threatValue[sq]) {
          p.secondThreat[them] = t;
          v += t >> shift;
        } else {
          p.secondThreat[them] = p.largestThreat[them];
        }
        p.largestThreat[them] = t;
      } else if (t > p.secondThreat[them]) {
        p.secondThreat[them] = t;
      }
    }
  }

  // 8.10.
  return v + scaled;
}

// The value of the pawn of colour Us on sq in its own colour's view. The central pawn mass is
// added to `mass` (by square shade), kept in registers until PawnStructure stores it.
template <int Us>
int EvaluatePawn(Position& p, const PawnSide& s, int sq, unsigned mass[2]) {
  const PawnPlace<Us> w(sq);
  constexpr int us = PawnPlace<Us>::us, flip = PawnPlace<Us>::flip;
  const int f = w.f, rel = w.rel, r = w.r, front = w.front;
  const uint8_t* ours = s.ours + 1;   // indexable by files -1..8
  const uint8_t* theirs = s.theirs + 1;
  const bool blockedFile = ((ours[f] | theirs[f]) & (0xFEu << r) & 0xFFu) != 0;
  const bool covered = (s.own[front].counts & CountMaskPawn) != 0;
  const bool attackedByPawn = (s.enemy[sq].counts & CountMaskPawn) != 0;
  const int frontType = p.pieceType[front];

  // Step 1: the root pawn table.
  int v = PawnSquareTable[us][sq];

  // Step 2: shelter for the own king, by castling wing while it may still castle, else by nearness.
  if (p.Phase > 1) {
    int b = 0;
    if (s.wing) {
      if (s.wing >> f & 1) {
        b = ShelterWide[f] == 0 ? p.phaseHalf + 2 * p.Phase : 2 * p.Phase;
        b >>= ShelterShift[r];
      }
    } else {
      const int d = KingDistance(sq, ShelterCentre[p.kingSquare(us)]);
      if (d <= 2) {
        b = ShelterShift[f] > 1 ? 2 * p.Phase : 3 * p.Phase;
        b >>= (d - 1) + ShelterShift[r];
      }
    }
    if (b && ShelterShift[f] < 2 && (covered || attackedByPawn)) b += b >> 2;
    v += b;
  }

  // Step 3: central pawn mass by square shade; fixed pawns count fully. A blocked d- or e-pawn on
  // its second rank shuts its own bishop in.
  const int weight = CentreWeight[sq];
  unsigned& shadeMass = mass[Geo.shade[sq]];
  if (!frontType) {
    shadeMass += weight >> 1;
  } else {
    if (frontType == Pawn && !attackedByPawn && !covered) shadeMass += weight;
    else shadeMass += ((weight >> 1) + weight) >> 1;
    constexpr int D2 = 11, E2 = 12, C1 = 2, F1 = 5;
    auto ownBishopOn = [&](int relSq) {
      return p.pieceType[relSq ^ flip] == Bishop && p.colour[relSq ^ flip] == us;
    };
    if ((rel == D2 && ownBishopOn(C1)) || (rel == E2 && ownBishopOn(F1))) v -= BlockedCentrePawnPenalty;
  }

  // Step 4: a covered front on the fourth rank or beyond.
  if (covered && r >= 3) v += ((v + 8) >> 2) + r;

  // Step 5: weaknesses of a pawn that no neighbour can come to defend.
  const int supportField =
      r >= 2 && r <= 5 ? OwnField(Support(ours[f - 1], theirs[f - 1]) + Support(ours[f + 1], theirs[f + 1]), r - 2) : 0;
  bool backward = false;
  if (!supportField && !(covered && blockedFile)) {
    const Weakness weakness = WeakPawnTerm<Us>(p, s, sq, covered, blockedFile);
    v += weakness.change;
    backward = weakness.backward;
  }

  // Step 6: doubled.
  if (ours[f] & (ours[f] - 1)) v -= (backward ? DoubledBackwardPenalty : DoubledPenalty) + p.endgameQuarter;

  // Step 7: pawn storm on the wing planned at the root.
  if (s.stormFiles >> f & 1) v += StormTerm<Us>(p, s, sq, covered, attackedByPawn);

  // Step 8: passed and candidate passed pawns.
  if (blockedFile || backward) return v;
  return v + PassedTerm<Us>(p, s, sq, covered, attackedByPawn);
}

// The pawns of colour Us, highest slot first (the order only matters to the threat lists), in
// that colour's view.
template <int Us>
int PawnsOf(Position& p, const PawnSide& s, unsigned mass[2]) {
  int sum = 0;
  for (uint32_t set = p.pawns(Us); set;) {
    const int slot = HighestSlot(set);
    set ^= 1u << slot;
    const int sq = p.pieceList[Us][slot];
    const int v = EvaluatePawn<Us>(p, s, sq, mass);
    PawnValues[sq] = int16_t(v);
    sum += v;
  }
  return sum;
}

}  // namespace

void InitPawnTables() {
  for (int index = 0; index < 1024; index++) {
    const unsigned white = unsigned(index & 31) << 1;   // bit r: a White pawn on rank index r
    const unsigned black = unsigned(index >> 5) << 2;
    // Rank bits from..to (none when to < from).
    auto ranks = [](int from, int to) { return to < from ? 0u : ((2u << to) - 1) & ~((1u << from) - 1); };
    uint16_t entry = 0;
    for (int k = 0; k < 4; k++) {
      const int whiteTarget = k + 1, blackTarget = k + 3;
      for (int o = 1; o <= whiteTarget; o++)
        if ((white >> o & 1) && !(black & ranks(o + 1, whiteTarget))) entry |= uint16_t(1u << (2 * k));
      for (int e = blackTarget; e <= 6; e++)
        if ((black >> e & 1) && !(white & ranks(blackTarget, e - 1))) entry |= uint16_t(1u << (8 + 2 * k));
    }
    PawnSupportTable[index] = entry;
  }
}

int PawnStructure(int whiteToMove, int blackToMove) {
  Position& p = Pos;
  PawnSide sides[2];
  // White reads the pawn bytes as they are, Black with the ranks mirrored.
  std::memcpy(sides[White].ours, p.pawnFiles[White], 10);
  std::memcpy(sides[White].theirs, p.pawnFiles[Black], 10);
  MirrorRanks(p.pawnFiles[Black], sides[Black].ours);
  MirrorRanks(p.pawnFiles[White], sides[Black].theirs);
  for (int us = 0; us < 2; us++) {
    PawnSide& s = sides[us];
    s.own = p.attackTable[us];
    s.enemy = p.attackTable[us ^ 1];
    s.wing = CastlingWing(p, us);
    s.units = SignatureUnits(p.materialSignature[us]);
    s.stormFiles = StormLevel[us] != NoStorm && s.units >= StormMinUnits ? StormFiles[us] : 0;
    s.enemyUnits = SignatureUnits(p.materialSignature[us ^ 1]);
    s.enemyHeavy = (p.rooks(us ^ 1) | p.queens(us ^ 1)) != 0;
    s.usToMove = us == White ? whiteToMove : blackToMove;
    s.themToMove = us == White ? blackToMove : whiteToMove;
  }

  // The central pawn mass by colour and shade; a byte that wraps like the stored one.
  unsigned mass[2][2] = {{0, 0}, {0, 0}};
  const int white = PawnsOf<White>(p, sides[White], mass[White]);
  const int black = PawnsOf<Black>(p, sides[Black], mass[Black]);
  int total = white - black;
  for (int c = 0; c < 2; c++)
    for (int shade = 0; shade < 2; shade++) pawnMass[c][shade] = uint8_t(mass[c][shade]);

  // Hyper-modern play: the engine keeps its pawns off the centre and lets the opponent take it.
  if (HyperModernPlay) {
    const int m = (pawnMass[RootSide][0] + pawnMass[RootSide][1]) >> 1;
    total += RootSide == White ? -m : m;
  }
  return total;
}

int PawnTableSum() {
  const Position& p = Pos;
  int sum = 0;
  for (int c = 0; c < 2; c++)
    for (uint32_t set = p.pawns(c); set; set &= set - 1) {
      const int sq = p.pieceList[c][LowestSlot(set)];
      sum += c == White ? PawnSquareTable[c][sq] : -PawnSquareTable[c][sq];
    }
  return sum;
}

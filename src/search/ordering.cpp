// Move ordering: turns the generators' initial scores into the final order, and keeps the
// killers, the history and the cut-off statistics that the search feeds after cut-offs.
#include "search/ordering.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "board/attack_update.h"
#include "board/board.h"
#include "board/geometry.h"
#include "search/search_state.h"
#include "core/settings.h"

uint16_t TryCount[RootHistorySize];
uint16_t CutoffCount[RootHistorySize];
uint8_t CutoffRatio[RootHistorySize];
KingZone CurrentKingZone;

namespace {

// Offsets of the plain pass (OrderMoves).
constexpr int NoLossBase = 30003;      // captures and promotions that lose nothing
constexpr int LossBase = 30000;        // subtracted from losing captures and from quiet moves
constexpr int Killer1History = 60002;  // the killers read as these history values
constexpr int Killer2History = 60001;
constexpr Move TacticalBits = 0x6000;  // capture or promotion kinds

// History limits: RootHistory is halved as a whole beyond this, a try count beyond TryLimit.
constexpr int HistoryLimit = 60000;
constexpr int TryLimit = 65469;

// King-zone pass: the bonus for a check that leaves the king no flight square, and the weights
// of the checking piece's type and of its distance from the king.
constexpr int NoFlightBonus = 2000;
constexpr int CheckTypeWeight = 8;
constexpr int CheckDistanceWeight = 8;
constexpr int CheckScoringMode = 2;
constexpr int ThreatValueShift = 6;

// Attacker kinds that block a king's flight square for the mating-net test: pawn, knight, bishop, king.
constexpr uint32_t FlightBlockingTypes = 1u << Pawn | 1u << Knight | 1u << Bishop | 1u << King;

// Knight checks: which of the king's neighbours the checking knight also covers, indexed by the
// knight-jump code (8-15) from the knight toward the king minus 8. Built from the jump vectors:
// neighbour x of the king is covered when x - knight square is itself a knight jump.
constexpr int FileDelta[16] = {1, 0, -1, 0, -1, 1, -1, 1, -1, -2, -2, -1, 1, 2, 2, 1};
constexpr int RankDelta[16] = {0, 1, 0, -1, 1, 1, -1, -1, -2, -1, 1, 2, 2, 1, -1, -2};
constexpr uint8_t KnightCoverage(int jump) {
  uint8_t mask = 0;
  for (int e = 0; e < 8; e++) {
    int df = FileDelta[jump] + FileDelta[e], dr = RankDelta[jump] + RankDelta[e];
    int af = df < 0 ? -df : df, ar = dr < 0 ? -dr : dr;
    if ((af == 1 && ar == 2) || (af == 2 && ar == 1)) mask |= uint8_t(1u << e);
  }
  return mask;
}
constexpr uint8_t KnightCheckMask[8] = {KnightCoverage(8),  KnightCoverage(9),  KnightCoverage(10), KnightCoverage(11),
                                        KnightCoverage(12), KnightCoverage(13), KnightCoverage(14), KnightCoverage(15)};

inline bool IsTactical(Move m) { return (m & TacticalBits) != 0; }

// Adds to the attack words at the promotion square the rooks, bishops and queens of both sides
// that stand behind the promoting pawn on the line from its destination through its origin:
// once the pawn has gone, they bear on the destination.
void AddSupportBehind(const Position& p, int side, int from, int to, unsigned& own, unsigned& enemy) {
  int back = OppositeDirection[Direction(from, to)];  // the step from a piece behind toward the origin
  for (int c = 0; c < 2; c++) {
    uint32_t sliders = p.attackTable[c][from].attackers & p.allSliders[c];
    while (sliders) {
      int sq = p.pieceList[c][LowestSlot(sliders)];
      sliders &= sliders - 1;
      int type = p.pieceType[sq];
      if (Direction(from, sq) != back || !((DirectionTypeMask[back] >> type) & 1)) continue;
      (c == side ? own : enemy) += CountUnit[type];
    }
  }
}

// What a move to an attacked square is expected to lose: the stake (the value the move puts at
// risk) minus what its side wins back in the exchange. The exchange table is the one the threat
// values use (ExchangeCost, built from the exchange rule: the enemy takes first with its cheapest
// attacker, then both sides recapture cheapest first and either may stop); it gives the value the
// moving side keeps, in units of 8, from both sides' attack words (counts plus x-rays). The
// mover's own attack on the square is taken out first, since it cannot defend itself; a pawn
// moving straight has none. For a promotion the sliders behind the pawn may join in, since they
// bear on the square once the pawn has gone.
int ExchangeLoss(const Position& p, int side, int from, int to, int moverType, int stake, bool supportBehind) {
  const AttackEntry& ownAt = p.attackTable[side][to];
  const AttackEntry& enemyAt = p.attackTable[side ^ 1][to];
  unsigned own = ownAt.counts + ownAt.xrayCounts;
  unsigned enemy = enemyAt.counts + enemyAt.xrayCounts;
  if (ownAt.attackers & p.slotBit[from]) own -= CountUnit[moverType];
  if (supportBehind) AddSupportBehind(p, side, from, to, own, enemy);
  int kept = 8 * ExchangeCost[AttackCode[enemy & AttackCodeMask]][AttackCode[own & AttackCodeMask]];
  return kept < stake ? stake - kept : 0;
}

inline int KingDistance(int a, int b) {
  return std::max(std::abs(FileOf(a) - FileOf(b)), std::abs(RankOf(a) - RankOf(b)));
}

// The neighbours of the king at k that the check of piece type `checker` from t covers, d being
// the direction code from t toward k.
uint8_t CoveredByCheck(const KingZone& z, int checker, int d, int t, int k) {
  if (d >= 8) {
    // Knight checks come with a jump code; a marked discovered check whose mover stands off the
    // king's lines claims nothing.
    return checker == Knight && d < NoDirection ? KnightCheckMask[d - 8] : 0;
  }
  // The masks describe a checker standing in direction `side` of the king.
  const int side = OppositeDirection[d], distance = KingDistance(t, k);
  if (distance == 1 && checker == Queen) return QueenContactMask[z.blocked & 15][side];
  if (distance == 1 && checker == Rook) return WideCheckMask[side];
  if (distance == 2 && checker == Queen) return QueenDistanceTwoMask[side];
  return NarrowCheckMask[side];
}

// Adds to a try count (and the cut-off count), halving both when the try count grows too
// large, and recomputes the ratio. A ratio of exactly 256 wraps to 0 in its byte.
void CountTry(int entry, int depth, int cutoffs) {
  int tries = TryCount[entry] + depth, cuts = CutoffCount[entry] + cutoffs;
  if (tries > TryLimit) {
    tries = (tries + 1) / 2;
    cuts = (cuts + 1) / 2;
  }
  TryCount[entry] = uint16_t(tries);
  CutoffCount[entry] = uint16_t(cuts);
  CutoffRatio[entry] = uint8_t(tries ? cuts * 256 / tries : 0);
}

void CreditHistory(int entry, int amount) {
  int value = RootHistory[entry] + amount;
  RootHistory[entry] = uint16_t(std::min(value, 0xFFFF));
  if (value <= HistoryLimit) return;
  for (uint16_t& h : RootHistory) h = uint16_t((h + 1) / 2);
}

void ClearKillers() { std::memset(Pos.killers, 0, sizeof Pos.killers); }

}  // namespace

void OrderMoves(int side, int ply) {
  const Position& p = Pos;
  const AttackEntry* enemyTable = p.attackTable[side ^ 1];
  const uint16_t* history = RootHistory + side * HistorySize;
  const int killer1 = p.killers[0][ply], killer2 = p.killers[1][ply];
  for (MoveEntry *e = MoveListBegin(ply), *end = MoveListEnd(ply); e < end; e++) {
    const Move m = e->move;
    const int from = MoveFrom(m), to = MoveTo(m), type = p.pieceType[from];
    int v = e->score;
    const bool tactical = IsTactical(m);
    int h = 0;
    if (!tactical) {
      int x = (type - 1) * 64 + to;
      h = x == killer1 ? Killer1History : x == killer2 ? Killer2History : history[x];
    }
    // Step 1-2: an exchange estimate when the destination is attacked, except for quiet moves
    // with a history (they have proved themselves) and castling (the king's path is safe). The
    // stake is the moving piece, for a promotion the pawn; only a queen promotion counts the
    // sliders behind the pawn.
    if (enemyTable[to].counts && (tactical || h == 0) && MoveKind(m) != KindCastle)
      v -= ExchangeLoss(p, side, from, to, type, pieceValue[type], MoveKind(m) == KindPromoQueen);
    // Step 3: the final score.
    if (tactical)
      v = v >= 0 ? v + NoLossBase : v - LossBase;
    else
      v = v + h - LossBase;
    e->score = int16_t(v);
  }
}

void BuildKingZone(int kingSide, int attackerSide) {
  const Position& p = Pos;
  KingZone& z = CurrentKingZone;
  // Step 1: forget the previous sole attackers.
  for (uint32_t set = z.soleAttackers; set; set &= set - 1) z.flight[LowestSlot(set)] = 0;
  z.soleAttackers = 0;
  z.blocked = z.free = 0;
  z.zone = 0;
  const int k = p.kingSquare(kingSide);
  const AttackEntry* attacks = p.attackTable[attackerSide];
  for (int d = 0; d < 8; d++) {
    int x = Geo.nextSquare[d][k];
    if (x == OffBoard) continue;
    const uint8_t b = uint8_t(1u << d);
    const AttackEntry& a = attacks[x];
    if (p.colour[x] == kingSide) {
      // Step 2: an own piece stands there.
      z.blocked |= b;
    } else {
      // Step 3: empty or an attacker's piece.
      if (p.colour[x] == attackerSide && ((FlightBlockingTypes >> p.pieceType[x]) & 1)) z.blocked |= b;
      if (!a.counts) {
        z.free |= b;
      } else if (a.attackerTotal == 1) {
        int slot = LowestSlot(a.attackers);
        z.soleAttackers |= 1u << slot;
        z.flight[slot] |= b;
      }
    }
    // Step 4: every piece that bears on the zone belongs to it.
    z.zone |= uint16_t(a.attackers | a.xrayAttackers);
  }
}

void OrderMovesKingZone(int side, int ply, int mode) {
  const Position& p = Pos;
  const int enemy = side ^ 1;
  const int k = p.kingSquare(enemy);
  const AttackEntry* enemyTable = p.attackTable[enemy];
  const bool scoreChecks = (mode & CheckScoringMode) != 0;
  // Step 1: the enemy king's zone, when checks are scored.
  if (scoreChecks) BuildKingZone(enemy, side);
  const KingZone& z = CurrentKingZone;
  for (MoveEntry *e = MoveListBegin(ply), *end = MoveListEnd(ply); e < end; e++) {
    Move m = e->move;
    const int from = MoveFrom(m), to = MoveTo(m), type = p.pieceType[from];
    int v = e->score;
    // Step 2: the exchange estimate on an attacked destination. Every promotion stakes a queen
    // and counts the sliders behind the pawn.
    int loss = 0;
    if (enemyTable[to].counts && MoveKind(m) != KindCastle) {
      const bool promotion = IsPromotion(m);
      loss = ExchangeLoss(p, side, from, to, type, pieceValue[promotion ? Queen : type], promotion);
    }
    v -= loss;
    // Step 3: checks. A move the generator marked as checking has its code from its own
    // direction toward the king; the others ask GivesCheck.
    if (scoreChecks) {
      int code = (m & CheckMark) ? 8 * Direction(k, to) + type : GivesCheck(m, side);
      if (code) {
        m |= CheckMark;
        const int checker = code & 7, d = code >> 3;
        if (loss == 0) {
          if (checker < Knight) {
            if (!z.free) v += NoFlightBonus;
          } else {
            uint8_t flights = uint8_t(z.flight[LowestSlot(p.slotBit[from])] ^ z.free);
            if (!(flights & ~CoveredByCheck(z, checker, d, to, k))) v += NoFlightBonus;
          }
        }
        v += QuiescenceCheckMargin + CheckTypeWeight * checker -
             CheckDistanceWeight * (std::abs(FileOf(to) - FileOf(k)) + std::abs(RankOf(to) - RankOf(k)));
      }
    }
    // Step 4: the threat on the moving piece makes moving it more urgent.
    e->move = m;
    e->score = int16_t(v + (p.threatValue[from] >> ThreatValueShift));
  }
}

bool MarkTableMove(int ply, Move tableMove) {
  const Move identity = Move(tableMove & ~CheckMark);
  for (MoveEntry *e = MoveListBegin(ply), *end = MoveListEnd(ply); e < end; e++) {
    if (Move(e->move & ~CheckMark) != identity) continue;
    e->move |= Move(tableMove & CheckMark);
    e->score = TableMoveScore;
    return true;
  }
  return false;
}

MoveEntry* SelectNextMove(MoveEntry* current, MoveEntry* end) {
  if (current >= end) return nullptr;
  MoveEntry* best = current;
  for (MoveEntry* e = current + 1; e < end; e++)
    if (e->score > best->score) best = e;
  std::swap(*best, *current);
  return current;
}

void UpdateHistoryOnCutoff(int ply, int side, int depth, Move cutoffMove, const MoveEntry* list, const MoveEntry* end) {
  const int x = HistoryIndex(cutoffMove);
  // Step 1: killers.
  if (x != Killer1(ply)) {
    Killer2(ply) = Killer1(ply);
    Killer1(ply) = uint16_t(x);
  }
  // Steps 2-3: history, try and cut-off counts of the cut-off move.
  const int entry = side * HistorySize + x;
  CreditHistory(entry, depth * depth);
  CountTry(entry, depth, depth);
  // Step 4: the quiet moves searched before it at this node were tried in vain.
  const Move identity = Move(cutoffMove & ~CheckMark);
  for (const MoveEntry* e = list; e < end && Move(e->move & ~CheckMark) != identity; e++)
    if (e->score == SearchedMoveScore && !IsTactical(e->move)) CountTry(HistoryEntry(side, e->move), depth, 0);
}

void CreditRootHistory(int side, Move m, int depth) { CreditHistory(HistoryEntry(side, m), depth * depth); }

void AgeHistoryForSearch() {
  // With Retain Hash the knowledge of earlier searches is kept but weighs a quarter: histories
  // round down, counts round up (a try count never reaches 0). The ratios stay as they are
  // until the entry is next updated.
  const bool retain = (SearchFlags & FlagRetainHash) != 0;
  for (int i = 0; i < RootHistorySize; i++) {
    if (retain) {
      RootHistory[i] = uint16_t(RootHistory[i] / 4);
      TryCount[i] = uint16_t((TryCount[i] + 3) / 4);
      CutoffCount[i] = uint16_t((CutoffCount[i] + 3) / 4);
    } else {
      RootHistory[i] = 0;
      TryCount[i] = 1;
      CutoffCount[i] = 0;
    }
  }
  ClearKillers();
}

void ClearHistoryTables() {
  for (int i = 0; i < RootHistorySize; i++) {
    RootHistory[i] = 0;
    TryCount[i] = 1;
    CutoffCount[i] = 0;
    CutoffRatio[i] = 0;
  }
  ClearKillers();
}

int GenerateOrderedMoves(int side, int ply, int kingZoneMode) {
  int count = GenerateMoves(side, ply, kingZoneMode);
  if (kingZoneMode) OrderMovesKingZone(side, ply, kingZoneMode);
  else OrderMoves(side, ply);
  return count;
}

int GenerateOrderedEvasions(int side, int ply, int kingZoneMode, int* checkInfo) {
  int count = GenerateEvasions(side, ply, kingZoneMode, checkInfo);
  if (kingZoneMode) OrderMovesKingZone(side, ply, kingZoneMode);
  else OrderMoves(side, ply);
  return count;
}

int GenerateOrderedQuiescenceMoves(int side, int ply, int mode) {
  int count = GenerateQuiescenceMoves(side, ply, mode);
  OrderMovesKingZone(side, ply, mode);
  return count;
}

// The interior alpha-beta search and the quiescence search.
#include <algorithm>

#include "board/attack_update.h"
#include "board/board.h"
#include "board/geometry.h"
#include "eval/eval.h"
#include "search/extensions.h"
#include "search/search_glue.h"
#include "search/ordering.h"
#include "search/search_state.h"
#include "search/tt.h"
#include "core/settings.h"

namespace {

// ---- Search constants
constexpr int MatedBase = 8193;            // a side checkmated at ply p scores p - 8193
constexpr int MateBound = 8191;            // mate-distance window: (ply - 8191, 8192 - ply)
constexpr int FiftyMovePlies = 99;
constexpr int NoNullMargin = 16383;
constexpr int DepthMargin = 64;            // per remaining ply in the node estimates and the static null move
constexpr int FutilityBase = 416;          // futility margin at depth 1, doubled at depth 2
constexpr int SingleReplyExtension = 16;
constexpr int MinMovesBeforeReduction = 3;
constexpr int VerificationMinDepth = 5;
constexpr int VerificationReduction = 4;
constexpr int TableMoveMark = 0x7FFF;
constexpr int CutoffMark = 1;
constexpr int SearchedMark = 0;
constexpr int QuiescenceNoStandPat = -7700;
constexpr int QuiescencePromotionDelta = 1120;
constexpr int ListRoomNeeded = 256;       // entries a generation may need at one ply

// Check-move ordering base by quiescence ply (index -q).
constexpr int CheckMarginTable[8] = {152, 152, 88, 88, 56, 56, 56, 56};

inline int Selectivity() { return int((SearchFlags & SelectivityMask) >> SelectivityShift); }
inline int MaterialUnits(int side) { return SignatureUnits(Pos.materialSignature[side]); }
inline int PieceCountOf(int side) { return SignaturePieces(Pos.materialSignature[side]); }
inline int RelativeRank(int side, int sq) { return side == White ? RankOf(sq) : 7 - RankOf(sq); }
inline UndoRecord& Record() { return Pos.undoStack[Pos.undoTop - 1]; }
inline UndoRecord* PreviousRecord() { return Pos.undoTop > 1 ? &Pos.undoStack[Pos.undoTop - 2] : nullptr; }

// Pawns of `side` on the two ranks before promotion.
inline bool PawnsNearPromotion(int side) {
  return side == White ? (Pos.pawnsOnRank[White][5] | Pos.pawnsOnRank[White][6]) != 0
                       : (Pos.pawnsOnRank[Black][2] | Pos.pawnsOnRank[Black][1]) != 0;
}
inline bool PawnsOnSeventh(int side) { return Pos.pawnsOnRank[side][side == White ? 6 : 1] != 0; }

// Copies a move and the child's line into the ply's principal variation.
inline void UpdatePv(int ply, Move m) {
  Move* pv = PvTable[ply];
  const Move* child = PvTable[ply + 1];
  pv[0] = m;
  int k = 0;
  while (k < PvLength - 1 && child[k]) {
    pv[k + 1] = child[k];
    k++;
  }
  pv[k + 1] = 0;
}

// Takes the highest-scored move from position i on (the nearer one on ties) and swaps it into place.
inline MoveEntry PickNext(MoveEntry* list, int i, int n) {
  int best = i;
  for (int j = i + 1; j < n; j++)
    if (list[j].score > list[best].score) best = j;
  std::swap(list[i], list[best]);
  return list[i];
}

inline bool IsQuietMove(Move m) { return (m & KindMask) == 0; }
inline bool CapturesOrPromotes(Move m) { return (m & CaptureOrPromotionBits) != 0; }

// The moved piece stands on the mover's 6th to 8th rank (or 6th-7th for the reduction test).
inline bool AdvancedPawnMove(Move m, int side, int fromRank, int toRank) {
  int t = MoveTo(m);
  if (Pos.pieceType[t] != Pawn) return false;
  int r = RelativeRank(side, t);
  return r >= fromRank && r <= toRank;
}

// Step 1 of every node: the periodic clock and input check, with the progress reports.
inline void CountNode() {
  if (--NodeCountdown < 1) NodeTimeCheck();
}

inline bool MakeLegal(Move m, int side) {
  MakeMove(Move(m & ~CheckMark));
  if (Pos.attackTable[side ^ 1][Pos.kingSquare(side)].counts) {
    UnmakeMove();
    return false;
  }
  return true;
}

// The quiet move returns the piece to where it stood two plies ago (it can repeat a position).
inline bool CanRepeat(Move m) {
  UndoRecord* prev = PreviousRecord();
  if (!prev || !prev->move) return false;
  return MoveFrom(prev->move) == MoveTo(m) && MoveTo(prev->move) == MoveFrom(m);
}

// The first steps of every node: the ply's line starts empty; the periodic clock and input
// check; a stop unwinds the search; evasions decide at once whether the side to move is mated
// (otherwise the ply's list starts empty, so that a null move's reply builds its list after the
// parent's); the fifty-move rule; mate-distance bounds. Returns true with `result` when the node ends here.
bool NodeEntry(int ply, int kingZoneMode, bool inCheck, int* moveCount, int* alpha, int* beta, int* result) {
  Position& p = Pos;
  const int side = p.sideToMove;
  PvTable[ply][0] = 0;
  CountNode();
  if (StopReason) {
    *result = RootMoveScore[side];
    return true;
  }
  if (p.moveListStart[ply] > MoveListCapacity - ListRoomNeeded) {
    *result = Evaluate(side, ply, FullEvalDepth, *alpha, *beta);
    return true;
  }
  if (inCheck) {
    *moveCount = GenerateOrderedEvasions(side, ply, kingZoneMode, nullptr);
    if (!*moveCount) {
      *result = ply - MatedBase;
      return true;
    }
  } else {
    p.moveListStart[ply + 1] = p.moveListStart[ply];
  }
  if (p.ply - p.lastIrreversiblePly > FiftyMovePlies) {
    *result = DrawScore[side];
    return true;
  }
  *alpha = std::max(*alpha, ply - MateBound);
  if (*alpha >= *beta) {
    *result = *alpha;
    return true;
  }
  *beta = std::min(*beta, MateValue - ply);
  if (*beta <= *alpha) {
    *result = *beta;
    return true;
  }
  return false;
}

}  // namespace

int PromotionThreat(int s, int depth, int threshold) {
  const Position& p = Pos;
  const int o = s ^ 1;
  // Step 1: the candidates, o's pawns on its seventh rank (and sixth in bare endings after a pawn move there).
  uint32_t candidates = p.pawnsOnRank[o][o == White ? 6 : 1];
  int sixth = o == White ? 5 : 2;
  if (depth >= 1 && p.Phase == 1 && p.undoTop > 0) {
    Move last = p.undoStack[p.undoTop - 1].move;
    if (last && p.pieceType[MoveTo(last)] == Pawn && RankOf(MoveTo(last)) == sixth) candidates |= p.pawnsOnRank[o][sixth];
  }
  static const int RankShift[8] = {0, 1, 2, 3, 3, 2, 1, 0};
  const int fwd = o == White ? 8 : -8;
  // Step 2: from the highest slot down.
  while (candidates) {
    int slot = HighestSlot(candidates);
    candidates &= ~(1u << slot);
    int q = p.pieceList[o][slot];
    int f = q + fwd;
    int k = RankShift[RankOf(f)];
    int v;
    if (p.pieceType[f]) {
      // Step 3: the square in front is blocked.
      v = (p.threatValue[f] - 128) >> k;
    } else {
      // Step 4: who controls the promotion path, with rooks and queens behind the pawn.
      int a = p.attackTable[s][f].counts + p.attackTable[s][f].xrayCounts;
      int b = p.attackTable[o][f].counts + p.attackTable[o][f].xrayCounts;
      int d = Direction(f, q);   // step from q toward f
      for (int c = 0; c < 2; c++) {
        const AttackEntry& e = p.attackTable[c][q];
        for (uint32_t set = uint32_t(e.attackers | e.xrayAttackers) & p.orthogonalSliders[c]; set; set &= set - 1) {
          int from = p.pieceList[c][LowestSlot(set)];
          if (Direction(q, from) != d) continue;
          int unit = CountUnit[p.pieceType[from]];
          if (c == s) a += unit; else b += unit;
        }
      }
      v = 1120 >> k;
      int cost = 8 * ExchangeCost[AttackCode[a & AttackCodeMask]][AttackCode[b & AttackCodeMask]];
      if (cost < v) v = cost - 128;
    }
    // Step 5: the first value above the threshold answers.
    if (v > threshold) return v;
  }
  return 0;
}

namespace {

// Does `c` face more than one threat worth `t`?
int HasFurtherThreat(int c, int t);

// The loss that remains for c's piece on q (threatened by v) when it tries to move away.
int EscapeValue(int c, int v, int q) {
  const Position& p = Pos;
  const int e = c ^ 1;
  int type = p.pieceType[q];
  if (type == Pawn) {
    int f = q + (c == White ? 8 : -8);
    if (!p.pieceType[f] && p.attackTable[c][f].counts >= p.attackTable[e][f].counts) return 0;
    for (const uint8_t* t = Geo.pawnTargets[c][q]; *t != EndOfList; t++)
      if (p.colour[*t] == e) return 0;
    return v;
  }
  auto consider = [&](int x) -> int {   // returns -1 to stop the ray, 0 escape found, 1 go on
    if (p.colour[x] == c) return -1;
    if ((p.pieceType[x] && p.pieceType[x] >= type) || !p.attackTable[e][x].attackerTotal) return 0;
    const AttackEntry& en = p.attackTable[e][x];
    const AttackEntry& own = p.attackTable[c][x];
    int enemyCode = AttackCode[(en.counts + 8 * en.xrayCounts) & AttackCodeMask];
    int ownCode = AttackCode[(own.counts + own.xrayCounts - CountUnit[type]) & AttackCodeMask];
    int loss = pieceValue[type] - 8 * ExchangeCost[enemyCode][ownCode] - pieceValue[p.pieceType[x]];
    if (loss <= 0) return 0;
    if (loss < v) v = loss;
    return p.pieceType[x] ? -1 : 1;
  };
  if (type == Knight || type == King) {
    const uint8_t* targets = type == Knight ? Geo.knightTargets[q] : Geo.kingTargets[q];
    for (; *targets != EndOfList; targets++) {
      int r = consider(*targets);
      if (r == 0) return 0;
    }
    return v;
  }
  const uint8_t* ray = Geo.rays[type][q];
  const uint8_t* skip = Geo.raySkip[type][q];
  for (int i = 0; ray[i] != EndOfList;) {
    int r = consider(ray[i]);
    if (r == 0) return 0;
    if (r < 0) {
      i += skip[i] + 1;
      continue;
    }
    i++;
  }
  return v;
}

int HasFurtherThreat(int c, int t) {
  const Position& p = Pos;
  int largest = 0, second = 0, square = -1;
  for (uint32_t set = p.threatenedSlots[c]; set;) {
    int slot = HighestSlot(set);
    set &= ~(1u << slot);
    int sq = p.pieceList[c][slot];
    int v = p.threatValue[sq];
    if (v > largest) {
      second = largest;
      largest = v;
      square = sq;
    } else if (v > second) {
      second = v;
    }
  }
  if (square < 0 || largest <= t) return 0;
  int floor = std::max(t, 0);
  if (second > floor) return 1;
  if (EscapeValue(c, largest, square) > floor) return 1;
  int pinPenalty = 0;   // the evaluation's pin penalty; only the value at stake matters here
  if (p.pieceType[square] != Pawn && (p.attackTable[c ^ 1][square].counts & CountMaskSliders) &&
      PinScore(c, square, &pinPenalty) > floor)
    return 1;
  return 0;
}

}  // namespace

int Search(int ply, int depth, int budget, int alpha, int beta, int flags) {
  Position& p = Pos;
  const int side = p.sideToMove, opp = side ^ 1;
  UndoRecord& rec = Record();

  // Steps 1-5: clock and input check, stop, evasions and mate, fifty moves, mate distance.
  int moveCount = 0, early;
  const bool inCheck = (rec.checkFlag & RecordInCheck) != 0;
  if (NodeEntry(ply, 0, inCheck, &moveCount, &alpha, &beta, &early)) return early;
  const int nodeAlpha = alpha;
  const bool pvNode = (flags & NodePv) != 0;

  // Step 6: the transposition table.
  TableHit hit{};
  ProbeEntry(side, ply, &hit);
  Move tableMove = hit.move;
  const bool entryPinned = (hit.flags & EntryPinned) != 0;
  bool mateThreat = (hit.flags & EntryMateThreat) != 0;
  int best = -MateValue;
  bool tableLower = false, tableUpper = false;

  // Step 7: early cut-off from a deeper entry. A verification search never cuts at its own node:
  // the entry it would find is usually the lower bound stored by the unverified null-move cut it
  // is meant to check, which would confirm itself in every later iteration.
  const bool takesTableCuts = !(flags & (NodePv | NodeVerification));
  auto tableCut = [&](bool deepEnough, int* result) -> bool {
    if (!takesTableCuts || !deepEnough || !(hit.flags & (EntryMateScore | BoundMask))) return false;
    int bound = hit.flags & BoundMask;
    if (bound == BoundExact) {
      PvTable[ply][0] = tableMove;
      PvTable[ply][1] = 0;
      *result = hit.score;
      return true;
    }
    if (bound == BoundLower) {
      PvTable[ply][0] = tableMove;
      PvTable[ply][1] = 0;
      best = hit.score;
      tableLower = true;
      if (hit.score >= beta) {
        *result = hit.score;
        return true;
      }
      alpha = std::max(alpha, hit.score);
    } else if (bound == BoundUpper) {
      tableUpper = true;
      if (hit.score <= alpha) {
        *result = hit.score;
        return true;
      }
      beta = std::min(beta, hit.score);
    }
    return false;
  };
  int cutResult;
  if (hit.flags && tableCut(hit.depth > depth, &cutResult)) return cutResult;

  // Step 8: the static evaluation; terminal and draw kinds end the node.
  const int eval = Evaluate(side, ply, depth, alpha, beta);
  if (rec.checkFlag & RecordTerminalKinds) return eval;

  // Step 9: the table move adjusts the threat accumulator.
  AdjustThreatForTableMove(hit.flags, hit.score, tableMove, eval);

  // Step 10: lower and upper estimates of the node.
  int lower = -MateValue, upper = MateValue;
  if (!pvNode) {
    lower = tableLower ? hit.score
                       : eval - p.threatSum[side] - DepthMargin * depth -
                             (PawnsNearPromotion(opp) ? PromotionThreat(side, depth, 0) : 0);
    upper = tableUpper ? hit.score
                       : eval + p.threatSum[opp] + DepthMargin * depth +
                             (PawnsNearPromotion(side) ? PromotionThreat(opp, depth, 0) : 0);
    if (hit.flags && hit.depth <= depth) {
      int bound = hit.flags & BoundMask;
      if (bound == BoundUpper) upper = std::max(upper, hit.score + DepthMargin * (depth - hit.depth));
      else if (bound == BoundLower) lower = std::min(lower, hit.score - DepthMargin * (depth - hit.depth));
    }
    if (inCheck) lower = -MateValue;
    lower = std::min(lower, upper);
  }
  if (rec.checkFlag & RecordMatingNet[side]) lower = -MateValue;
  if (rec.checkFlag & RecordMatingNet[opp]) upper = MateValue;

  // Step 11: extensions: whole plies from the fractional budget.
  AddExtension(ComputeExtensionAt(ply, flags, eval, alpha, beta, hit.flags, tableMove, lower, upper), depth, budget);

  // Step 12: second cut-off test with the extended depth.
  if (hit.flags && tableCut(hit.depth >= depth, &cutResult)) return cutResult;

  // Step 13: null move.
  {
    int margin = p.threatSum[side] + (PawnsNearPromotion(opp) ? PromotionThreat(side, depth, 0) : 0);
    if (inCheck || (rec.checkFlag & RecordThreat[side])) margin = NoNullMargin;
    const int selectivity = Selectivity();
    bool belowNullOk = !(flags & NodeBelowNull) || ((selectivity & 1) && rec.move != 0);
    bool tableAllows = !(hit.flags && (hit.flags & BoundMask) == BoundUpper) || hit.score >= beta ||
                       hit.depth < depth - NullReduction - 1;
    if (eval - margin >= beta && !(flags & (NodePv | NodeVerification)) && selectivity != 0 && belowNullOk &&
        PieceCountOf(side) > 0 && tableAllows) {
      const bool smart = (SearchFlags & FlagSmartSearch) != 0;
      NullReduction = 1;
      if (selectivity >= 4 && !(depth < 3 && MaterialUnits(side) <= 8 && smart)) NullReduction = 2;
      UndoRecord* prev = PreviousRecord();
      bool twoBackWasReal = !prev || prev->move != 0;
      if (selectivity >= 6 && twoBackWasReal &&
          (depth >= 8 || (depth >= 6 && MaterialUnits(side) > 8) || !smart))
        NullReduction = 3;
      const int r = NullReduction;
      // Static null move: far enough above beta at a small depth.
      if (depth <= r && selectivity != 1 && !(rec.checkFlag & RecordKingAttack[side]) &&
          eval - DepthMargin * depth - margin + DepthMargin >= beta)
        return eval;
      MakeNullMove();
      int childFlags = (flags & ChildFlagsMask) | NodeBelowNull;
      int score = depth > r + 1 ? -Search(ply + 1, depth - r - 1, budget, -beta, -beta + 1, childFlags)
                                : -QuiescenceSearch(ply + 1, 0, -beta, -beta + 1, childFlags);
      UnmakeNullMove();
      if (StopReason) return RootMoveScore[side];
      if (score < -MateThreshold) mateThreat = true;
      if (score >= beta) {
        bool confirmed = true;
        if (PieceCountOf(side) <= 1 && depth >= VerificationMinDepth) {
          VerificationSearches++;
          confirmed = Search(ply, depth - VerificationReduction, budget, alpha, beta,
                             (flags & ChildFlagsMask) | NodeVerification) >= beta;
        }
        if (StopReason) return RootMoveScore[side];
        if (confirmed) {
          StoreEntry(side, uint16_t(CurrentAge | BoundLower), score, 0, depth, ply, 0);
          return score;
        }
      }
    }
  }

  // Step 14: futility: at depths 1 and 2 quiet moves cannot lift a hopeless eval.
  // Only depths 1 and 2 use the margin; deeper nodes would shift past the int's width.
  const int futilityMargin = depth < 3 ? FutilityBase << std::max(depth - 1, 0) : 0;
  const bool futile = (SearchFlags & FlagFutility) && depth < 3 && !inCheck && !(rec.checkFlag & RecordThreat[opp]) &&
                      eval + futilityMargin <= alpha;

  // Step 15: internal iterative deepening finds a move for a PV node without one.
  if (TableExists() && !tableMove && depth > 2 && pvNode) {
    int r = Search(ply, depth - 2, budget, alpha, beta, flags);
    if (!StopReason && r <= alpha) Search(ply, depth - 2, budget, -MateValue, beta, flags);
    if (StopReason) return RootMoveScore[side];
    int s, d;
    Move m = 0;
    int f = ProbeRootEntry(side, &s, &d, ply, &m);
    if (f) {
      tableMove = m;
      if (f & EntryMateThreat) mateThreat = true;
    }
  }

  // Step 16: the move list.
  if (inCheck) {
    moveCount = GenerateOrderedEvasions(side, ply, 0, nullptr);
  } else {
    if (!tableMove && (rec.checkFlag & RecordThreatMoveSet)) {
      Move m = rec.threatMove;
      if (m && IsPseudoLegal(side, &m)) tableMove = m;
    }
    moveCount = GenerateOrderedMoves(side, ply, 0);
    if (!moveCount) return DrawScore[side];
  }
  MoveEntry* list = MoveListBegin(ply);

  // Step 17: the table move goes first.
  if (tableMove) {
    for (int i = 0; i < moveCount; i++)
      if (PlainMove(list[i].move) == PlainMove(tableMove)) {
        list[i].score = TableMoveMark;
        list[i].move = Move(PlainMove(list[i].move) | (tableMove & CheckMark));
        break;
      }
  }

  // Step 18: the move loop.
  int legal = 0, searched = 0;
  int legalReplies = inCheck ? moveCount : 0;
  bool pruned = false;
  bool first = true;
  for (int i = 0; i < moveCount; i++) {
    MoveEntry entry = PickNext(list, i, moveCount);
    Move m = entry.move;
    const bool isTableMove = tableMove && PlainMove(m) == PlainMove(tableMove);

    // Futility pruning of quiet moves.
    if (futile && !isTableMove && !CapturesOrPromotes(m) && !(m & CheckMark) &&
        !(p.pieceType[MoveFrom(m)] == Pawn && RelativeRank(side, MoveTo(m)) >= 5) && !GivesCheck(m, side)) {
      pruned = true;
      continue;
    }

    const int cutoffRatio = IsQuietMove(m) ? HistoryCutoffRatio(side, m) : 0;
    if (!MakeLegal(m, side)) continue;
    legal++;
    UndoRecord& child = Record();
    const bool givesCheck = (child.checkFlag & RecordInCheck) != 0;
    int score;
    if (p.ply - p.lastIrreversiblePly > 3 && IsRepetition()) {
      score = DrawScore[side];
      PvTable[ply + 1][0] = 0;
    } else if (depth - 1 < 1) {
      int childFlags = flags & ChildFlagsMask;
      if (first) {
        score = -QuiescenceSearch(ply + 1, 0, -beta, -alpha, childFlags);
      } else {
        score = -QuiescenceSearch(ply + 1, 0, -alpha - 1, -alpha, childFlags);
        if (score > alpha && score < beta && !StopReason) score = -QuiescenceSearch(ply + 1, 0, -beta, -score, childFlags);
      }
    } else {
      if (isTableMove) child.checkFlag |= RecordTableMove;
      int base = flags & ChildFlagsMask;
      if (first) {
        int childBudget = budget;
        if (inCheck && (mateThreat || legalReplies == 1) && upper > alpha && lower < beta)
          childBudget += SingleReplyExtension;
        score = -Search(ply + 1, depth - 1, childBudget, -beta, -alpha, base ^ NodeNullWindow);
      } else {
        // The node flags lost the PV mark after the first move: late moves of a PV node are
        // reduced like any other.
        bool reduce = searched >= MinMovesBeforeReduction && !inCheck && !givesCheck && IsQuietMove(m) &&
                      !(flags & NodePv) && cutoffRatio < ReductionThreshold &&
                      !(p.pieceType[MoveTo(m)] == Pawn && RelativeRank(side, MoveTo(m)) >= 5 &&
                        RelativeRank(side, MoveTo(m)) <= 6 &&
                        p.pieceType[MoveTo(m) + (side == White ? 8 : -8)] != Pawn);
        int childFlags = (base & ~NodePv) | NodeNullWindow;
        score = alpha + 1;
        if (reduce) {
          child.checkFlag |= RecordReducedMove;
          score = depth - 1 < 2 ? -QuiescenceSearch(ply + 1, 0, -alpha - 1, -alpha, childFlags)
                                : -Search(ply + 1, depth - 2, budget, -alpha - 1, -alpha, childFlags);
          child.checkFlag &= uint16_t(~RecordReducedMove);
        }
        if (!StopReason && score > alpha) {
          score = -Search(ply + 1, depth - 1, budget, -alpha - 1, -alpha, childFlags);
          if (!StopReason && score > alpha && score < beta) {
            if (p.threatSwingScaled < 0) p.threatSwingScaled = 0;
            score = -Search(ply + 1, depth - 1, budget, -beta, -alpha, (base & ~NodeNullWindow) | NodePv);
          }
        }
      }
    }
    if (inCheck && score < -MateThreshold) legalReplies--;
    list[i].score = SearchedMark;
    if (!StopReason && score > best) {
      best = score;
      if (score > alpha) {
        alpha = score;
        UpdatePv(ply, Move(PlainMove(m) | (givesCheck ? CheckMark : 0)));
        if (score >= beta) list[i].score = CutoffMark;
      }
    }
    searched++;
    UnmakeMove();
    if (StopReason) return RootMoveScore[side];
    if (best >= beta) break;
    if (first) {
      flags &= ~(NodePv | NodeNullWindow);
      first = false;
    }
  }

  // After the loop: futility bound, stalemate, store and history.
  if (pruned) best = std::max(best, eval + futilityMargin);
  if (best == -MateValue && !legal) return DrawScore[side];
  {
    uint16_t bound = best >= beta ? BoundLower : int16_t(best) > int16_t(nodeAlpha) ? BoundExact : BoundUpper;
    if ((inCheck && legalReplies == 1) || mateThreat) bound |= EntryMateThreat;
    if (entryPinned) bound |= EntryPinned;
    StoreEntry(side, uint16_t(CurrentAge | bound), best, 0, depth, ply, PvTable[ply][0]);
  }
  if (best >= beta && PvTable[ply][0] && !CapturesOrPromotes(PvTable[ply][0]))
    RecordCutoff(ply, side, depth, PvTable[ply][0], list, moveCount);
  return best;
}

int QuiescenceSearch(int ply, int q, int alpha, int beta, int flags) {
  Position& p = Pos;
  const int side = p.sideToMove, opp = side ^ 1;
  UndoRecord& rec = Record();
  const uint16_t sideBit = uint16_t(side + 1);

  // Step 1: as at an interior node.
  int moveCount = 0, early;
  const bool inCheck = (rec.checkFlag & RecordInCheck) != 0;
  if (NodeEntry(ply, 1, inCheck, &moveCount, &alpha, &beta, &early)) return early;
  const int entryAlpha = alpha;

  // Step 2: selective depth.
  if (ply > SelDepth) SelDepth = ply;
  if (ply >= MaxPly - 2) return Evaluate(side, ply, FullEvalDepth, alpha, beta);

  // Step 3: the table in the first two quiescence plies; any bound cuts.
  bool entryPinned = false;
  if (q >= -1) {
    TableHit hit{};
    if (ProbeEntry(side, ply, &hit)) {
      entryPinned = (hit.flags & EntryPinned) != 0;
      int bound = hit.flags & BoundMask;
      if (bound == BoundExact) {
        PvTable[ply][0] = hit.move;
        PvTable[ply][1] = 0;
        return hit.score;
      }
      if (bound == BoundLower) {
        if (hit.score >= beta) return hit.score;
        if (hit.score > alpha) {
          alpha = hit.score;
          PvTable[ply][0] = hit.move;
          PvTable[ply][1] = 0;
        }
      } else if (bound == BoundUpper) {
        if (hit.score <= alpha) return hit.score;
        beta = std::min(beta, hit.score);
      }
    }
  }

  // Step 4: the static evaluation.
  const int eval = Evaluate(side, ply, q, alpha, beta);
  if (rec.checkFlag & RecordTerminalKinds) return eval;
  int standPat = eval;
  UndoRecord* prev = PreviousRecord();
  const uint16_t prevFlags = prev ? prev->checkFlag : 0;

  // Step 5: answers to threats against the side to move.
  if (!inCheck && eval > alpha && !(rec.checkFlag & RecordFullEvaluation)) {
    int t = 0;
    if (eval - QuiescencePromotionDelta < beta && PawnsOnSeventh(opp)) t = PromotionThreat(side, q, eval - beta);
    if (p.threatenedSlots[side] && eval - p.threatSum[side] < beta && HasFurtherThreat(side, eval - beta)) t = std::max(t, 1);
    if (p.Phase > 1 && !(prevFlags & RecordMatingNet[side])) QuiescenceMateNet(side);
    bool newNet = (rec.checkFlag & RecordMatingNet[side]) && !(prevFlags & RecordMatingNet[side]);
    if (newNet || (t && eval - t < beta)) {
      if (!(flags & (sideBit | 0xC))) {
        flags |= NodeFullWidth;
      } else {
        standPat -= t / 4;
        if (rec.checkFlag & RecordMatingNet[side]) standPat -= 416;
      }
    }
  }

  // Steps 6-9: generation mode, evasions, full width or stand pat.
  int best = -MateValue;
  int secondEstimate = QuiescenceNoStandPat;
  bool recapture = false;
  int freeMoves = 0;
  MoveEntry* list = MoveListBegin(ply);
  if (inCheck) {
    freeMoves = 1;
  } else if (flags & NodeFullWidth) {
    moveCount = GenerateOrderedMoves(side, ply, 1);
    if (!moveCount) return DrawScore[side];
  } else {
    best = standPat;
    secondEstimate = standPat;
    if (best >= beta) return best;
    int mode = 1;
    bool furtherThreat = p.threatenedSlots[opp] && eval + p.threatSum[opp] > alpha && HasFurtherThreat(opp, alpha - eval + 1);
    if (!(flags & sideBit) && p.material[side] <= RootMaterial[side] &&
        (q >= -3 || (q >= -5 && (rec.checkFlag & RecordThreat[side])) ||
         (q >= -7 && ((rec.checkFlag & RecordMatingNet[side]) || furtherThreat)))) {
      mode = (flags & 0xC) ? 2 : 6;
      QuiescenceCheckMargin = CheckMarginTable[std::min(-q, 7)];
    }
    moveCount = GenerateOrderedQuiescenceMoves(side, ply, mode);
    if (!moveCount) return best;
    if (best > alpha) {
      alpha = best;
      flags |= sideBit;
    }
  }
  if (!(flags & sideBit) && !(rec.checkFlag & sideBit) && (prevFlags & sideBit)) recapture = true;

  // Steps 10-12: the moves.
  const int threatDepth = -Options.threatDepth;
  const int lastTo = p.lastTo;
  bool firstSearched = true;
  for (int i = 0; i < moveCount; i++) {
    MoveEntry entry = PickNext(list, i, moveCount);
    Move m = entry.move;
    int s = entry.score;
    // In check the first evasion that escapes mate is searched freely (freeMoves); the others
    // must promise to reach alpha, give check, or pass the delta test like a capture.
    bool search = freeMoves > 0 || (recapture && MoveTo(m) == lastTo);
    if (!search) {
      if ((s >= 0 || inCheck) && (eval + s > alpha || (m & CheckMark))) {
        search = true;
      } else if (q >= -threatDepth) {
        int gain;
        int victim = p.pieceType[MoveTo(m)];
        if (MoveKind(m) == KindPromoQueen) gain = QuiescencePromotionDelta + pieceValue[victim] - 64;
        else if (IsPromotion(m)) gain = pieceValue[victim] - 64;
        else if (MoveKind(m) == KindEnPassant) gain = 128 + 64;
        else gain = pieceValue[victim] + 64;
        bool checks = (m & CheckMark) || GivesCheck(m, side);
        if (eval + gain > alpha || checks) {
          int adjusted = std::min(gain, p.threatValue[MoveFrom(m)] - p.threatValue[MoveTo(m)] - p.threatSum[side] +
                                            p.threatSum[opp] + s);
          adjusted = std::max(adjusted, s);
          search = adjusted >= 0 && (eval + adjusted > alpha || checks);
        }
      }
      if (!search) {
        if (CapturesOrPromotes(m) && secondEstimate > QuiescenceNoStandPat)
          best = std::max(best, std::min(s + secondEstimate, alpha));
        if (IsQuietMove(m) && p.ply - p.lastIrreversiblePly > 2 && best < DrawScore[side] && CanRepeat(m)) search = true;
      }
      if (!search) continue;
    }

    // Step 11: search the move.
    if (!MakeLegal(m, side)) continue;
    const bool givesCheck = (Record().checkFlag & RecordInCheck) != 0;
    int score;
    int childFlags = flags & ChildFlagsMask;
    if (p.ply - p.lastIrreversiblePly > 3 && IsRepetition()) {
      score = DrawScore[side];
      PvTable[ply + 1][0] = 0;
    } else if (firstSearched) {
      score = -QuiescenceSearch(ply + 1, q - 1, -beta, -alpha, childFlags);
    } else {
      score = -QuiescenceSearch(ply + 1, q - 1, -alpha - 1, -alpha, childFlags);
      if (!StopReason && score > alpha && score < beta) score = -QuiescenceSearch(ply + 1, q - 1, -beta, -alpha, childFlags);
    }
    UnmakeMove();
    if (StopReason) return RootMoveScore[side];
    firstSearched = false;
    if (freeMoves > 0 && score > QuiescenceNoStandPat) freeMoves--;
    if (score > best) {
      best = score;
      if (score > alpha) {
        alpha = score;
        UpdatePv(ply, Move(PlainMove(m) | (givesCheck ? CheckMark : 0)));
        if (score > QuiescenceNoStandPat) flags |= sideBit;
      }
    }
    // Step 12: a cut-off ends the loop.
    if (best >= beta) break;
  }

  // Step 13: the end.
  if (best == -MateValue) return DrawScore[side];
  if (q == 0 && PvTable[ply][0]) {
    uint16_t bound = best >= beta ? BoundLower : best > entryAlpha ? BoundExact : BoundUpper;
    if (entryPinned) bound |= EntryPinned;
    StoreEntry(side, uint16_t(CurrentAge | bound), best, 0, 0, ply, PvTable[ply][0]);
  }
  return best;
}
